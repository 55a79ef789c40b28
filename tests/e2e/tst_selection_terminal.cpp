#include "app/Wiring.h"
#include "dictation/BubbleController.h"
#include "dictation/Paster.h"
#include "dictation/SelectionActions.h"
#include "model/AppSettings.h"
#include "support/FakeSelectionHost.h"
#include "support/ForeignSelection.h"
#include "support/TestEnv.h"
#include "tools/test_editor_cloud.h"

#include <QApplication>
#include <QProcess>

// Correcting a line selected in a real xterm while a job runs there and other
// text waits on the clipboard: the line is read from the terminal's PRIMARY,
// no Ctrl+C reaches the job, the result goes to the bubble, and the clipboard's
// text stays on this machine and on the clipboard.
class TestSelectionTerminal : public QObject
{
    Q_OBJECT

    EditorCloud cloud;

private Q_SLOTS:
    void initTestCase()
    {
        cloud.corrections.insert(QStringLiteral("Il a mange des pomme hier"), QStringLiteral("Il a mangé des pommes hier."));
        QVERIFY(cloud.start());
        TestEnv::settings()->setRewriteEngine(RewriteEngine::OpenRouter);
    }

    void correctsTheSelectedLineIntoTheBubble()
    {
        const QString secret = QStringLiteral("Mot de passe du wifi : hunter2");
        QVERIFY(ForeignSelection::seedClipboard(secret));
        QProcess terminal;
        terminal.start(QStringLiteral("xterm"), {QStringLiteral("-geometry"), QStringLiteral("60x5"), QStringLiteral("-e"),
                                                 QStringLiteral("sh"), QStringLiteral("-c"),
                                                 QStringLiteral("echo 'Il a mange des pomme hier'; sleep 30")});
        QVERIFY(terminal.waitForStarted(5000));
        const auto stop = qScopeGuard([&] {
            terminal.kill();
            terminal.waitForFinished(2000);
        });
        const auto xdotool = [](const QString &args) {
            return DesktopTools::run(QStringLiteral("xdotool"), args.split(u' '), {}, 2000);
        };
        QString window;
        QVERIFY(TestEnv::waitFor([&] {
            // The pid of the very window read: the active one may change in between.
            window = QString::fromUtf8(xdotool(QStringLiteral("getactivewindow")).out.trimmed());
            const DesktopTools::Result pid = xdotool(QStringLiteral("getwindowpid ") + window);
            return pid.exitCode == 0 && pid.out.trimmed().toLongLong() == terminal.processId();
        }, 10000));
        // A triple click selects the first line, which makes xterm own PRIMARY.
        QVERIFY(TestEnv::waitFor([&] {
            xdotool(QStringLiteral("mousemove --window %1 20 8 click --repeat 3 --delay 60 1").arg(window));
            return ForeignSelection::readPrimary().out.trimmed() == "Il a mange des pomme hier";
        }, 10000));

        PasteDesktop desktop = Wiring::pasteDesktop();
        QList<quint16> posted;
        desktop.post = [&posted, real = desktop.post](quint16 key, quint64 modifiers) {
            posted << key;
            return real(key, modifiers);
        };
        Paster paster(desktop);
        FakeSelectionHost host;
        host.pasterInUse = &paster;
        SelectionActions::correctSelection(&host, false, false);
        QVERIFY(TestEnv::waitFor([&] { return host.state == FakeSelectionHost::State::Idle; }, 10000));

        QCOMPARE(host.calls, QStringList{QStringLiteral("begin 0")});
        QVERIFY(posted.isEmpty());
        BubbleController *bubble = TestEnv::own<BubbleController>();
        QVERIFY(bubble->visible());
        // xterm's line selection ends with its newline.
        QCOMPARE(bubble->original().trimmed(), QStringLiteral("Il a mange des pomme hier"));
        // A fragment gets no stop, and keeps its newline.
        QCOMPARE(bubble->text(), QStringLiteral("Il a mangé des pommes hier\n"));
        // The job lives on: its shell, and so xterm, would have ended on an interrupt.
        QTest::qWait(300);
        QCOMPARE(terminal.state(), QProcess::Running);
        for (const RecordedRequest &r : cloud.http.requests())
            QVERIFY(!r.body.contains("hunter2"));
        QCOMPARE(DesktopTools::readClipboard().out, secret.toUtf8());
        bubble->close();
    }
};

OMBRY_TEST_ROOT_MAIN(TestSelectionTerminal)
#include "tst_selection_terminal.moc"
