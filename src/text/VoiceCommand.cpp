#include "text/VoiceCommand.h"

#include "engines/LocalRewrite.h"
#include "engines/CloudFirst.h"
#include "engines/OpenRouter.h"

namespace VoiceCommand {

QCoro::Task<QString> apply(OmbryAI::Access access, QString instruction, QString text)
{
    const QString system = systemPrompt();
    const QString user = userMessage(instruction, text);
    const QString cloudModel = QString::fromLatin1(model);
    const CloudFirst::Plan plan{QStringLiteral("commande"), QStringLiteral("OpenRouter"), CloudFirst::Local::Text, false};
    QCoro::Task<QString> asked = CloudFirst::run<QString>(
        plan, access,
        [access, system, user, cloudModel] { return OpenRouter::complete(access, system, user, cloudModel); },
        [system, user] { return LocalRewrite::run(system, user); });
    co_return co_await std::move(asked);
}

} // namespace VoiceCommand
