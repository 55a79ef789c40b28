#pragma once

#include <QString>
#include <QStringList>

// Which way each service of the desktop goes in this session, chosen once at
// start-up from what the session offers: on X11 everything goes through X11;
// in a Wayland session our windows stay X11 windows (Xwayland) and what X11
// cannot do for Wayland windows goes another way.
namespace SessionRoutes {
enum class Keys { X11, Portal, Evdev, Actions };
enum class Typing { RemoteDesktop, VirtualKeyboard, Uinput, X11, None };
enum class Clipboard { X11, XwaylandBridge, DataControl };
enum class Front { X11, ForeignToplevel, Accessibility };
struct Offer {                 // what the session offers, read once at start-up
    bool x11 = false;          // an X display (Xwayland or a real X server)
    bool wayland = false;      // WAYLAND_DISPLAY answers
    bool portalShortcuts = false, portalRemoteDesktop = false;
    bool evdevReadable = false, uinputWritable = false;
    bool virtualKeyboard = false, dataControl = false, foreignToplevel = false; // Wayland globals
    bool accessibilityBus = false;
    QString desktop;           // XDG_CURRENT_DESKTOP, for the advice texts
};
struct Routes { Keys keys; Typing typing; Clipboard clipboard; Front front; };
Routes choose(const Offer &offer);          // pure: the one data-driven test covers it
Offer probe();                               // D-Bus introspection of the portal, /dev/input, /dev/uinput, one wl_registry round trip
QStringList journalLines(const Routes &r);   // one French line per service, e.g. "session: touches par le portail GlobalShortcuts"
const Routes &current();                     // chosen at start-up (X11 session: all X11, as today)
const Offer &offered();                      // what current() was chosen from
}
