// Posts exact keys through XTEST, standing for the user's keyboard in tests.
//   xkeys +Control_R @1000 -Control_R   press, wait 1 s, release
//   xkeys Escape                        press and release
// Each key is named by its X key symbol and sent by the key code that carries
// it (xdotool would pick another key for some symbols, such as Alt_R).
#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>
#include <thread>

int main(int argc, char *argv[])
{
    Display *dpy = XOpenDisplay(nullptr);
    if (!dpy) {
        std::fprintf(stderr, "xkeys: no X display\n");
        return 1;
    }
    for (int i = 1; i < argc; ++i) {
        std::string token = argv[i];
        if (token.empty())
            continue;
        if (token[0] == '@') {
            XSync(dpy, False);
            std::this_thread::sleep_for(std::chrono::milliseconds(std::stoi(token.substr(1))));
            continue;
        }
        int mode = 0; // 0 tap, 1 press, 2 release
        if (token[0] == '+' || token[0] == '-') {
            mode = token[0] == '+' ? 1 : 2;
            token = token.substr(1);
        }
        const KeySym sym = XStringToKeysym(token.c_str());
        const KeyCode code = sym == NoSymbol ? 0 : XKeysymToKeycode(dpy, sym);
        if (!code) {
            std::fprintf(stderr, "xkeys: unknown key %s\n", token.c_str());
            return 2;
        }
        if (mode != 2)
            XTestFakeKeyEvent(dpy, code, True, CurrentTime);
        if (mode != 1)
            XTestFakeKeyEvent(dpy, code, False, CurrentTime);
        XSync(dpy, False);
    }
    XSync(dpy, False);
    XCloseDisplay(dpy);
    return 0;
}
