#include "platform/SelectionOwners.h"

#include <QCoreApplication>
#include <QSocketNotifier>

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/extensions/Xfixes.h>

namespace SelectionOwners {
namespace {

struct Watch
{
    Display *dpy = nullptr;
    Window window = None;
    Atom clipboard = None;
    Atom stamp = None;
    int fixesEvent = -1;
    bool watching = false;
    // Server time of the latest owner change seen, when one was seen.
    bool taken = false;
    Time takenAt = 0;
};

Watch &state()
{
    static Watch w = [] {
        Watch s;
        s.dpy = XOpenDisplay(nullptr);
        if (!s.dpy)
            return s;
        s.window = XCreateSimpleWindow(s.dpy, DefaultRootWindow(s.dpy), 0, 0, 1, 1, 0, 0, 0);
        XSelectInput(s.dpy, s.window, PropertyChangeMask);
        s.clipboard = XInternAtom(s.dpy, "CLIPBOARD", False);
        s.stamp = XInternAtom(s.dpy, "OMBRY_SERVER_TIME", False);
        return s;
    }();
    return w;
}

void drain(Watch &w)
{
    while (XPending(w.dpy)) {
        XEvent event;
        XNextEvent(w.dpy, &event);
        if (w.fixesEvent >= 0 && event.type == w.fixesEvent + XFixesSelectionNotify) {
            const auto *notify = reinterpret_cast<const XFixesSelectionNotifyEvent *>(&event);
            if (notify->subtype == XFixesSetSelectionOwnerNotify && notify->owner != None) {
                w.taken = true;
                w.takenAt = notify->timestamp;
            }
        }
    }
}

// X times are 32-bit milliseconds that wrap about every 49 days.
bool notBefore(Time t, quint64 since)
{
    return qint32(quint32(t) - quint32(since)) >= 0;
}

} // namespace

bool watch()
{
    Watch &w = state();
    if (!w.dpy)
        return false;
    if (w.watching)
        return true;
    int error = 0;
    if (!XFixesQueryExtension(w.dpy, &w.fixesEvent, &error)) {
        w.fixesEvent = -1;
        return false;
    }
    int major = 0, minor = 0;
    XFixesQueryVersion(w.dpy, &major, &minor);
    XFixesSelectSelectionInput(w.dpy, DefaultRootWindow(w.dpy), w.clipboard, XFixesSetSelectionOwnerNotifyMask);
    XSync(w.dpy, False);
    w.watching = true;
    // Owner changes are read as they come, so they never pile up unread.
    if (QCoreApplication::instance()) {
        auto *notifier = new QSocketNotifier(ConnectionNumber(w.dpy), QSocketNotifier::Read, QCoreApplication::instance());
        QObject::connect(notifier, &QSocketNotifier::activated, notifier, [] { drain(state()); });
    }
    return true;
}

quint64 serverTime()
{
    Watch &w = state();
    if (!w.dpy)
        return 0;
    // An empty append still makes the server stamp a PropertyNotify with its time.
    XChangeProperty(w.dpy, w.window, w.stamp, XA_STRING, 8, PropModeAppend, nullptr, 0);
    XEvent event;
    XWindowEvent(w.dpy, w.window, PropertyChangeMask, &event);
    return event.xproperty.time;
}

bool clipboardTakenSince(quint64 since)
{
    Watch &w = state();
    if (!watch())
        return false;
    XSync(w.dpy, False); // every change made up to now has been reported
    drain(w);
    return w.taken && notBefore(w.takenAt, since) && XGetSelectionOwner(w.dpy, w.clipboard) != None;
}

bool ownedByClientOf(const char *selection, unsigned long window)
{
    Watch &w = state();
    if (!w.dpy || window == 0)
        return false;
    const Window owner = XGetSelectionOwner(w.dpy, XInternAtom(w.dpy, selection, False));
    // Every id a client makes shares the bits outside the connection's
    // resource-id mask, which is how the server itself tells clients apart (the
    // public display record names the mask "private4").
    const XID mask = reinterpret_cast<_XPrivDisplay>(w.dpy)->private4;
    return owner != None && (owner & ~mask) == (window & ~mask);
}

} // namespace SelectionOwners
