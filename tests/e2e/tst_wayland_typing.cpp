#include "app/Wiring.h"
#include "dictation/Paster.h"
#include "dictation/ProcessingRoad.h"
#include "platform/FrontmostApp.h"
#include "platform/KeyPoster.h"
#include "platform/SessionRoutes.h"
#include "platform/WaylandToplevels.h"
#include "support/AtspiReader.h"
#include "support/TestEnv.h"
#include "support/WaylandWindows.h"

#include <QApplication>
#include <QTemporaryDir>

using namespace Qt::StringLiterals;

// A dictation pasted into native Wayland windows through the compositor's
// virtual keyboard, which XTEST cannot reach: the text lands at the cursor and
// the clipboard the user had comes back.
class TestWaylandTyping : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase()
    {
        if (!WaylandWindows::session())
            QSKIP("needs the Wayland desktop (scripts/session --wayland)");
        QCOMPARE(int(SessionRoutes::current().typing), int(SessionRoutes::Typing::VirtualKeyboard));
        keyboard_ = std::make_unique<WaylandWindows::SeatKeyboard>();
        QVERIFY(keyboard_->ok());
        KeyPoster::prepare({});
    }
    void cleanupTestCase() { keyboard_.reset(); }

    void pastesAtTheCursor_data()
    {
        QTest::addColumn<QString>("appId");
        QTest::addColumn<QString>("text");
        // A terminal takes Ctrl+Shift+V, an editor Ctrl+V.
        QTest::newRow("foot") << u"foot"_s << u"Bonjour à tous, ça marche déjà."_s;
        QTest::newRow("gedit sous Wayland") << u"gedit"_s << u"Dictée collée dans l'éditeur — été."_s;
        // An Xwayland window in front gets XTEST's keys and PRIMARY through the bridge.
        QTest::newRow("xterm sous Xwayland") << u"xterm"_s << u"echo dictée dans xterm"_s;
    }
    void pastesAtTheCursor()
    {
        QFETCH(QString, appId);
        QFETCH(QString, text);
        const QByteArray users = "presse-papiers de l'utilisateur";
        const WaylandWindows::Window owner = WaylandWindows::serve(u"org.ombry.copieur"_s, false, users);
        QVERIFY(owner);

        QTemporaryDir dir;
        const QString file = dir.filePath(u"typed.txt"_s);
        WaylandWindows::Window target;
        const bool terminal = appId != u"gedit"_s;
        if (terminal) {
            // Every byte goes to cat at once (no line discipline wait).
            QStringList command{u"sh"_s, u"-c"_s, u"stty -icanon -echo; exec cat > \"$1\""_s, u"sh"_s, file};
            if (appId == u"xterm"_s)
                command.prepend(u"-e"_s);
            target = WaylandWindows::start(appId, command);
        } else {
            QVERIFY(TestEnv::writeFile(file, {}));
            target = WaylandWindows::start(u"env"_s, {u"GDK_BACKEND=wayland"_s, u"gedit"_s, u"--new-window"_s, file});
        }
        QVERIFY(TestEnv::waitFor([&] {
            const std::optional<RunningApp> front = FrontmostApp::current();
            return front && front->wmInstance == appId;
        }, 15000));
        if (terminal)
            QVERIFY(TestEnv::waitFor([&] { return QFile::exists(file); }, 5000));
        else
            QTest::qWait(500); // the text view takes the focus after the window shows

        Paster paster(Wiring::pasteDesktop());
        QVERIFY(QCoro::waitFor(RoadDesktop::system(&paster).paste(text, true)).posted);
        if (!terminal) {
            // The editor's text as a screen reader reads it, in the window
            // whose title now says it was changed.
            std::optional<WaylandToplevels::Toplevel> window;
            QVERIFY(TestEnv::waitFor([&] {
                window = WaylandToplevels::active();
                return window && window->title.startsWith(u'*');
            }, 5000));
            const AtspiReader reader(window->title, target->processId());
            QStringList texts;
            QVERIFY2(TestEnv::waitFor([&] {
                texts.clear();
                for (const AtspiReader::Node &node : reader.all(u"text"_s))
                    texts << node.text;
                return texts.contains(text);
            }, 8000), qPrintable(texts.join(u'|')));
        } else {
            QVERIFY2(TestEnv::waitFor([&] { return TestEnv::readFile(file) == text.toUtf8(); }, 5000),
                     TestEnv::readFile(file).toHex().constData());
        }
        paster.flushRestore();
        QCOMPARE(WaylandWindows::read(u"org.ombry.lecteur"_s, false), std::optional<QByteArray>(users));
    }

private:
    std::unique_ptr<WaylandWindows::SeatKeyboard> keyboard_;
};

OMBRY_TEST_GUI_MAIN(TestWaylandTyping)
#include "tst_wayland_typing.moc"
