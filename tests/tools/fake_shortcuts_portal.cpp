// A desktop portal that speaks org.freedesktop.portal.GlobalShortcuts (version 1)
// on the session bus, for tests. It owns org.freedesktop.portal.Desktop, binds
// whatever it is asked with the preferred triggers, and reads commands on its
// standard input:
//   activate ID / deactivate ID     the shortcut's signal for the session
//   foreign ID                      Activated for a session that is not the client's
//   refuse                          the next BindShortcuts is answered "cancelled"
// It writes "ready" once it owns the name and "bound ID=TRIGGER;…" after a bind.
#include <QCoreApplication>
#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusContext>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusObjectPath>
#include <QSocketNotifier>
#include <QTimer>

#include <cstdio>
#include <unistd.h>

// Outside the anonymous namespace: the bus finds a slot's argument types by name.
struct Entry
{
    QString id;
    QVariantMap properties;
};

QDBusArgument &operator<<(QDBusArgument &arg, const Entry &e)
{
    arg.beginStructure();
    arg << e.id << e.properties;
    arg.endStructure();
    return arg;
}

const QDBusArgument &operator>>(const QDBusArgument &arg, Entry &e)
{
    arg.beginStructure();
    arg >> e.id >> e.properties;
    arg.endStructure();
    return arg;
}

namespace {

const QString kPath = QStringLiteral("/org/freedesktop/portal/desktop");

QString senderPart(const QString &sender)
{
    QString s = sender.mid(1);
    s.replace(QLatin1Char('.'), QLatin1Char('_'));
    return s;
}

} // namespace

Q_DECLARE_METATYPE(Entry)

class Portal : public QObject, protected QDBusContext
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.portal.GlobalShortcuts")
    Q_PROPERTY(uint version READ version)

public:
    uint version() const { return 1; }
    QString session;
    bool refuse = false;

    void emitSignal(const QString &name, const QString &sessionPath, const QString &id)
    {
        QDBusMessage signal = QDBusMessage::createSignal(kPath, QStringLiteral("org.freedesktop.portal.GlobalShortcuts"), name);
        signal << QVariant::fromValue(QDBusObjectPath(sessionPath)) << id << qulonglong(0) << QVariantMap();
        QDBusConnection::sessionBus().send(signal);
    }

public Q_SLOTS:
    QDBusObjectPath CreateSession(const QVariantMap &options)
    {
        const QString sender = senderPart(message().service());
        session = kPath + QStringLiteral("/session/") + sender + QLatin1Char('/')
                  + options.value(QStringLiteral("session_handle_token")).toString();
        // As the portal does: the handle as a string.
        return respond(options, 0, {{QStringLiteral("session_handle"), session}});
    }

    QDBusObjectPath BindShortcuts(const QDBusObjectPath &sessionHandle, const QList<Entry> &shortcuts,
                                  const QString &parentWindow, const QVariantMap &options)
    {
        Q_UNUSED(parentWindow);
        if (sessionHandle.path() != session) {
            sendErrorReply(QDBusError::InvalidArgs, QStringLiteral("unknown session"));
            return {};
        }
        QList<Entry> bound;
        QStringList said;
        for (const Entry &e : shortcuts) {
            const QString trigger = e.properties.value(QStringLiteral("preferred_trigger")).toString();
            said << e.id + QLatin1Char('=') + trigger;
            bound.append({e.id,
                          {{QStringLiteral("description"), e.properties.value(QStringLiteral("description"))},
                           {QStringLiteral("trigger_description"), trigger}}});
        }
        const bool refused = std::exchange(refuse, false);
        std::printf("bound %s\n", refused ? "" : said.join(QLatin1Char(';')).toUtf8().constData());
        std::fflush(stdout);
        return respond(options, refused ? 1 : 0, {{QStringLiteral("shortcuts"), QVariant::fromValue(bound)}});
    }

private:
    // The answer comes through the Request object, after the call's reply.
    QDBusObjectPath respond(const QVariantMap &options, uint response, const QVariantMap &results)
    {
        const QString path = kPath + QStringLiteral("/request/") + senderPart(message().service()) + QLatin1Char('/')
                             + options.value(QStringLiteral("handle_token")).toString();
        QTimer::singleShot(0, this, [path, response, results] {
            QDBusMessage signal =
                QDBusMessage::createSignal(path, QStringLiteral("org.freedesktop.portal.Request"), QStringLiteral("Response"));
            signal << response << results;
            QDBusConnection::sessionBus().send(signal);
        });
        return QDBusObjectPath(path);
    }
};

void command(Portal &portal, const QStringList &words)
{
    const QString id = words.value(1);
    if (words[0] == QLatin1String("activate"))
        portal.emitSignal(QStringLiteral("Activated"), portal.session, id);
    else if (words[0] == QLatin1String("deactivate"))
        portal.emitSignal(QStringLiteral("Deactivated"), portal.session, id);
    else if (words[0] == QLatin1String("foreign"))
        portal.emitSignal(QStringLiteral("Activated"), kPath + QStringLiteral("/session/other/x"), id);
    else if (words[0] == QLatin1String("refuse"))
        portal.refuse = true;
}

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    qDBusRegisterMetaType<Entry>();
    qDBusRegisterMetaType<QList<Entry>>();
    QDBusConnection bus = QDBusConnection::sessionBus();
    Portal portal;
    if (!bus.registerObject(kPath, &portal, QDBusConnection::ExportAllSlots | QDBusConnection::ExportAllProperties)
        || !bus.registerService(QStringLiteral("org.freedesktop.portal.Desktop"))) {
        std::fprintf(stderr, "fake portal: cannot own org.freedesktop.portal.Desktop\n");
        return 1;
    }
    std::printf("ready\n");
    std::fflush(stdout);
    QSocketNotifier input(STDIN_FILENO, QSocketNotifier::Read);
    QByteArray pending;
    QObject::connect(&input, &QSocketNotifier::activated, &app, [&] {
        char chunk[512];
        const ssize_t n = ::read(STDIN_FILENO, chunk, sizeof chunk);
        if (n <= 0) {
            input.setEnabled(false);
            app.quit(); // the test went away
            return;
        }
        pending.append(chunk, n);
        qsizetype end;
        while ((end = pending.indexOf('\n')) >= 0) {
            const QByteArray line = pending.left(end);
            pending.remove(0, end + 1);
            command(portal, QString::fromUtf8(line).trimmed().split(QLatin1Char(' ')));
        }
    });
    return app.exec();
}


#include "fake_shortcuts_portal.moc"
