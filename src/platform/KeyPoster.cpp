#include "platform/KeyPoster.h"

#include "platform/KeyTable.h"
#include "platform/X11Display.h"

#include <QList>

#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>

namespace KeyPoster {
namespace {

void send(Display *dpy, unsigned int keycode, bool down)
{
    X11::notePosted(keycode, down);
    XTestFakeKeyEvent(dpy, keycode, down ? True : False, CurrentTime);
}

} // namespace

bool post(quint16 key, quint64 modifiers)
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

} // namespace KeyPoster
