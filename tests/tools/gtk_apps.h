#pragma once
// GTK applications on the private desktop, as a user has them open. Each one
// registers on the accessibility bus and offers a direct connection of its own,
// which is what a program reading the desktop through AT-SPI meets first.

#include "tools/test_editor_client.h"

#include <QProcess>

#include <csignal>

namespace DesktopTools {

class GtkApp
{
public:
    // Starts `program` (one process of its own, not a remote call to a running
    // one) and waits until its window is the active one.
    bool start(const QString &program, const QStringList &args)
    {
        process_.setProgram(program);
        process_.setArguments(args);
        process_.setStandardOutputFile(QProcess::nullDevice());
        process_.setStandardErrorFile(QProcess::nullDevice());
        process_.start();
        return process_.waitForStarted(5000) && waitActive();
    }

    bool activate()
    {
        const Result found = run(QStringLiteral("xdotool"), {QStringLiteral("search"), QStringLiteral("--onlyvisible"),
                                                             QStringLiteral("--pid"), QString::number(pid())});
        const QByteArray window = found.out.split('\n').value(0).trimmed();
        if (found.exitCode != 0 || window.isEmpty())
            return false;
        run(QStringLiteral("xdotool"), {QStringLiteral("windowactivate"), QString::fromLatin1(window)});
        return waitActive();
    }

    qint64 pid() const { return process_.processId(); }

    // Stops answering anyone, the accessibility bus included, until resume().
    bool freeze() { return ::kill(pid_t(pid()), SIGSTOP) == 0; }
    bool resume() { return ::kill(pid_t(pid()), SIGCONT) == 0; }

    ~GtkApp()
    {
        if (process_.state() == QProcess::NotRunning)
            return;
        resume();
        process_.terminate();
        if (!process_.waitForFinished(2000)) {
            process_.kill();
            process_.waitForFinished(1000);
        }
    }

private:
    bool waitActive()
    {
        return TestEnv::waitFor([&] {
            const Result r = run(QStringLiteral("xdotool"), {QStringLiteral("getactivewindow"), QStringLiteral("getwindowpid")}, {}, 2000);
            return r.exitCode == 0 && r.out.trimmed().toLongLong() == pid();
        }, 15000);
    }

    QProcess process_;
};

// A GTK terminal and a GTK editor open, the editor active: the desktop on which
// the program used to freeze at start-up.
struct GtkDesktop
{
    GtkApp terminal;
    GtkApp editor;

    bool start()
    {
        return terminal.start(QStringLiteral("lxterminal"), {QStringLiteral("--no-remote")})
               && editor.start(QStringLiteral("mousepad"), {QStringLiteral("--disable-server")});
    }
};

} // namespace DesktopTools
