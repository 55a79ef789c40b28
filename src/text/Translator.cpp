#include "text/Translator.h"

#include "engines/AppleRewrite.h"
#include "engines/OpenRouter.h"
#include "model/Log.h"

namespace Translator {

QCoro::Task<QString> translate(QString text, QString target, bool autoReverse)
{
    const QString system = systemPrompt(resolvedTarget(text, target, autoReverse));
    bool failed = false;
    try {
        co_return co_await OpenRouter::complete(system, text, cloudModel());
    } catch (const std::exception &) {
        failed = true;
    }
    if (failed)
        Log::write(QStringLiteral("traduction: OpenRouter indisponible, Apple prend le relais"));
    co_return co_await AppleRewrite::run(system, text);
}

} // namespace Translator
