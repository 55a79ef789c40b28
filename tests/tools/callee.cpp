// A stand-in for a call application: one X window of its own (WM_CLASS
// "ombry-callee"/"OmbryCallee", _NET_WM_PID), whose sound is played by child
// paplay processes named after it, as browsers and Electron apps play from
// child processes. It waits for "go" on standard input, plays each WAV given
// with GAP seconds of silence between them, and exits right after the last.
//
// usage: callee GAP FILE.wav…
#include <QCoreApplication>
#include <QProcess>
#include <QTextStream>
#include <QThread>

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <cstdio>
#include <unistd.h>

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() < 3) {
        std::fprintf(stderr, "usage: callee GAP FILE.wav…\n");
        return 2;
    }
    Display *dpy = XOpenDisplay(nullptr);
    if (!dpy)
        return 1;
    const Window window = XCreateSimpleWindow(dpy, DefaultRootWindow(dpy), 40, 40, 480, 320, 0, 0, 0x336699);
    XClassHint hint;
    char instance[] = "ombry-callee";
    char klass[] = "OmbryCallee";
    hint.res_name = instance;
    hint.res_class = klass;
    XSetClassHint(dpy, window, &hint);
    XStoreName(dpy, window, "Appel en cours");
    const long pid = long(::getpid());
    XChangeProperty(dpy, window, XInternAtom(dpy, "_NET_WM_PID", False), XA_CARDINAL, 32, PropModeReplace,
                    reinterpret_cast<const unsigned char *>(&pid), 1);
    XMapWindow(dpy, window);
    XSync(dpy, False);
    std::printf("ready\n");
    std::fflush(stdout);

    QTextStream in(stdin);
    while (in.readLine().trimmed() != QStringLiteral("go")) {
        if (in.atEnd())
            return 1;
    }
    const double gap = args.at(1).toDouble();
    for (int i = 2; i < args.size(); ++i) {
        if (i > 2)
            QThread::msleep(static_cast<unsigned long>(gap * 1000));
        QProcess player;
        // A call application asks for a short latency, as voice applications do.
        player.start(QStringLiteral("paplay"),
                     {QStringLiteral("--client-name=OmbryCallee"), QStringLiteral("--latency-msec=40"), args.at(i)});
        player.waitForFinished(60000);
        std::printf("played %d\n", i - 1);
        std::fflush(stdout);
    }
    XCloseDisplay(dpy);
    return 0;
}
