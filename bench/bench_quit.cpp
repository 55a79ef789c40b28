// Time from SIGTERM to the end of an idle program (pending saves written, keys
// released, audio stopped), on the private desktop: the user waits for this at
// logout and when quitting from the tray.
#include "support/TestEnv.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>

#include <algorithm>
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
    QList<double> idle;
    for (int run = 0; run < 7; ++run) {
        QFile::remove(journal);
        QProcess program;
        program.setProgram(QStringLiteral(OMBRY_BINARY));
        program.setProcessChannelMode(QProcess::ForwardedOutputChannel);
        program.setStandardErrorFile(QProcess::nullDevice());
        program.start();
        if (!program.waitForStarted() || !TestEnv::waitFor([&] { return started(journal); }, 10000)) {
            std::printf("arrêt: le programme n'a pas démarré\n");
            return 1;
        }
        // Idle: the warm-ups have settled.
        QTest::qWait(800);
        QElapsedTimer clock;
        clock.start();
        ::kill(pid_t(program.processId()), SIGTERM);
        program.waitForFinished(10000);
        idle << clock.nsecsElapsed() / 1e6;
    }
    std::sort(idle.begin(), idle.end());
    std::printf("arrêt au repos (SIGTERM → fin du processus), %lld essais : médiane %.0f ms, max %.0f ms "
                "(objectif ≤ 300 ms)\n",
                qint64(idle.size()), idle.at(idle.size() / 2), idle.last());
    return 0;
}
