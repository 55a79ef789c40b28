// Owns the CLIPBOARD selection and never hands its content over: a hung
// application as the clipboard sees it.
// Usage: hung_owner silent     (never answers anything)
//        hung_owner list       (answers TARGETS, never the data)
// Prints "ready" once it owns the selection; ends with its standard input.
#include <X11/Xatom.h>
#include <X11/Xlib.h>

#include <cstdio>
#include <cstring>
#include <poll.h>
#include <unistd.h>

int main(int argc, char *argv[])
{
    const bool list = argc > 1 && std::strcmp(argv[1], "list") == 0;
    Display *dpy = XOpenDisplay(nullptr);
    if (!dpy)
        return 1;
    const Window window = XCreateSimpleWindow(dpy, DefaultRootWindow(dpy), 0, 0, 1, 1, 0, 0, 0);
    const Atom clipboard = XInternAtom(dpy, "CLIPBOARD", False);
    XSetSelectionOwner(dpy, clipboard, window, CurrentTime);
    XSync(dpy, False);
    if (XGetSelectionOwner(dpy, clipboard) != window)
        return 1;
    std::puts("ready");
    std::fflush(stdout);

    const Atom targets = XInternAtom(dpy, "TARGETS", False);
    for (;;) {
        pollfd fds[2] = {{STDIN_FILENO, POLLIN, 0}, {ConnectionNumber(dpy), POLLIN, 0}};
        ::poll(fds, list ? 2 : 1, -1);
        if (fds[0].revents) {
            char byte;
            if (::read(STDIN_FILENO, &byte, 1) <= 0)
                return 0;
        }
        while (list && XPending(dpy)) {
            XEvent event;
            XNextEvent(dpy, &event);
            if (event.type != SelectionRequest || event.xselectionrequest.target != targets)
                continue; // data requests are left hanging
            const XSelectionRequestEvent &request = event.xselectionrequest;
            const Atom offered[] = {targets, XInternAtom(dpy, "UTF8_STRING", False), XInternAtom(dpy, "image/png", False)};
            XChangeProperty(dpy, request.requestor, request.property, XA_ATOM, 32, PropModeReplace,
                            reinterpret_cast<const unsigned char *>(offered), 3);
            XEvent reply{};
            reply.xselection.type = SelectionNotify;
            reply.xselection.requestor = request.requestor;
            reply.xselection.selection = request.selection;
            reply.xselection.target = request.target;
            reply.xselection.property = request.property;
            reply.xselection.time = request.time;
            XSendEvent(dpy, request.requestor, False, 0, &reply);
            XFlush(dpy);
        }
    }
}
