#include "text/Translator.h"

#include "engines/LocalRewrite.h"
#include "engines/CloudFirst.h"
#include "engines/OpenRouter.h"

namespace Translator {

QCoro::Task<QString> translate(OmbryAI::Access access, QString text, QString target, bool autoReverse,
                               TextSettings settings)
{
    const QString system = systemPrompt(resolvedTarget(text, target, autoReverse));
    const QString model = cloudModel(settings);
    const CloudFirst::Plan plan{QStringLiteral("traduction"), QStringLiteral("OpenRouter"), CloudFirst::Local::Text, false};
    QCoro::Task<QString> asked = CloudFirst::run<QString>(
        plan, access, [access, system, text, model] { return OpenRouter::complete(access, system, text, model); },
        [system, text] { return LocalRewrite::run(system, text); });
    co_return co_await std::move(asked);
}

} // namespace Translator
