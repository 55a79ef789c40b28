// Another program holding a key combination, as a desktop's own shortcuts do:
//   key_holder j control shift
// grabs the key of that symbol with exactly those modifiers on the root window,
// prints "ready" once the server has given the grab, and keeps it until its
// standard input closes.
#include <X11/Xlib.h>

#include <cstdio>
#include <cstring>

namespace {

bool failed = false;

int onError(Display *, XErrorEvent *)
{
    failed = true;
    return 0;
}

} // namespace

int main(int argc, char *argv[])
{
    if (argc < 2) {
        std::fprintf(stderr, "key_holder: key_holder <key symbol> [control] [shift] [alt] [super]\n");
        return 2;
    }
    Display *dpy = XOpenDisplay(nullptr);
    if (!dpy) {
        std::fprintf(stderr, "key_holder: no X display\n");
        return 1;
    }
    const KeySym sym = XStringToKeysym(argv[1]);
    const KeyCode code = sym == NoSymbol ? 0 : XKeysymToKeycode(dpy, sym);
    if (!code) {
        std::fprintf(stderr, "key_holder: unknown key %s\n", argv[1]);
        return 2;
    }
    unsigned int mods = 0;
    for (int i = 2; i < argc; ++i) {
        if (!std::strcmp(argv[i], "control"))
            mods |= ControlMask;
        else if (!std::strcmp(argv[i], "shift"))
            mods |= ShiftMask;
        else if (!std::strcmp(argv[i], "alt"))
            mods |= Mod1Mask;
        else if (!std::strcmp(argv[i], "super"))
            mods |= Mod4Mask;
    }
    XSetErrorHandler(onError);
    XGrabKey(dpy, code, mods, DefaultRootWindow(dpy), False, GrabModeAsync, GrabModeAsync);
    XSync(dpy, False);
    if (failed) {
        std::fprintf(stderr, "key_holder: the combination is already held\n");
        return 3;
    }
    std::printf("ready\n");
    std::fflush(stdout);
    char line[64];
    while (std::fgets(line, sizeof line, stdin)) {
    }
    XCloseDisplay(dpy);
    return 0;
}
