#include "platform/Accessibility.h"
#include "platform/FrontmostApp.h"
#include "support/TestEnv.h"
#include "support/WaylandWindows.h"

#include <QApplication>
#include <QDir>
#include <QProcessEnvironment>

using namespace Qt::StringLiterals;

// The application in front of a Wayland desktop, from the compositor's list of
// windows: a native window named by its desktop entry, an Xwayland one by X11,
// and activated again after another one took the focus.
class TestWaylandFront : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase()
    {
        if (!WaylandWindows::session())
            QSKIP("needs the Wayland desktop (scripts/session --wayland)");
        keyboard_ = std::make_unique<WaylandWindows::SeatKeyboard>();
        QVERIFY(keyboard_->ok());
        const QString applications = TestEnv::home() + u"/.local/share/applications"_s;
        QVERIFY(QDir().mkpath(applications));
        QVERIFY(TestEnv::writeFile(applications + u"/org.gnome.gedit.desktop"_s,
                                   "[Desktop Entry]\nType=Application\nName=Text Editor\nName[fr]=Éditeur de texte\n"
                                   "Icon=org.gnome.gedit\nExec=gedit %U\n"));
        QVERIFY(TestEnv::writeFile(applications + u"/xterm.desktop"_s,
                                   "[Desktop Entry]\nType=Application\nName=XTerm\nIcon=xterm-color\nExec=xterm\n"));
        FrontmostApp::reloadDesktopIndex();
    }
    void cleanupTestCase() { keyboard_.reset(); }

    void namesTheWindowInFront_data()
    {
        QTest::addColumn<QString>("program");
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QString>("bundleId");
        QTest::addColumn<QString>("name");
        QTest::addColumn<bool>("x11");
        QTest::newRow("gedit sous Wayland") << u"env"_s << QStringList{u"GDK_BACKEND=wayland"_s, u"gedit"_s}
                                            << u"org.gnome.gedit"_s << u"Éditeur de texte"_s << false;
        QTest::newRow("xterm par Xwayland") << u"xterm"_s << QStringList{} << u"xterm"_s << u"XTerm"_s << true;
        QTest::newRow("sans entrée de bureau")
            << QStringLiteral(OMBRY_TEST_BIN_DIR "/wayland_client") << QStringList{u"org.ombry.inconnu"_s, u"show"_s}
            << u"org.ombry.inconnu"_s << u"org.ombry.inconnu"_s << false;
    }
    void namesTheWindowInFront()
    {
        QFETCH(QString, program);
        QFETCH(QStringList, arguments);
        QFETCH(QString, bundleId);
        QFETCH(QString, name);
        QFETCH(bool, x11);
        const WaylandWindows::Window window = WaylandWindows::start(program, arguments);
        std::optional<RunningApp> front;
        TestEnv::waitFor([&] { return (front = FrontmostApp::current()) && front->bundleId == bundleId; }, 10000);
        QVERIFY(front);
        QCOMPARE(front->bundleId, std::optional<QString>(bundleId));
        QCOMPARE(front->name, name);
        QVERIFY(front->toplevel != 0);
        QCOMPARE(front->window != 0, x11);
        if (x11)
            QVERIFY(front->pid > 0);
    }

    void activatesAgain()
    {
        const WaylandWindows::Window first = WaylandWindows::show(u"org.ombry.premier"_s);
        std::optional<RunningApp> target;
        QVERIFY(TestEnv::waitFor([&] { return (target = FrontmostApp::current()) && target->name == u"org.ombry.premier"_s; }));
        const WaylandWindows::Window second = WaylandWindows::show(u"org.ombry.second"_s);
        QVERIFY(TestEnv::waitFor([&] { return FrontmostApp::current()->name == u"org.ombry.second"_s; }));
        QVERIFY(FrontmostApp::activate(*target));
        QVERIFY(TestEnv::waitFor([&] { return FrontmostApp::current()->name == u"org.ombry.premier"_s; }));
    }

    // Where the compositor lists no windows, the accessibility bus tells which
    // application is active, and its process names the desktop entry.
    void followsTheAccessibleWindow_data()
    {
        QTest::addColumn<bool>("otherInFront");
        QTest::newRow("gedit in front") << false;
        QTest::newRow("a window without accessibility in front since") << true;
    }
    void followsTheAccessibleWindow()
    {
        QFETCH(bool, otherInFront);
        Accessibility::followActiveWindow();
        const WaylandWindows::Window gedit =
            WaylandWindows::start(u"env"_s, {u"GDK_BACKEND=wayland"_s, u"gedit"_s, u"--new-window"_s});
        const qint64 pid = gedit->processId();
        const auto geditActive = [pid] {
            const std::optional<Accessibility::ActiveApplication> app = Accessibility::activeApplication();
            return app && app->pid == pid;
        };
        QVERIFY(TestEnv::waitFor(geditActive, 10000));
        const RunningApp app = FrontmostApp::forProcess(pid, Accessibility::activeApplication()->name);
        QCOMPARE(app.bundleId, std::optional<QString>(u"org.gnome.gedit"_s));
        QCOMPARE(app.name, u"Éditeur de texte"_s);
        QCOMPARE(app.wmInstance, u"gedit"_s);
        if (!otherInFront)
            return;
        const WaylandWindows::Window other = WaylandWindows::show(u"org.ombry.autre"_s);
        QVERIFY(TestEnv::waitFor([&] { return !geditActive(); }, 5000));
        QCOMPARE(Accessibility::activeApplication().has_value(), false);
    }

private:
    std::unique_ptr<WaylandWindows::SeatKeyboard> keyboard_;
};

OMBRY_TEST_GUI_MAIN(TestWaylandFront)
#include "tst_wayland_front.moc"
