#include "text/Analyzer.h"

#include "engines/LocalRewrite.h"
#include "engines/CloudFirst.h"
#include "engines/EngineError.h"
#include "engines/OpenRouter.h"
#include "core/Log.h"
#include "text/Corrector.h"

#include <QJsonDocument>

#include <memory>

namespace Analyzer {

namespace {

// The local model's answer, held to the explanation schema, as JSON text.
QCoro::Task<QString> localStructured(QString system, QString text, int count)
{
    const QJsonObject answer =
        co_await LocalRewrite::runStructured(system, text, QStringLiteral("Result"), explanationSchema(count));
    co_return QString::fromUtf8(QJsonDocument(answer).toJson(QJsonDocument::Compact));
}

} // namespace

QCoro::Task<Analysis> analyze(OmbryAI::Access access, QString text, QString language, QStringList words,
                              TextSettings settings)
{
    const Corrector::Result corrected = co_await Corrector::correctDetailed(access, text, language, words, settings);
    co_return Analysis{corrected.text, enrich(diff(text, corrected.text), corrected.matches)};
}

QCoro::Task<QList<Fix>> explain(OmbryAI::Access access, QList<Fix> fixes, QString text, QString language,
                                TextSettings settings)
{
    QList<qsizetype> unexplained;
    for (qsizetype k = 0; k < fixes.size(); ++k)
        if (fixes[k].explanation.isEmpty())
            unexplained.append(k);
    if (unexplained.isEmpty())
        co_return fixes;

    if (unexplained.size() < fixes.size()) {
        // Only the fixes without a message go to the model; each result goes back
        // to the position its fix came from.
        QList<Fix> subset;
        for (const qsizetype k : std::as_const(unexplained))
            subset.append(fixes[k]);
        const QList<Fix> explained = co_await explain(access, subset, text, language, settings);
        for (qsizetype k = 0; k < unexplained.size() && k < explained.size(); ++k)
            fixes[unexplained[k]] = explained[k];
        co_return fixes;
    }

    if (fixes.size() > maxExplained)
        co_return fixes;

    const QString system = explainSystem(language);
    const QString user = explainUser(fixes, text);
    QString failure;
    try {
        // The local model's answer is held to the schema; the service names who
        // answered. A cloud failure is only logged: no local model stands in.
        auto service = std::make_shared<QString>(QStringLiteral("OpenRouter"));
        const int count = int(fixes.size());
        const CloudFirst::Plan plan{QStringLiteral("explications"), QStringLiteral("OpenRouter"), CloudFirst::Local::Text,
                                    settings.rewriteEngine != RewriteEngine::OpenRouter, false};
        QCoro::Task<QString> asked = CloudFirst::run<QString>(
            plan, access,
            [access, system, user] {
                return OpenRouter::complete(access, system + QLatin1Char('\n') + explainJsonLine(), user,
                                            QStringLiteral("google/gemini-2.5-flash"));
            },
            [system, user, count, service] {
                *service = QStringLiteral("Modèle local");
                return localStructured(system, user, count);
            });
        const QString reply = co_await std::move(asked);
        fixes = applyExplanations(fixes, reply, *service);
    } catch (const std::exception &error) {
        failure = describe(error);
    }
    if (!failure.isNull())
        Log::write(QStringLiteral("explications: ") + failure);
    co_return fixes;
}

QCoro::Task<QString> rewrite(OmbryAI::Access access, QString text, TextAction action, QString language,
                             std::optional<QString> target, TextSettings settings)
{
    const QString system = rewriteSystem(action, language, target);
    const QString model = settings.openRouterModel;
    const CloudFirst::Plan plan{QStringLiteral("réécriture"), QStringLiteral("OpenRouter"), CloudFirst::Local::Text,
                                settings.rewriteEngine != RewriteEngine::OpenRouter, false};
    QCoro::Task<QString> asked = CloudFirst::run<QString>(
        plan, access, [access, system, text, model] { return OpenRouter::complete(access, system, text, model); },
        [system, text] { return LocalRewrite::run(system, text); });
    co_return co_await std::move(asked);
}

} // namespace Analyzer
