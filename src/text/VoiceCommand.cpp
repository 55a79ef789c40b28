#include "text/VoiceCommand.h"

#include "engines/AppleRewrite.h"
#include "engines/OpenRouter.h"
#include "model/Log.h"

namespace VoiceCommand {

QCoro::Task<QString> apply(QString instruction, QString text)
{
    const QString system = systemPrompt();
    const QString user = userMessage(instruction, text);
    bool failed = false;
    try {
        co_return co_await OpenRouter::complete(system, user, QString::fromLatin1(model));
    } catch (const std::exception &) {
        failed = true;
    }
    if (failed)
        Log::write(QStringLiteral("commande: OpenRouter indisponible, Apple prend le relais"));
    co_return co_await AppleRewrite::run(system, user);
}

} // namespace VoiceCommand
