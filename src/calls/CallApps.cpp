#include "calls/CallApps.h"

#include <QHash>

namespace CallApps {

namespace {

const QHash<QString, QStringList> &table()
{
    static const QHash<QString, QStringList> t{
        {QStringLiteral("com.hnc.Discord"), {QStringLiteral("discord"), QStringLiteral("com.discordapp.Discord")}},
        {QStringLiteral("us.zoom.xos"), {QStringLiteral("zoom"), QStringLiteral("us.zoom.Zoom"), QStringLiteral("Zoom")}},
        {QStringLiteral("com.microsoft.teams2"), {QStringLiteral("teams-for-linux"), QStringLiteral("com.github.IsmaelMartinez.teams_for_linux")}},
        {QStringLiteral("com.apple.FaceTime"), {}},
        {QStringLiteral("com.tinyspeck.slackmacgap"), {QStringLiteral("slack"), QStringLiteral("com.slack.Slack")}},
        {QStringLiteral("net.whatsapp.WhatsApp"), {QStringLiteral("whatsapp-for-linux"), QStringLiteral("com.github.eneshecan.WhatsAppForLinux")}},
        {QStringLiteral("com.google.Chrome"), {QStringLiteral("google-chrome"), QStringLiteral("com.google.Chrome"), QStringLiteral("chromium"), QStringLiteral("org.chromium.Chromium")}},
        {QStringLiteral("com.apple.Safari"), {QStringLiteral("firefox-esr"), QStringLiteral("firefox"), QStringLiteral("org.mozilla.firefox")}},
        {QStringLiteral("company.thebrowser.Browser"), {}},
        {QStringLiteral("org.signal.Signal"), {QStringLiteral("signal-desktop"), QStringLiteral("org.signal.Signal")}},
    };
    return t;
}

} // namespace

const QStringList &known()
{
    static const QStringList ids{
        QStringLiteral("com.hnc.Discord"),        QStringLiteral("us.zoom.xos"),
        QStringLiteral("com.microsoft.teams2"),   QStringLiteral("com.apple.FaceTime"),
        QStringLiteral("com.tinyspeck.slackmacgap"), QStringLiteral("net.whatsapp.WhatsApp"),
        QStringLiteral("com.google.Chrome"),      QStringLiteral("com.apple.Safari"),
        QStringLiteral("company.thebrowser.Browser")};
    return ids;
}

QStringList aliases(const QString &id)
{
    QStringList all{id};
    for (auto it = table().cbegin(); it != table().cend(); ++it) {
        const bool named = it.key().compare(id, Qt::CaseInsensitive) == 0
                           || it.value().contains(id, Qt::CaseInsensitive);
        if (!named)
            continue;
        for (const QString &other : QStringList{it.key()} + it.value()) {
            if (!all.contains(other, Qt::CaseInsensitive))
                all << other;
        }
    }
    return all;
}

} // namespace CallApps
