// A minimal clipboard manager: when an application that owns the clipboard
// quits, it asks us (SAVE_TARGETS on CLIPBOARD_MANAGER) to keep the content;
// we copy its text and serve it from then on. Prints "ready" once it manages
// the clipboard, then "kept <text>" for each hand-over; ends with its input.
#include <X11/Xatom.h>
#include <X11/Xlib.h>

#include <cstdio>
#include <string>
#include <poll.h>
#include <unistd.h>

namespace {

Display *dpy;
Window window;
Atom clipboard, manager, saveTargets, targets, utf8, property;

void reply(const XSelectionRequestEvent &request, Atom prop)
{
    XEvent event{};
    event.xselection.type = SelectionNotify;
    event.xselection.requestor = request.requestor;
    event.xselection.selection = request.selection;
    event.xselection.target = request.target;
    event.xselection.property = prop;
    event.xselection.time = request.time;
    XSendEvent(dpy, request.requestor, False, 0, &event);
    XFlush(dpy);
}

// The hand-over under way: the quitting owner's request, answered once its
// text has come.
bool saving = false;
XSelectionRequestEvent pendingSave;

} // namespace

int main()
{
    dpy = XOpenDisplay(nullptr);
    if (!dpy)
        return 1;
    window = XCreateSimpleWindow(dpy, DefaultRootWindow(dpy), 0, 0, 1, 1, 0, 0, 0);
    clipboard = XInternAtom(dpy, "CLIPBOARD", False);
    manager = XInternAtom(dpy, "CLIPBOARD_MANAGER", False);
    saveTargets = XInternAtom(dpy, "SAVE_TARGETS", False);
    targets = XInternAtom(dpy, "TARGETS", False);
    utf8 = XInternAtom(dpy, "UTF8_STRING", False);
    property = XInternAtom(dpy, "CLIP_KEEPER", False);
    XSetSelectionOwner(dpy, manager, window, CurrentTime);
    XSync(dpy, False);
    if (XGetSelectionOwner(dpy, manager) != window)
        return 1;
    std::puts("ready");
    std::fflush(stdout);

    std::string kept;
    bool owning = false;
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
            if (event.type == SelectionClear && event.xselectionclear.selection == clipboard) {
                owning = false;
                continue;
            }
            if (event.type == SelectionNotify && saving && event.xselection.selection == clipboard) {
                saving = false;
                kept.clear();
                if (event.xselection.property != None) {
                    Atom type;
                    int format;
                    unsigned long items, after;
                    unsigned char *data = nullptr;
                    XGetWindowProperty(dpy, window, property, 0, 1 << 20, True, AnyPropertyType, &type, &format,
                                       &items, &after, &data);
                    if (data) {
                        kept.assign(reinterpret_cast<const char *>(data), items);
                        XFree(data);
                    }
                }
                XSetSelectionOwner(dpy, clipboard, window, CurrentTime);
                owning = XGetSelectionOwner(dpy, clipboard) == window;
                reply(pendingSave, pendingSave.property);
                std::printf("kept %s\n", kept.c_str());
                std::fflush(stdout);
                continue;
            }
            if (event.type != SelectionRequest)
                continue;
            const XSelectionRequestEvent request = event.xselectionrequest;
            if (request.selection == manager && request.target == saveTargets) {
                // Ask the owner for its text; the answer comes as an event below.
                saving = true;
                pendingSave = request;
                XDeleteProperty(dpy, window, property);
                XConvertSelection(dpy, clipboard, utf8, property, window, CurrentTime);
                XFlush(dpy);
            } else if (request.selection == clipboard && owning && request.target == targets) {
                const Atom offered[] = {targets, utf8};
                XChangeProperty(dpy, request.requestor, request.property, XA_ATOM, 32, PropModeReplace,
                                reinterpret_cast<const unsigned char *>(offered), 2);
                reply(request, request.property);
            } else if (request.selection == clipboard && owning && request.target == utf8) {
                XChangeProperty(dpy, request.requestor, request.property, utf8, 8, PropModeReplace,
                                reinterpret_cast<const unsigned char *>(kept.data()), int(kept.size()));
                reply(request, request.property);
            } else {
                reply(request, None);
            }
        }
    }
}
