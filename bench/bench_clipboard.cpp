// What snapshotting another application's clipboard costs the main thread, on
// the private desktop: a silent owner, an owner that lists its formats and then
// goes silent, and images of growing size (over the cap they are left out).
#include "platform/Clipboard.h"
#include "support/TestEnv.h"
#include "BenchTiming.h"

#include <QApplication>
#include <QProcess>
#include <QTemporaryDir>

#include <cstdio>

namespace {

using BenchTiming::medianMs;

bool ownerReady(QProcess &owner)
{
    return TestEnv::waitFor([&] { return owner.canReadLine() && owner.readLine() == "ready\n"; }, 5000);
}

} // namespace

int main(int argc, char *argv[])
{
    TestEnv::isolate();
    if (qEnvironmentVariableIsEmpty("DISPLAY")) {
        std::printf("presse-papiers: ignoré (pas de bureau privé)\n");
        return 0;
    }
    QApplication app(argc, argv);

    for (const char *mode : {"silent", "list"}) {
        QProcess owner;
        owner.start(QStringLiteral(OMBRY_TEST_BIN_DIR "/hung_owner"), {QString::fromLatin1(mode)});
        if (!owner.waitForStarted() || !ownerReady(owner)) {
            std::printf("presse-papiers: propriétaire figé non lancé\n");
            return 1;
        }
        const double ms = medianMs(3, [] { Clipboard::snapshot(); });
        std::printf("instantané, propriétaire figé (%s) : médiane %.0f ms (limite %d ms par réponse, %d ms en tout)\n",
                    mode, ms, Clipboard::kSnapshotSilenceMs, Clipboard::kSnapshotBudgetMs);
        owner.closeWriteChannel();
        owner.waitForFinished(3000);
    }

    QTemporaryDir dir;
    for (const int megabytes : {1, 4, 8, 20}) {
        const QString file = dir.filePath(QStringLiteral("image.png"));
        TestEnv::writeFile(file, QByteArray(megabytes * 1024 * 1024, '\x5a'));
        QProcess xclip;
        xclip.start(QStringLiteral("xclip"), {QStringLiteral("-selection"), QStringLiteral("clipboard"), QStringLiteral("-t"),
                                              QStringLiteral("image/png"), QStringLiteral("-i"), QStringLiteral("-loops"),
                                              QStringLiteral("0"), file});
        xclip.waitForFinished(3000); // it serves from the background
        TestEnv::waitFor([] { return !Clipboard::ownedHere(); }, 3000);
        QTest::qWait(200);
        qsizetype kept = 0;
        const double ms = medianMs(3, [&] { kept = Clipboard::snapshot().data(QStringLiteral("image/png")).size(); });
        std::printf("instantané, image de %d Mo : médiane %.0f ms, %s\n", megabytes, ms,
                    kept ? "gardée" : "non gardée (au-delà de la limite)");
        Clipboard::setText(QStringLiteral("fin"));
        QTest::qWait(100);
    }
    return 0;
}
