#include "model/Records.h"
#include "model/Store.h"
#include "support/TestEnv.h"
#include "tools/test_editor_client.h"

#include <QApplication>
#include <QProcess>

#include <csignal>

using DesktopTools::readClipboard;

// Quitting the program right after it pasted, before its clipboard restore was
// due: the restore runs at quit, so the clipboard manager that takes over from
// the quitting program keeps the user's content, not the pasted text.
class TestQuitRestore : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void quitRightAfterAPasteGivesTheClipboardBack_data()
    {
        QTest::addColumn<int>("signal");
        QTest::newRow("SIGTERM") << int(SIGTERM);
        QTest::newRow("SIGINT") << int(SIGINT);
    }
    void quitRightAfterAPasteGivesTheClipboardBack()
    {
        QFETCH(int, signal);
        const QString pasted = QStringLiteral("La dernière dictée, collée à nouveau.");
        Dictation last;
        last.date = QDateTime::currentDateTimeUtc();
        last.finalText = pasted;
        last.rawText = pasted;
        Store::shared()->add(last);
        Store::shared()->flush();

        QProcess keeper;
        keeper.start(QStringLiteral(OMBRY_TEST_BIN_DIR "/clip_keeper"), {});
        QVERIFY(keeper.waitForStarted(3000));
        QVERIFY(TestEnv::waitFor([&] { return keeper.canReadLine() && keeper.readLine() == "ready\n"; }, 5000));

        QProcess app;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("OMBRY_TEST_ACCEPT_XTEST"), QStringLiteral("1")); // xdotool is the keyboard
        app.setProcessEnvironment(env);
        app.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        app.start(QStringLiteral(OMBRY_BINARY), {});
        QVERIFY(app.waitForStarted(5000));
        const QString log = Store::folder() + QStringLiteral("/journal.log");
        QVERIFY(TestEnv::waitFor([&] { return TestEnv::readFile(log).contains("mac: "); }, 15000));

        QVERIFY(DesktopTools::seedClipboard(QStringLiteral("à moi")));
        // Ctrl+Alt+V pastes the last dictation again (the key grab may take a moment).
        bool pasting = false;
        for (int attempt = 0; attempt < 10 && !pasting; ++attempt) {
            QVERIFY(DesktopTools::key(QStringLiteral("ctrl+alt+v")));
            pasting = TestEnv::waitFor([&] { return readClipboard().out == pasted.toUtf8(); }, 500);
        }
        QVERIFY(pasting);
        ::kill(pid_t(app.processId()), signal);
        QVERIFY(TestEnv::waitFor([&] { return app.state() == QProcess::NotRunning; }, 10000));
        QCOMPARE(app.exitCode(), 0);

        QVERIFY(TestEnv::waitFor([&] { return keeper.canReadLine(); }, 5000));
        QCOMPARE(QString::fromUtf8(keeper.readLine()), QStringLiteral("kept à moi\n"));
        QCOMPARE(QString::fromUtf8(readClipboard().out), QStringLiteral("à moi"));
        keeper.closeWriteChannel();
        QVERIFY(keeper.waitForFinished(3000));
    }
};

OMBRY_TEST_GUI_MAIN(TestQuitRestore)
#include "tst_quit_restore.moc"
