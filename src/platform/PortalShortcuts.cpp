#include "platform/PortalShortcuts.h"

#include "core/Log.h"
#include "platform/KeyTable.h"

#include <QDBusArgument>
#include <QDBusMetaType>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>

#include <X11/Xlib.h>

namespace {

const QString kService = QStringLiteral("org.freedesktop.portal.Desktop");
const QString kPath = QStringLiteral("/org/freedesktop/portal/desktop");
const QString kInterface = QStringLiteral("org.freedesktop.portal.GlobalShortcuts");
const QString kRequest = QStringLiteral("org.freedesktop.portal.Request");

struct Entry
{
    QString id;
    QVariantMap properties;
};
using Entries = QList<Entry>;

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

} // namespace

Q_DECLARE_METATYPE(Entry)

QString PortalShortcuts::trigger(quint16 key, quint64 flags)
{
    const unsigned long sym = KeyTable::keysymFor(key);
    const char *name = sym ? XKeysymToString(sym) : nullptr;
    if (!name)
        return {};
    QStringList parts;
    if (!KeyTable::modifierKey(key)) {
        if (flags & KeyTable::Control)
            parts << QStringLiteral("CTRL");
        if (flags & KeyTable::Alt)
            parts << QStringLiteral("ALT");
        if (flags & KeyTable::Shift)
            parts << QStringLiteral("SHIFT");
        if (flags & KeyTable::Super)
            parts << QStringLiteral("LOGO");
    }
    parts << QString::fromLatin1(name);
    return parts.join(QLatin1Char('+'));
}

PortalShortcuts::PortalShortcuts(QDBusConnection bus, QObject *parent) : QObject(parent), bus_(std::move(bus))
{
    qDBusRegisterMetaType<Entry>();
    qDBusRegisterMetaType<Entries>();
}

PortalShortcuts::~PortalShortcuts()
{
    if (!session_.isEmpty())
        bus_.asyncCall(QDBusMessage::createMethodCall(kService, session_, QStringLiteral("org.freedesktop.portal.Session"),
                                                      QStringLiteral("Close")));
}

void PortalShortcuts::start(const QList<Shortcut> &shortcuts)
{
    if (!session_.isEmpty() || requestSlot_)
        return;
    shortcuts_ = shortcuts;
    if (!bus_.isConnected()) {
        fail(QStringLiteral("pas de bus de session"));
        return;
    }
    bus_.connect(kService, kPath, kInterface, QStringLiteral("Activated"), this, SLOT(onActivated(QDBusMessage)));
    bus_.connect(kService, kPath, kInterface, QStringLiteral("Deactivated"), this, SLOT(onDeactivated(QDBusMessage)));
    QVariantMap options;
    options.insert(QStringLiteral("session_handle_token"), QStringLiteral("ombry%1").arg(++tokens_));
    request(QStringLiteral("CreateSession"), {options}, 0, SLOT(sessionResponse(uint, QVariantMap)));
}

bool PortalShortcuts::request(const QString &method, const QVariantList &arguments, int optionsIndex, const char *slot)
{
    // The Response may come before the call's reply: listen on the path the
    // portal will use for our token first.
    const QString token = QStringLiteral("ombry%1").arg(++tokens_);
    QString sender = bus_.baseService().mid(1);
    sender.replace(QLatin1Char('.'), QLatin1Char('_'));
    requestPath_ = kPath + QStringLiteral("/request/") + sender + QLatin1Char('/') + token;
    requestSlot_ = slot;
    bus_.connect(kService, requestPath_, kRequest, QStringLiteral("Response"), this, slot);

    QVariantList args = arguments;
    QVariantMap options = args[optionsIndex].toMap();
    options.insert(QStringLiteral("handle_token"), token);
    args[optionsIndex] = options;
    QDBusMessage call = QDBusMessage::createMethodCall(kService, kPath, kInterface, method);
    call.setArguments(args);
    auto *watcher = new QDBusPendingCallWatcher(bus_.asyncCall(call), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [this, watcher, slot, method] {
        watcher->deleteLater();
        const QDBusPendingReply<QDBusObjectPath> reply = *watcher;
        if (reply.isError()) {
            fail(method + QStringLiteral(" : ") + reply.error().message());
            return;
        }
        // An older portal answers on a path of its own choosing.
        const QString path = reply.value().path();
        if (path != requestPath_ && requestSlot_ == slot) {
            bus_.disconnect(kService, requestPath_, kRequest, QStringLiteral("Response"), this, slot);
            requestPath_ = path;
            bus_.connect(kService, requestPath_, kRequest, QStringLiteral("Response"), this, slot);
        }
    });
    return true;
}

void PortalShortcuts::fail(const QString &why)
{
    if (!requestPath_.isEmpty() && requestSlot_)
        bus_.disconnect(kService, requestPath_, kRequest, QStringLiteral("Response"), this, requestSlot_);
    requestSlot_ = nullptr;
    Log::write(QStringLiteral("hotkey: portail GlobalShortcuts refusé (%1)").arg(why));
    Q_EMIT failed(why);
}

void PortalShortcuts::sessionResponse(uint response, const QVariantMap &results)
{
    bus_.disconnect(kService, requestPath_, kRequest, QStringLiteral("Response"), this,
                    SLOT(sessionResponse(uint, QVariantMap)));
    requestSlot_ = nullptr;
    // Written as a string by the portals, as the object path it is by some.
    const QVariant handle = results.value(QStringLiteral("session_handle"));
    const QString session = handle.canConvert<QDBusObjectPath>() && handle.userType() == qMetaTypeId<QDBusObjectPath>()
                                ? handle.value<QDBusObjectPath>().path()
                                : handle.toString();
    if (response != 0 || session.isEmpty()) {
        fail(QStringLiteral("session non créée, réponse %1").arg(response));
        return;
    }
    session_ = session;
    Entries entries;
    for (const Shortcut &s : std::as_const(shortcuts_)) {
        Entry e{s.id, {{QStringLiteral("description"), s.description}}};
        if (!s.trigger.isEmpty())
            e.properties.insert(QStringLiteral("preferred_trigger"), s.trigger);
        entries.append(e);
    }
    request(QStringLiteral("BindShortcuts"),
            {QVariant::fromValue(QDBusObjectPath(session_)), QVariant::fromValue(entries), QString(), QVariantMap()}, 3,
            SLOT(bindResponse(uint, QVariantMap)));
}

void PortalShortcuts::bindResponse(uint response, const QVariantMap &results)
{
    bus_.disconnect(kService, requestPath_, kRequest, QStringLiteral("Response"), this,
                    SLOT(bindResponse(uint, QVariantMap)));
    requestSlot_ = nullptr;
    if (response != 0) {
        fail(QStringLiteral("raccourcis non liés, réponse %1").arg(response));
        return;
    }
    triggers_.clear();
    Entries bound;
    const QVariant shortcuts = results.value(QStringLiteral("shortcuts"));
    if (shortcuts.canConvert<QDBusArgument>())
        shortcuts.value<QDBusArgument>() >> bound;
    QStringList said;
    for (const Entry &e : std::as_const(bound)) {
        const QString trigger = e.properties.value(QStringLiteral("trigger_description")).toString();
        triggers_.insert(e.id, trigger);
        said << (trigger.isEmpty() ? e.id : e.id + QStringLiteral(" = ") + trigger);
    }
    bound_ = true;
    Log::write(QStringLiteral("hotkey: portail GlobalShortcuts actif (%1)").arg(said.join(QStringLiteral(", "))));
    Q_EMIT ready();
}

QString PortalShortcuts::shortcutOf(const QDBusMessage &signal) const
{
    const QVariantList args = signal.arguments();
    if (args.size() < 2 || args[0].value<QDBusObjectPath>().path() != session_)
        return {}; // another session's
    return args[1].toString();
}

void PortalShortcuts::onActivated(const QDBusMessage &signal)
{
    if (const QString id = shortcutOf(signal); !id.isEmpty())
        Q_EMIT activated(id);
}

void PortalShortcuts::onDeactivated(const QDBusMessage &signal)
{
    if (const QString id = shortcutOf(signal); !id.isEmpty())
        Q_EMIT deactivated(id);
}
