#include "text/Corrector.h"

#include "engines/LocalRewrite.h"
#include "engines/CloudFirst.h"
#include "engines/EngineError.h"
#include "engines/OpenRouter.h"
#include "core/Log.h"

namespace Corrector {

QCoro::Task<Result> correctDetailed(OmbryAI::Access access, QString text, QString language, QStringList words,
                                    TextSettings settings)
{
    const bool grammarCheck = settings.useLanguageTool;

    QList<LanguageTool::Match> kept;
    if (grammarCheck) {
        QString failure;
        try {
            const QList<LanguageTool::Match> found = co_await LanguageTool::check(text, rawValue(settings.language));
            kept = keepMatches(found, words, settings.correctionScope, settings.punctuation);
            Log::write(QStringLiteral("languagetool: ") + QString::number(kept.size()) + QStringLiteral(" fautes repérées"));
        } catch (const std::exception &error) {
            failure = describe(error);
        }
        if (!failure.isNull())
            Log::write(QStringLiteral("languagetool: ") + failure);
    }

    const RewriteEngine engine = settings.rewriteEngine;
    const bool withModel = engine == RewriteEngine::OpenRouter || settings.correctorUsesLocalModel || !grammarCheck;
    const Applied applied = applyMatches(text, kept, withModel);
    if (!withModel)
        co_return Result{finish(applied.text, settings.correctionScope), kept};

    const QString prompt = instructions(language, words, settings.correctionScope, settings.punctuation);
    const QString system = modelSystem(prompt, !applied.hints.isEmpty());
    const QString user = modelUser(applied.text, applied.hints);
    const QString model = settings.openRouterModel;
    const CloudFirst::Plan plan{QStringLiteral("correction"), QStringLiteral("OpenRouter"), CloudFirst::Local::Text,
                                engine != RewriteEngine::OpenRouter};
    QCoro::Task<QString> asked = CloudFirst::run<QString>(
        plan, access, [access, system, user, model] { return OpenRouter::complete(access, system, user, model); },
        [system, user] { return LocalRewrite::run(system, user); });
    const QString reply = co_await std::move(asked);
    co_return Result{finish(guardChanges(text, cleanReply(reply)), settings.correctionScope), kept};
}

} // namespace Corrector
