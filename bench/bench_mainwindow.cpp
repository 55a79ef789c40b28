// Opening the main window: from process start to its first frame, memory with
// the window open and once closed (its views dropped), growth over repeated
// open/close cycles, and the time of "--snapshot" for the seven pages.
#include "support/TestEnv.h"

#include "app/Application.h"
#include "shell/MainWindow.h"
#include "app/Startup.h"
#include "model/Defaults.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QQuickItem>
#include <QQuickWindow>

#include <cstdio>
#include <unistd.h>

namespace {

// Milliseconds since this process started, from the kernel's own record.
double sinceProcessStart()
{
    QFile stat(QStringLiteral("/proc/self/stat"));
    QFile uptime(QStringLiteral("/proc/uptime"));
    if (!stat.open(QIODevice::ReadOnly) || !uptime.open(QIODevice::ReadOnly))
        return -1;
    const QByteArray line = stat.readAll();
    // Fields after the command name, which may hold blanks, closed by ')'.
    const QList<QByteArray> fields = line.mid(line.lastIndexOf(')') + 2).split(' ');
    const double startTicks = fields.value(19).toDouble();
    const double now = uptime.readAll().split(' ').value(0).toDouble();
    return (now - startTicks / double(::sysconf(_SC_CLK_TCK))) * 1000.0;
}

double rssMB(qint64 pid = 0)
{
    QFile status(pid ? QStringLiteral("/proc/%1/status").arg(pid) : QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : status.readAll().split('\n'))
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').value(0).toDouble() / 1024.0;
    return -1;
}

bool waitFrame(QQuickWindow *window)
{
    bool swapped = false;
    const auto connection = QObject::connect(window, &QQuickWindow::frameSwapped, window, [&] { swapped = true; },
                                             Qt::DirectConnection);
    const bool ok = TestEnv::waitFor([&] { return swapped; }, 10000);
    QObject::disconnect(connection);
    return ok;
}

void cycle(MainWindow *main)
{
    main->show();
    waitFrame(main->window());
    main->window()->close();
    TestEnv::waitFor([&] { return !main->content(); }, 2000);
    QTest::qWait(20);
}

} // namespace

int main(int argc, char *argv[])
{
    TestEnv::isolate();
    Defaults::standard().set(QStringLiteral("onboarded"), true);
    QApplication app(argc, argv);
    app.setQuitOnLastWindowClosed(false);
    if (qEnvironmentVariableIsEmpty("DISPLAY")) {
        std::printf("fenêtre: ignoré (pas de bureau privé)\n");
        return 0;
    }
    Application root;
    // The whole start-up, as a launch without switch does it, ends by showing the window.
    bool swapped = false;
    double firstFrame = -1;
    QTimer::singleShot(0, &app, [&] {
        Startup::finishLaunching({QStringLiteral("ombry-voice")});
        QObject::connect(root.mainWindow()->window(), &QQuickWindow::frameSwapped, &app, [&] {
            if (!swapped)
                firstFrame = sinceProcessStart();
            swapped = true;
        }, Qt::DirectConnection);
    });
    if (!TestEnv::waitFor([&] { return swapped; }, 15000)) {
        std::printf("fenêtre: aucune image rendue\n");
        return 1;
    }
    std::printf("fenêtre: démarrage → première image %.0f ms (objectif < 700 ms)\n", firstFrame);

    // Memory of the program itself, as a user runs it: the window open, then closed.
    {
        QProcess program;
        program.setStandardOutputFile(QProcess::nullDevice());
        program.setStandardErrorFile(QProcess::nullDevice());
        program.start(QStringLiteral(OMBRY_BINARY), {});
        const auto window = [] {
            QProcess search;
            search.start(QStringLiteral("xdotool"), {QStringLiteral("search"), QStringLiteral("--onlyvisible"),
                                                     QStringLiteral("--name"), QStringLiteral("^Ombry Voice$")});
            search.waitForFinished(3000);
            return QString::fromUtf8(search.readAllStandardOutput()).trimmed().section(QLatin1Char('\n'), 0, 0);
        };
        QString id;
        if (!program.waitForStarted() || !TestEnv::waitFor([&] { return !(id = window()).isEmpty(); }, 15000)) {
            std::printf("fenêtre: le programme n'a pas montré sa fenêtre\n");
            return 1;
        }
        QTest::qWait(1500);
        const double open = rssMB(program.processId());
        QProcess::execute(QStringLiteral("xdotool"), {QStringLiteral("windowactivate"), QStringLiteral("--sync"), id,
                                                     QStringLiteral("key"), QStringLiteral("--clearmodifiers"),
                                                     QStringLiteral("alt+F4")});
        TestEnv::waitFor([&] { return window().isEmpty(); }, 5000);
        QTest::qWait(1500);
        const double closed = rssMB(program.processId());
        std::printf("fenêtre: mémoire du programme, fenêtre ouverte %.0f Mo, fermée %.0f Mo (objectif fermée ≤ 150 Mo)\n",
                    open, closed);
        program.terminate();
        program.waitForFinished(10000);
    }

    MainWindow *main = root.mainWindow();
    // The first cycles fill caches once; growth is measured after them.
    for (int i = 0; i < 3; ++i)
        cycle(main);
    const double before = rssMB();
    QElapsedTimer reopen;
    reopen.start();
    for (int i = 0; i < 20; ++i)
        cycle(main);
    const double perCycle = reopen.nsecsElapsed() / 1e6 / 20;
    const double after = rssMB();
    std::printf("fenêtre: 20 ouvertures/fermetures : %+.1f Mo (objectif < 5 Mo), %.0f ms par cycle\n",
                after - before, perCycle);

    // The snapshot switch, as a user runs it.
    const QString folder = TestEnv::home() + QStringLiteral("/snapshots");
    QList<double> runs;
    for (int i = 0; i < 3; ++i) {
        QDir(folder).removeRecursively();
        QProcess process;
        QElapsedTimer clock;
        clock.start();
        process.start(QStringLiteral(OMBRY_BINARY), {QStringLiteral("--snapshot"), folder});
        if (!process.waitForFinished(30000)) {
            std::printf("--snapshot: pas terminé en 30 s\n");
            return 1;
        }
        runs << clock.nsecsElapsed() / 1e6;
    }
    std::sort(runs.begin(), runs.end());
    std::printf("--snapshot des sept pages : médiane %.0f ms, max %.0f ms, %lld fichiers (objectif < 5 s)\n",
                runs.at(1), runs.last(), qint64(QDir(folder).entryList(QDir::Files).size()));
    root.shutdown();
    return 0;
}
