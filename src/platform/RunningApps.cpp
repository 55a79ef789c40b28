#include "platform/RunningApps.h"

#include "platform/X11Display.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>

namespace RunningApps {

QList<RunningApp> windows()
{
    QList<RunningApp> apps;
    Display *dpy = X11::display();
    if (!dpy)
        return apps;
    const Atom clientList = XInternAtom(dpy, "_NET_CLIENT_LIST", False);
    Atom type = None;
    int format = 0;
    unsigned long count = 0;
    unsigned long after = 0;
    unsigned char *data = nullptr;
    X11::takeLastError();
    if (XGetWindowProperty(dpy, DefaultRootWindow(dpy), clientList, 0, 4096, False, XA_WINDOW, &type, &format,
                           &count, &after, &data) != Success
        || !data) {
        X11::takeLastError();
        return apps;
    }
    QList<unsigned long> ids;
    if (type == XA_WINDOW && format == 32) {
        const auto *windows = reinterpret_cast<const unsigned long *>(data);
        for (unsigned long i = 0; i < count; ++i)
            ids.append(windows[i]);
    }
    XFree(data);
    for (unsigned long window : ids) {
        if (auto app = FrontmostApp::forWindow(window))
            apps.append(*app);
    }
    X11::takeLastError();
    return apps;
}

} // namespace RunningApps
