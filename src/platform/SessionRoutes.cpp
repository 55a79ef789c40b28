#include "platform/SessionRoutes.h"

#include "platform/WaylandDesktop.h"
#include "platform/X11Display.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusVariant>
#include <QDir>

#include <unistd.h>

namespace SessionRoutes {
namespace {

bool portalOffers(const QString &interface)
{
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected())
        return false;
    QDBusMessage call = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.portal.Desktop"), QStringLiteral("/org/freedesktop/portal/desktop"),
        QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("Get"));
    call << interface << QStringLiteral("version");
    // The portal may be started by this very call.
    const QDBusMessage reply = bus.call(call, QDBus::Block, 3000);
    return reply.type() == QDBusMessage::ReplyMessage;
}

bool anyReadable(const QString &folder, const QString &pattern)
{
    const QStringList names = QDir(folder).entryList({pattern}, QDir::System);
    for (const QString &name : names)
        if (access(QFile::encodeName(folder + QLatin1Char('/') + name).constData(), R_OK) == 0)
            return true;
    return false;
}

} // namespace

Routes choose(const Offer &offer)
{
    if (!offer.wayland)
        return {Keys::X11, Typing::X11, Clipboard::X11, Front::X11};
    Routes r{};
    r.keys = offer.portalShortcuts ? Keys::Portal : offer.evdevReadable ? Keys::Evdev : Keys::Actions;
    r.typing = offer.portalRemoteDesktop ? Typing::RemoteDesktop
               : offer.virtualKeyboard   ? Typing::VirtualKeyboard
               : offer.uinputWritable    ? Typing::Uinput
                                         : Typing::None;
    r.clipboard = offer.dataControl ? Clipboard::DataControl : Clipboard::XwaylandBridge;
    r.front = offer.foreignToplevel ? Front::ForeignToplevel : Front::Accessibility;
    return r;
}

Offer probe()
{
    Offer offer;
    offer.desktop = qEnvironmentVariable("XDG_CURRENT_DESKTOP");
    offer.x11 = X11::display() != nullptr;
    offer.wayland = WaylandDesktop::display() != nullptr;
    if (offer.wayland) {
        offer.dataControl = WaylandDesktop::dataControl() && WaylandDesktop::seat();
        offer.foreignToplevel = WaylandDesktop::toplevels() != nullptr;
        offer.virtualKeyboard = WaylandDesktop::offers("zwp_virtual_keyboard_manager_v1");
        offer.portalShortcuts = portalOffers(QStringLiteral("org.freedesktop.portal.GlobalShortcuts"));
        offer.portalRemoteDesktop = portalOffers(QStringLiteral("org.freedesktop.portal.RemoteDesktop"));
        offer.evdevReadable = anyReadable(QStringLiteral("/dev/input"), QStringLiteral("event*"));
        offer.uinputWritable = access("/dev/uinput", W_OK) == 0;
    }
    QDBusConnection bus = QDBusConnection::sessionBus();
    offer.accessibilityBus = bus.isConnected() && bus.interface()
                             && (bus.interface()->isServiceRegistered(QStringLiteral("org.a11y.Bus"))
                                 || bus.interface()->activatableServiceNames().value().contains(QStringLiteral("org.a11y.Bus")));
    return offer;
}

QStringList journalLines(const Routes &r)
{
    QStringList lines;
    switch (r.keys) {
    case Keys::X11: lines << QStringLiteral("session: touches par X11"); break;
    case Keys::Portal: lines << QStringLiteral("session: touches par le portail GlobalShortcuts"); break;
    case Keys::Evdev: lines << QStringLiteral("session: touches lues sur les claviers (evdev)"); break;
    case Keys::Actions: lines << QStringLiteral("session: touches par les raccourcis du compositeur (ombry-voice --action)"); break;
    }
    switch (r.typing) {
    case Typing::RemoteDesktop: lines << QStringLiteral("session: saisie par le portail RemoteDesktop"); break;
    case Typing::VirtualKeyboard: lines << QStringLiteral("session: saisie par le clavier virtuel du compositeur"); break;
    case Typing::Uinput: lines << QStringLiteral("session: saisie par uinput"); break;
    case Typing::X11: lines << QStringLiteral("session: saisie par XTEST"); break;
    case Typing::None: lines << QStringLiteral("session: aucune saisie, le texte reste dans le presse-papiers"); break;
    }
    switch (r.clipboard) {
    case Clipboard::X11: lines << QStringLiteral("session: presse-papiers par X11"); break;
    case Clipboard::XwaylandBridge: lines << QStringLiteral("session: presse-papiers par le pont de Xwayland"); break;
    case Clipboard::DataControl: lines << QStringLiteral("session: presse-papiers par le protocole data-control"); break;
    }
    switch (r.front) {
    case Front::X11: lines << QStringLiteral("session: application au premier plan par X11"); break;
    case Front::ForeignToplevel: lines << QStringLiteral("session: application au premier plan par la liste des fenêtres du compositeur"); break;
    case Front::Accessibility: lines << QStringLiteral("session: application au premier plan par le bus d'accessibilité"); break;
    }
    return lines;
}

const Offer &offered()
{
    static const Offer offer = probe();
    return offer;
}

const Routes &current()
{
    static const Routes routes = choose(offered());
    return routes;
}

} // namespace SessionRoutes
