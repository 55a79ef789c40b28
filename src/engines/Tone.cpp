#include "engines/Tone.h"

namespace Tone {

const QStringList &chatApplications()
{
    static const QStringList list{
        QStringLiteral("com.hnc.Discord"),
        QStringLiteral("com.apple.MobileSMS"),
        QStringLiteral("net.whatsapp.WhatsApp"),
        QStringLiteral("desktop.WhatsApp"),
        QStringLiteral("com.tinyspeck.slackmacgap"),
        QStringLiteral("ru.keepcoder.Telegram"),
        QStringLiteral("org.telegram.desktop"),
        QStringLiteral("com.facebook.archon"),
        QStringLiteral("com.facebook.Messenger"),
        QStringLiteral("com.microsoft.teams2"),
        QStringLiteral("com.apple.FaceTime"),
        // Linux: desktop-file ids (distribution, Flatpak, Snap) and window classes.
        QStringLiteral("discord"),
        QStringLiteral("com.discordapp.Discord"),
        QStringLiteral("discord_discord"),
        QStringLiteral("whatsapp-for-linux"),
        QStringLiteral("com.github.eneshecan.WhatsAppForLinux"),
        QStringLiteral("whatsapp-desktop-linux"),
        QStringLiteral("slack"),
        QStringLiteral("Slack"),
        QStringLiteral("com.slack.Slack"),
        QStringLiteral("slack_slack"),
        QStringLiteral("telegram-desktop"),
        QStringLiteral("telegramdesktop"),
        QStringLiteral("TelegramDesktop"),
        QStringLiteral("telegram-desktop_telegram-desktop"),
        QStringLiteral("caprine"),
        QStringLiteral("com.sindresorhus.Caprine"),
        QStringLiteral("teams-for-linux"),
        QStringLiteral("com.github.IsmaelMartinez.teams_for_linux"),
        QStringLiteral("teams"),
    };
    return list;
}

const QStringList &mailApplications()
{
    static const QStringList list{
        QStringLiteral("com.apple.mail"),
        QStringLiteral("com.microsoft.Outlook"),
        QStringLiteral("com.readdle.smartemail-Mac"),
        QStringLiteral("com.superhuman.electron"),
        QStringLiteral("com.microsoft.Word"),
        QStringLiteral("com.apple.iWork.Pages"),
        QStringLiteral("com.google.Chrome.app.mail"),
        // Linux: Outlook through its desktop client.
        QStringLiteral("prospect-mail"),
        QStringLiteral("com.github.julian_alarcon.prospect-mail"),
    };
    return list;
}

QString hint(bool adaptTone, const std::optional<QString> &bundleIdentifier)
{
    if (!adaptTone || !bundleIdentifier)
        return QString();
    QString id = *bundleIdentifier;
    auto matches = [&id](const QStringList &list) {
        if (list.contains(id))
            return true;
        return id.endsWith(QLatin1String(".desktop")) && list.contains(id.chopped(8));
    };
    if (matches(chatApplications()))
        return QStringLiteral("C'est un message de discussion : garde un ton naturel et familier, des phrases "
                              "courtes, pas de formules.");
    if (matches(mailApplications()))
        return QStringLiteral("C'est un e-mail ou un document : écris dans un registre soigné et professionnel, sans "
                              "changer le sens.");
    return QString();
}

} // namespace Tone
