// Time from SIGTERM to the end of an idle program (pending saves written, keys
// released, audio stopped), on the private desktop: the user waits for this at
// logout and when quitting from the tray. Also with GTK applications open, whose
// accessibility trees the program reads at start-up.
#include "support/TestEnv.h"
#include "tools/gtk_apps.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>

#include <algorithm>
#include <optional>
#include <cstdio>

#include <csignal>

namespace {

bool started(const QString &journal)
{
    QFile file(journal);
    return file.open(QIODevice::ReadOnly) && file.readAll().contains("mac: ");
}

} // namespace

int main(int argc, char *argv[])
{
    TestEnv::isolate();
    QCoreApplication app(argc, argv);
    if (qEnvironmentVariableIsEmpty("DISPLAY")) {
        std::printf("arrêt: ignoré (pas de bureau privé)\n");
        return 0;
    }
    const QString journal = TestEnv::home() + QStringLiteral("/.local/share/Ombry Voice/journal.log");
    // SIGTERM → end of the process, in ms, over `runs` starts; none when one did not start.
    const auto measure = [&](int runs) -> std::optional<QList<double>> {
        QList<double> times;
        for (int run = 0; run < runs; ++run) {
            QFile::remove(journal);
            QProcess program;
            program.setProgram(QStringLiteral(OMBRY_BINARY));
            program.setProcessChannelMode(QProcess::ForwardedOutputChannel);
            program.setStandardErrorFile(QProcess::nullDevice());
            program.start();
            if (!program.waitForStarted() || !TestEnv::waitFor([&] { return started(journal); }, 10000))
                return std::nullopt;
            // Idle: the warm-ups have settled.
            QTest::qWait(800);
            QElapsedTimer clock;
            clock.start();
            ::kill(pid_t(program.processId()), SIGTERM);
            if (!program.waitForFinished(10000)) {
                program.kill();
                program.waitForFinished(2000);
            }
            times << clock.nsecsElapsed() / 1e6;
        }
        std::sort(times.begin(), times.end());
        return times;
    };
    const std::optional<QList<double>> idle = measure(7);
    if (!idle) {
        std::printf("arrêt: le programme n'a pas démarré\n");
        return 1;
    }
    std::printf("arrêt au repos (SIGTERM → fin du processus), %lld essais : médiane %.0f ms, max %.0f ms "
                "(objectif ≤ 300 ms)\n",
                qint64(idle->size()), idle->at(idle->size() / 2), idle->last());

    DesktopTools::GtkDesktop desktop;
    if (!desktop.start()) {
        std::printf("arrêt avec applications GTK: ignoré (mousepad ou lxterminal absent)\n");
        return 0;
    }
    const std::optional<QList<double>> gtk = measure(10);
    if (!gtk) {
        std::printf("arrêt avec applications GTK: le programme n'a pas démarré\n");
        return 1;
    }
    std::printf("arrêt avec un éditeur et un terminal GTK ouverts, %lld essais : médiane %.0f ms, max %.0f ms "
                "(objectif ≤ 1000 ms)\n",
                qint64(gtk->size()), gtk->at(gtk->size() / 2), gtk->last());
    return 0;
}
