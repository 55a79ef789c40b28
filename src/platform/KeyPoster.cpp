#include "platform/KeyPoster.h"

#include "core/Log.h"
#include "platform/FrontmostApp.h"
#include "platform/KeySteps.h"
#include "platform/KeyTable.h"
#include "platform/SessionRoutes.h"
#include "platform/UinputKeyboard.h"
#include "platform/VirtualKeyboard.h"
#include "platform/X11Display.h"

#include <QCoreApplication>
#include <QList>
#include <QPointer>

#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>
// Xlib's None would shadow the route of that name.
#undef None

namespace KeyPoster {
namespace {

void send(Display *dpy, unsigned int keycode, bool down)
{
    X11::notePosted(keycode, down);
    XTestFakeKeyEvent(dpy, keycode, down ? True : False, CurrentTime);
}

using Typing = SessionRoutes::Typing;

// The route the keys for Wayland windows take: the session's, or the one it
// fell back to when the portal would not give a keyboard.
struct Wayland
{
    Typing route = Typing::None;
    QPointer<PortalKeyboard> portal;
    UinputKeyboard uinput;
};

Wayland &wayland()
{
    static Wayland w;
    return w;
}

// Opens `route`; false when it cannot be had.
bool open(Typing route)
{
    switch (route) {
    case Typing::VirtualKeyboard: return VirtualKeyboard::open();
    case Typing::Uinput: return wayland().uinput.open();
    default: return false;
    }
}

// When the chosen route cannot be had (the portal refused, the compositor
// would not take our keyboard): the next one the session offers.
void fallBack()
{
    const SessionRoutes::Offer &offer = SessionRoutes::offered();
    Wayland &w = wayland();
    if (offer.virtualKeyboard && open(Typing::VirtualKeyboard))
        w.route = Typing::VirtualKeyboard;
    else if (offer.uinputWritable && open(Typing::Uinput))
        w.route = Typing::Uinput;
    else
        w.route = Typing::None;
    Log::write(QStringLiteral("frappe: route indisponible, ")
               + (w.route == Typing::VirtualKeyboard ? QStringLiteral("saisie par le clavier virtuel du compositeur")
                  : w.route == Typing::Uinput        ? QStringLiteral("saisie par uinput")
                                                     : QStringLiteral("aucune saisie, le texte reste dans le presse-papiers")));
}

bool routeOpen()
{
    Wayland &w = wayland();
    switch (w.route) {
    case Typing::RemoteDesktop: return w.portal && w.portal->isReady();
    case Typing::VirtualKeyboard: return VirtualKeyboard::isOpen();
    case Typing::Uinput: return w.uinput.isOpen();
    default: return false;
    }
}

bool sendWayland(const QList<KeySteps::Step> &steps)
{
    Wayland &w = wayland();
    switch (w.route) {
    case Typing::RemoteDesktop: return w.portal && w.portal->send(steps);
    case Typing::VirtualKeyboard: return VirtualKeyboard::send(steps);
    case Typing::Uinput: return w.uinput.send(steps);
    default: return false;
    }
}

// An Xwayland window in front takes XTEST's keys, which no Wayland route reaches.
bool x11InFront()
{
    if (!X11::display())
        return false;
    const std::optional<RunningApp> app = FrontmostApp::current();
    return app && app->window != 0;
}

bool postX11(quint16 key, quint64 modifiers)
{
    Display *dpy = X11::display();
    if (!dpy)
        return false;
    int event = 0, error = 0, major = 0, minor = 0;
    if (!XTestQueryExtension(dpy, &event, &error, &major, &minor))
        return false;
    const unsigned long sym = KeyTable::keysymFor(key);
    const unsigned int keycode = sym ? XKeysymToKeycode(dpy, sym) : 0;
    if (!keycode)
        return false;

    // Let go of every modifier key still down (the user's fingers on the shortcut).
    char keys[32] = {};
    XQueryKeymap(dpy, keys);
    if (XModifierKeymap *map = XGetModifierMapping(dpy)) {
        QList<unsigned int> released;
        for (int i = 0; i < 8 * map->max_keypermod; ++i) {
            const unsigned int kc = map->modifiermap[i];
            if (kc && (keys[kc / 8] & (1 << (kc % 8))) && !released.contains(kc)) {
                released.append(kc);
                send(dpy, kc, false);
            }
        }
        XFreeModifiermap(map);
    }

    QList<unsigned int> mods;
    const auto add = [&](quint64 flag, unsigned long modSym) {
        if (modifiers & flag)
            if (const unsigned int kc = XKeysymToKeycode(dpy, modSym))
                mods.append(kc);
    };
    add(KeyTable::Control, XK_Control_L);
    add(KeyTable::Shift, XK_Shift_L);
    add(KeyTable::Alt, XK_Alt_L);
    add(KeyTable::Super, XK_Super_L);

    for (unsigned int kc : std::as_const(mods))
        send(dpy, kc, true);
    send(dpy, keycode, true);
    send(dpy, keycode, false);
    for (auto it = mods.crbegin(); it != mods.crend(); ++it)
        send(dpy, *it, false);
    XFlush(dpy);
    return true;
}

} // namespace

bool post(quint16 key, quint64 modifiers)
{
    if (SessionRoutes::current().typing == Typing::X11 || x11InFront())
        return postX11(key, modifiers);
    return routeOpen() && sendWayland(KeySteps::combination(key, modifiers));
}

bool reachesFront()
{
    if (SessionRoutes::current().typing == Typing::X11 || x11InFront())
        return true;
    return routeOpen();
}

void prepare(PortalKeyboard::TokenStore tokens)
{
    const Typing route = SessionRoutes::current().typing;
    Wayland &w = wayland();
    if (route == Typing::X11 || route == Typing::None || w.route != Typing::None)
        return;
    w.route = route;
    if (route != Typing::RemoteDesktop) {
        if (!open(route))
            fallBack();
        return;
    }
    w.portal = new PortalKeyboard(QDBusConnection::sessionBus(), std::move(tokens), QCoreApplication::instance());
    QObject::connect(w.portal, &PortalKeyboard::failed, w.portal, [] {
        // Refused, or closed later: a paste still goes out where it can.
        if (wayland().route == Typing::RemoteDesktop)
            fallBack();
    });
    w.portal->start();
}

} // namespace KeyPoster
