#include "support/TestEnv.h"
#include "tools/gtk_apps.h"

#include <QElapsedTimer>
#include <QProcess>

#include <csignal>

// The program started again and again on a desktop where GTK applications are
// open: it reads their accessibility trees at start-up and must neither freeze
// nor stop answering a termination signal.
class TestStartupGtk : public QObject
{
    Q_OBJECT

    DesktopTools::GtkDesktop desktop;

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY(desktop.start());
    }

    void startsAndQuits_data()
    {
        QTest::addColumn<QString>("active");
        QTest::addColumn<int>("signal");
        for (int run = 1; run <= 20; ++run) {
            const QString active = run % 4 == 0 ? QStringLiteral("terminal") : QStringLiteral("editor");
            const int signal = run % 5 == 0 ? SIGINT : SIGTERM;
            QTest::addRow("start %d, %s active", run, qPrintable(active)) << active << signal;
        }
    }

    void startsAndQuits()
    {
        QFETCH(QString, active);
        QFETCH(int, signal);
        DesktopTools::GtkApp &app = active == QStringLiteral("terminal") ? desktop.terminal : desktop.editor;
        QVERIFY(app.activate());

        ScopedHome home;
        const QString journal = home.path() + QStringLiteral("/.local/share/Ombry Voice/journal.log");
        QProcess program;
        program.setProcessEnvironment(QProcessEnvironment::systemEnvironment());
        program.setStandardOutputFile(QProcess::nullDevice());
        program.setStandardErrorFile(QProcess::nullDevice());
        program.start(QStringLiteral(OMBRY_BINARY), {});
        QVERIFY(program.waitForStarted(5000));
        // Up, and the desktop's applications walked once in the background.
        QVERIFY2(TestEnv::waitFor([&] { return TestEnv::readFile(journal).contains("accessibilité: bureau parcouru"); }, 15000),
                 TestEnv::readFile(journal).constData());
        QVERIFY(TestEnv::readFile(journal).contains("ordinateur: "));
        // The applications' first answers and change signals arrive in this time.
        QTest::qWait(400);
        QCOMPARE(program.state(), QProcess::Running);

        QElapsedTimer clock;
        clock.start();
        ::kill(pid_t(program.processId()), signal);
        // A generous bound: a frozen main thread never ends (bench_quit times it).
        const bool ended = TestEnv::waitFor([&] { return program.state() == QProcess::NotRunning; }, 5000);
        if (!ended) {
            program.kill();
            program.waitForFinished(2000);
        }
        QVERIFY2(ended, qPrintable(QStringLiteral("still running %1 ms after the signal; journal:\n%2")
                                       .arg(clock.elapsed())
                                       .arg(QString::fromUtf8(TestEnv::readFile(journal)))));
        QCOMPARE(program.exitStatus(), QProcess::NormalExit);
        QCOMPARE(program.exitCode(), 0);
    }
};

OMBRY_TEST_GUI_MAIN(TestStartupGtk)
#include "tst_startup_gtk.moc"
