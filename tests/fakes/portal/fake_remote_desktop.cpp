// A desktop portal that offers only the RemoteDesktop interface, for the tests
// of the portal keyboard. It owns org.freedesktop.portal.Desktop on the bus of
// DBUS_SESSION_BUS_ADDRESS (the test's private one) and writes what it was
// asked to the file named by its first argument, one line each:
//   select types=1 persist=2 restore=<token or nothing>
//   start token=<the restore token it handed back>
//   key <evdev code> <1 pressed, 0 released>
// A second argument "refuse" answers Start as a user who cancels the dialog,
// "nokeyboard" grants the session without the keyboard.
#include <QCoreApplication>
#include <QDBusAbstractAdaptor>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QFile>
#include <QTimer>

#include <cstdio>

namespace {

QString g_mode;
QFile g_record;
int g_tokens = 0;
QStringList g_sessions;

void record(const QString &line)
{
    g_record.write(line.toUtf8() + '\n');
    g_record.flush();
}

QString senderPart(const QDBusMessage &message)
{
    QString sender = message.service().mid(1);
    sender.replace(QLatin1Char('.'), QLatin1Char('_'));
    return sender;
}

// The request's path, and its Response once the reply has gone.
QDBusObjectPath answer(const QDBusMessage &message, const QVariantMap &options, uint response, QVariantMap results)
{
    const QString path = QStringLiteral("/org/freedesktop/portal/desktop/request/") + senderPart(message)
                         + QLatin1Char('/') + options.value(QStringLiteral("handle_token")).toString();
    QTimer::singleShot(0, [path, response, results] {
        QDBusMessage signal = QDBusMessage::createSignal(path, QStringLiteral("org.freedesktop.portal.Request"),
                                                         QStringLiteral("Response"));
        signal << response << results;
        QDBusConnection::sessionBus().send(signal);
    });
    return QDBusObjectPath(path);
}

} // namespace

class RemoteDesktop : public QDBusAbstractAdaptor
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.portal.RemoteDesktop")
    Q_PROPERTY(uint version READ version)
    Q_PROPERTY(uint AvailableDeviceTypes READ availableDeviceTypes)

public:
    explicit RemoteDesktop(QObject *parent) : QDBusAbstractAdaptor(parent) {}
    uint version() const { return 2; }
    uint availableDeviceTypes() const { return 7; }

public Q_SLOTS:
    QDBusObjectPath CreateSession(const QVariantMap &options, const QDBusMessage &message)
    {
        const QString session = QStringLiteral("/org/freedesktop/portal/desktop/session/") + senderPart(message)
                                + QLatin1Char('/') + options.value(QStringLiteral("session_handle_token")).toString();
        g_sessions << session;
        // The portal names the session as a string.
        return answer(message, options, 0, {{QStringLiteral("session_handle"), session}});
    }
    QDBusObjectPath SelectDevices(const QDBusObjectPath &session, const QVariantMap &options, const QDBusMessage &message)
    {
        if (!g_sessions.contains(session.path()))
            record(QStringLiteral("select unknown session"));
        record(QStringLiteral("select types=%1 persist=%2 restore=%3")
                   .arg(options.value(QStringLiteral("types")).toUInt())
                   .arg(options.value(QStringLiteral("persist_mode")).toUInt())
                   .arg(options.value(QStringLiteral("restore_token")).toString()));
        return answer(message, options, 0, {});
    }
    QDBusObjectPath Start(const QDBusObjectPath &, const QString &, const QVariantMap &options, const QDBusMessage &message)
    {
        if (g_mode == QLatin1String("refuse"))
            return answer(message, options, 1, {});
        const QString token = QStringLiteral("jeton-%1").arg(++g_tokens);
        record(QStringLiteral("start token=") + token);
        const uint devices = g_mode == QLatin1String("nokeyboard") ? 2u : 1u;
        return answer(message, options, 0,
                      {{QStringLiteral("devices"), devices}, {QStringLiteral("restore_token"), token}});
    }
    void NotifyKeyboardKeycode(const QDBusObjectPath &session, const QVariantMap &, int keycode, uint state)
    {
        if (!g_sessions.contains(session.path()))
            record(QStringLiteral("key unknown session"));
        record(QStringLiteral("key %1 %2").arg(keycode).arg(state));
    }
};

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() < 2)
        return 2;
    g_record.setFileName(args.at(1));
    if (!g_record.open(QIODevice::WriteOnly | QIODevice::Append))
        return 2;
    g_mode = args.value(2);
    QObject root;
    new RemoteDesktop(&root);
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.registerObject(QStringLiteral("/org/freedesktop/portal/desktop"), &root)
        || !bus.registerService(QStringLiteral("org.freedesktop.portal.Desktop")))
        return 1;
    std::fputs("ready\n", stdout);
    std::fflush(stdout);
    return app.exec();
}

#include "fake_remote_desktop.moc"
