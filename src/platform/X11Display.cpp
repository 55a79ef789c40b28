#include "platform/X11Display.h"

#include "core/Clock.h"

#include <QDeadlineTimer>
#include <QMutex>

#include <deque>

#include <X11/Xlib.h>
#include <X11/extensions/XInput2.h>
#include <X11/extensions/XTest.h>
#include <X11/XKBlib.h>

namespace X11 {
namespace {

int gLastError = 0;

int onXError(Display *, XErrorEvent *event)
{
    gLastError = event->error_code;
    return 0;
}

struct Posted
{
    unsigned int keycode;
    bool down;
    qint64 at;
};

QMutex gPostedLock;
std::deque<Posted> gPosted;

} // namespace

void installErrorHandler()
{
    static bool installed = false;
    if (!installed) {
        installed = true;
        XSetErrorHandler(onXError);
    }
}

int takeLastError()
{
    const int code = gLastError;
    gLastError = 0;
    return code;
}

_XDisplay *display()
{
    static Display *dpy = [] {
        installErrorHandler();
        return XOpenDisplay(nullptr);
    }();
    return dpy;
}

unsigned long serverTime()
{
    Display *dpy = display();
    if (!dpy)
        return 0;
    // A zero-length property change on a window of our own comes back with the time.
    static Window probe = [dpy] {
        const Window w = XCreateSimpleWindow(dpy, DefaultRootWindow(dpy), -10, -10, 1, 1, 0, 0, 0);
        XSelectInput(dpy, w, PropertyChangeMask);
        return w;
    }();
    const Atom atom = XInternAtom(dpy, "_OMBRY_TIME", False);
    XChangeProperty(dpy, probe, atom, atom, 8, PropModeAppend, nullptr, 0);
    XEvent ev;
    XWindowEvent(dpy, probe, PropertyChangeMask, &ev);
    return ev.xproperty.time;
}

bool trusted(_XDisplay *dpy)
{
    if (!dpy)
        return false;
    int event = 0, error = 0, major = 0, minor = 0;
    if (!XTestQueryExtension(dpy, &event, &error, &major, &minor))
        return false;
    int opcode = 0;
    if (!XQueryExtension(dpy, "XInputExtension", &opcode, &event, &error))
        return false;
    major = 2;
    minor = 2;
    return XIQueryVersion(dpy, &major, &minor) == Success && (major > 2 || (major == 2 && minor >= 2));
}

bool trusted()
{
    return trusted(display());
}

void notePosted(unsigned int keycode, bool down)
{
    QMutexLocker lock(&gPostedLock);
    gPosted.push_back({keycode, down, Clock::monotonicMs()});
}

bool claimPosted(unsigned int keycode, bool down)
{
    QMutexLocker lock(&gPostedLock);
    const qint64 now = Clock::monotonicMs();
    while (!gPosted.empty() && now - gPosted.front().at > 1000)
        gPosted.pop_front();
    for (auto it = gPosted.begin(); it != gPosted.end(); ++it) {
        if (it->keycode == keycode && it->down == down) {
            gPosted.erase(gPosted.begin(), it + 1);
            return true;
        }
    }
    return false;
}

} // namespace X11

unsigned long X11::baseKeysym(unsigned int keycode)
{
    Display *dpy = display();
    if (!dpy || keycode < 8 || keycode > 255)
        return 0;
    return XkbKeycodeToKeysym(dpy, KeyCode(keycode), 0, 0);
}
