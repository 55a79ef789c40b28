#include "calls/CallApps.h"

namespace CallApps {

namespace {

struct App
{
    QString id;     // the desktop-file id: what a tile stores
    QString name;   // its own name, for messages when it is not running
    QStringList others; // other desktop ids (packages, Flatpak), WM_CLASS, the sound server's names
    QStringList former; // identifiers stored by earlier versions
    bool listed = true; // one of the known tiles
};

const QList<App> &apps()
{
    static const QList<App> t{
        {QStringLiteral("discord"), QStringLiteral("Discord"), {QStringLiteral("com.discordapp.Discord")},
         {QStringLiteral("com.hnc.Discord")}},
        {QStringLiteral("zoom"), QStringLiteral("Zoom"),
         {QStringLiteral("us.zoom.Zoom"), QStringLiteral("ZOOM VoiceEngine")},
         {QStringLiteral("us.zoom.xos")}},
        {QStringLiteral("teams-for-linux"), QStringLiteral("Teams"),
         {QStringLiteral("com.github.IsmaelMartinez.teams_for_linux")}, {QStringLiteral("com.microsoft.teams2")}},
        {QStringLiteral("slack"), QStringLiteral("Slack"), {QStringLiteral("com.slack.Slack")},
         {QStringLiteral("com.tinyspeck.slackmacgap")}},
        {QStringLiteral("whatsapp-for-linux"), QStringLiteral("WhatsApp"),
         {QStringLiteral("com.github.eneshecan.WhatsAppForLinux")}, {QStringLiteral("net.whatsapp.WhatsApp")}},
        {QStringLiteral("google-chrome"), QStringLiteral("Google Chrome"),
         {QStringLiteral("Google Chrome"), QStringLiteral("chrome"), QStringLiteral("chromium"),
          QStringLiteral("org.chromium.Chromium")},
         {QStringLiteral("com.google.Chrome")}},
        {QStringLiteral("firefox"), QStringLiteral("Firefox"),
         {QStringLiteral("firefox-esr"), QStringLiteral("org.mozilla.firefox")}, {QStringLiteral("com.apple.Safari")}},
        {QStringLiteral("signal-desktop"), QStringLiteral("Signal"), {QStringLiteral("org.signal.Signal")}, {}, false},
    };
    return t;
}

const App *find(const QString &id)
{
    for (const App &app : apps()) {
        if (app.id.compare(id, Qt::CaseInsensitive) == 0 || app.others.contains(id, Qt::CaseInsensitive)
            || app.former.contains(id, Qt::CaseInsensitive))
            return &app;
    }
    return nullptr;
}

} // namespace

const QStringList &known()
{
    static const QStringList ids = [] {
        QStringList out;
        for (const App &app : apps())
            if (app.listed)
                out << app.id;
        return out;
    }();
    return ids;
}

QStringList aliases(const QString &id)
{
    QStringList all{id};
    if (const App *app = find(id)) {
        for (const QString &other : QStringList{app->id} + app->others + app->former) {
            if (!all.contains(other, Qt::CaseInsensitive))
                all << other;
        }
    }
    return all;
}

QString current(const QString &id)
{
    const App *app = find(id);
    return app && app->former.contains(id, Qt::CaseInsensitive) ? app->id : id;
}

std::optional<QString> name(const QString &id)
{
    if (const App *app = find(id))
        return app->name;
    return std::nullopt;
}

} // namespace CallApps
