// Owns the CLIPBOARD selection with a text and an image, and is as busy as a
// browser encoding a large picture: asked for the image, it answers nothing
// to anyone for <delay-ms>, then sends it.
// Usage: slow_owner <delay-ms> <text> <image-file>
// Prints "ready" once it owns the selection; ends with its standard input.
#include <X11/Xatom.h>
#include <X11/Xlib.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <poll.h>
#include <unistd.h>

namespace {

// A reader that gave up meanwhile has destroyed its window: not our end.
int ignoreErrors(Display *, XErrorEvent *)
{
    return 0;
}

void reply(Display *dpy, const XSelectionRequestEvent &request, Atom property)
{
    XEvent event{};
    event.xselection.type = SelectionNotify;
    event.xselection.requestor = request.requestor;
    event.xselection.selection = request.selection;
    event.xselection.target = request.target;
    event.xselection.property = property;
    event.xselection.time = request.time;
    XSendEvent(dpy, request.requestor, False, 0, &event);
    XFlush(dpy);
}

} // namespace

int main(int argc, char *argv[])
{
    if (argc < 4)
        return 2;
    const int delayMs = std::atoi(argv[1]);
    const std::string text = argv[2];
    std::ifstream file(argv[3], std::ios::binary);
    const std::string image((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    Display *dpy = XOpenDisplay(nullptr);
    if (!dpy || image.empty())
        return 1;
    XSetErrorHandler(ignoreErrors);
    const Window window = XCreateSimpleWindow(dpy, DefaultRootWindow(dpy), 0, 0, 1, 1, 0, 0, 0);
    const Atom clipboard = XInternAtom(dpy, "CLIPBOARD", False);
    const Atom targets = XInternAtom(dpy, "TARGETS", False);
    const Atom utf8 = XInternAtom(dpy, "UTF8_STRING", False);
    const Atom png = XInternAtom(dpy, "image/png", False);
    XSetSelectionOwner(dpy, clipboard, window, CurrentTime);
    XSync(dpy, False);
    if (XGetSelectionOwner(dpy, clipboard) != window)
        return 1;
    std::puts("ready");
    std::fflush(stdout);

    for (;;) {
        pollfd fds[2] = {{STDIN_FILENO, POLLIN, 0}, {ConnectionNumber(dpy), POLLIN, 0}};
        if (!XPending(dpy))
            ::poll(fds, 2, -1);
        if (fds[0].revents) {
            char byte;
            if (::read(STDIN_FILENO, &byte, 1) <= 0)
                return 0;
        }
        while (XPending(dpy)) {
            XEvent event;
            XNextEvent(dpy, &event);
            if (event.type != SelectionRequest)
                continue;
            const XSelectionRequestEvent &request = event.xselectionrequest;
            if (request.target == targets) {
                const Atom offered[] = {targets, utf8, png};
                XChangeProperty(dpy, request.requestor, request.property, XA_ATOM, 32, PropModeReplace,
                                reinterpret_cast<const unsigned char *>(offered), 3);
                reply(dpy, request, request.property);
            } else if (request.target == utf8) {
                XChangeProperty(dpy, request.requestor, request.property, utf8, 8, PropModeReplace,
                                reinterpret_cast<const unsigned char *>(text.data()), int(text.size()));
                reply(dpy, request, request.property);
            } else if (request.target == png) {
                ::usleep(useconds_t(delayMs) * 1000);
                XChangeProperty(dpy, request.requestor, request.property, png, 8, PropModeReplace,
                                reinterpret_cast<const unsigned char *>(image.data()), int(image.size()));
                reply(dpy, request, request.property);
            } else {
                reply(dpy, request, None);
            }
        }
    }
}
