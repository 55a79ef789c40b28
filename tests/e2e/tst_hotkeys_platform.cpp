#include "core/Log.h"
#include "platform/FrontmostApp.h"
#include "platform/KeyPoster.h"
#include "platform/KeyTable.h"
#include "platform/Permissions.h"
#include "platform/PulseContext.h"
#include "platform/Sounds.h"
#include "platform/X11InputHub.h"
#include "support/TestEnv.h"

#include <QApplication>
#include <QDir>
#include <QProcess>
#include <QWidget>

#include <X11/Xlib.h>
#include <X11/keysym.h>

// The X11 layer under the private desktop: the input hub, key posting, the
// frontmost application and the trust test. An XTEST helper stands for the
// keyboard; a separate window process records the keys it receives.
class TestHotkeysPlatform : public QObject
{
    Q_OBJECT

    struct Seen
    {
        QString kind;
        quint16 key;
        quint64 flags;
        bool autorepeat;
        bool posted;
    };

    QProcess window_;
    QByteArray windowOutput_;
    QList<Seen> seen_;

    static void keys(const QStringList &tokens)
    {
        QProcess p;
        p.start(QStringLiteral(OMBRY_TEST_BIN_DIR "/xkeys"), tokens);
        QVERIFY(p.waitForFinished(10000));
        QCOMPARE(p.exitCode(), 0);
    }

    void listen(X11InputHub &hub)
    {
        hub.onModifierChange = [this](quint16 key, quint64 flags, X11InputHub::Source s) {
            seen_.append({QStringLiteral("mod"), key, flags, false, s.posted});
        };
        hub.onKeyDown = [this](quint16 key, quint64 flags, bool repeat, X11InputHub::Source s) {
            seen_.append({QStringLiteral("down"), key, flags, repeat, s.posted});
        };
    }

    // Lines "press <keysym>" that the window process printed since the last call.
    QStringList windowPresses(int settleMs = 400)
    {
        QTest::qWait(settleMs);
        windowOutput_ += window_.readAllStandardOutput();
        QStringList presses;
        // Caps Lock and Num Lock (an earlier test's keypad key can leave it on)
        // are not part of a combination: dropped from the state.
        for (const QByteArray &line : windowOutput_.split('\n')) {
            if (!line.startsWith("press "))
                continue;
            const QList<QByteArray> fields = line.mid(6).split(' ');
            bool ok = false;
            const uint state = fields.size() == 2 ? fields[1].toUInt(&ok, 16) : 0;
            presses << (ok ? QStringLiteral("%1 0x%2").arg(QString::fromLatin1(fields[0]), QString::number(state & ~0x12u, 16))
                           : QString::fromLatin1(line.mid(6)));
        }
        windowOutput_.clear();
        return presses;
    }

    void focusWindow()
    {
        const auto app = FrontmostApp::current();
        if (!app || app->pid != window_.processId()) {
            RunningApp target;
            target.window = windowId_;
            FrontmostApp::activate(target);
        }
        QVERIFY(TestEnv::waitFor([&] {
            const auto now = FrontmostApp::current();
            return now && now->window == windowId_;
        }));
        windowPresses(100);
    }

    unsigned long windowId_ = 0;

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY2(!qEnvironmentVariableIsEmpty("DISPLAY"), "run under scripts/session");
        const QString apps = TestEnv::home() + QStringLiteral("/.local/share/applications");
        QDir().mkpath(apps);
        QVERIFY(TestEnv::writeFile(apps + QStringLiteral("/org.example.KeyWindow.desktop"),
                                   "[Desktop Entry]\nType=Application\nName=Key Window\n"
                                   "Name[fr]=Fenêtre des touches\nIcon=input-keyboard\nStartupWMClass=keywindow\n"));
        FrontmostApp::reloadDesktopIndex();
        window_.start(QStringLiteral(OMBRY_TEST_BIN_DIR "/keywindow"), {});
        QVERIFY(window_.waitForStarted(5000));
        QVERIFY(TestEnv::waitFor([&] {
            windowOutput_ += window_.readAllStandardOutput();
            return windowOutput_.contains('\n');
        }, 10000));
        const QByteArray first = windowOutput_.left(windowOutput_.indexOf('\n'));
        QVERIFY(first.startsWith("ready 0x"));
        windowId_ = first.mid(8).toULong(nullptr, 16);
        windowOutput_.clear();
        focusWindow();
    }

    void cleanupTestCase()
    {
        window_.kill();
        window_.waitForFinished();
    }

    void init() { seen_.clear(); }

    void trustAndSoundServer()
    {
        QVERIFY(Permissions::accessibility());
        PulseContext pulse;
        QVERIFY(Permissions::microphone(pulse));
        QVERIFY(Permissions::systemAudio(pulse));
    }

    void frontmostIsResolvedThroughTheDesktopIndex()
    {
        focusWindow();
        const auto app = FrontmostApp::current();
        QVERIFY(app);
        QCOMPARE(app->pid, window_.processId());
        QCOMPARE(app->bundleId, std::optional<QString>(QStringLiteral("org.example.KeyWindow")));
        QCOMPARE(app->name, QStringLiteral("Fenêtre des touches"));
        QCOMPARE(app->iconName, QStringLiteral("input-keyboard"));
        QCOMPARE(app->wmClass, QStringLiteral("keywindow"));
    }

    void ownWindowIsThisApplicationAndActivationComesBack()
    {
        const auto other = FrontmostApp::current();
        QVERIFY(other);
        QWidget own;
        own.resize(200, 100);
        own.show();
        QVERIFY(QTest::qWaitForWindowExposed(&own));
        own.activateWindow();
        QVERIFY(TestEnv::waitFor([&] {
            const auto now = FrontmostApp::current();
            return now && now->pid == QCoreApplication::applicationPid();
        }));
        QTest::qWait(200); // Qt may still be asking for the focus
        const auto self = FrontmostApp::current();
        QCOMPARE(self->bundleId, std::optional<QString>(FrontmostApp::ownBundleId()));
        QCOMPARE(self->name, QStringLiteral("Ombry Voice"));

        QVERIFY(FrontmostApp::activate(*other));
        const bool back = TestEnv::waitFor([&] {
            const auto now = FrontmostApp::current();
            return now && now->window == other->window;
        });
        const auto now = FrontmostApp::current();
        QVERIFY2(back, qPrintable(QStringLiteral("now %1 (%2) wanted %3").arg(now ? now->window : 0, 0, 16).arg(now ? now->name : QString()).arg(other->window, 0, 16)));
        RunningApp gone = *other;
        gone.window = 0x7fffff0;
        QVERIFY(!FrontmostApp::activate(gone));
    }

    void hubReportsModifiersAndKeysWithTheirSource()
    {
        qunsetenv("OMBRY_TEST_ACCEPT_XTEST");
        X11InputHub hub;
        listen(hub);
        QVERIFY(hub.start());
        keys({QStringLiteral("+Control_R"), QStringLiteral("+Shift_L"), QStringLiteral("c"),
              QStringLiteral("-Shift_L"), QStringLiteral("-Control_R")});
        QVERIFY(TestEnv::waitFor([&] { return seen_.size() >= 5; }));
        QCOMPARE(seen_.size(), 5);
        QCOMPARE(seen_[0].kind, QStringLiteral("mod"));
        QCOMPARE(seen_[0].key, quint16(62));
        QCOMPARE(seen_[0].flags, quint64(0x42000));
        QCOMPARE(seen_[1].flags, quint64(0x42000 | 0x20002));
        QCOMPARE(seen_[2].kind, QStringLiteral("down"));
        QCOMPARE(seen_[2].key, quint16(KeyTable::C));
        QCOMPARE(seen_[2].flags, quint64(0x62002));
        QCOMPARE(seen_[3].flags, quint64(0x42000));
        QCOMPARE(seen_[4].flags, quint64(0));
        for (const Seen &s : seen_)
            QVERIFY(s.posted); // another program's XTEST keys are not the user's
        hub.stop();

        qputenv("OMBRY_TEST_ACCEPT_XTEST", "1");
        seen_.clear();
        QVERIFY(hub.start());
        keys({QStringLiteral("+Alt_R"), QStringLiteral("-Alt_R")});
        QVERIFY(TestEnv::waitFor([&] { return seen_.size() >= 2; }));
        QCOMPARE(seen_[0].key, quint16(KeyTable::RightAlt));
        QCOMPARE(seen_[0].flags, quint64(0x80040));
        QVERIFY(!seen_[0].posted);
        windowPresses();
    }

    void autorepeatIsDetected()
    {
        qputenv("OMBRY_TEST_ACCEPT_XTEST", "1");
        X11InputHub hub;
        listen(hub);
        QVERIFY(hub.start());
        keys({QStringLiteral("+x"), QStringLiteral("+x"), QStringLiteral("+x"), QStringLiteral("-x"),
              QStringLiteral("x")});
        QVERIFY(TestEnv::waitFor([&] { return seen_.size() >= 4; }));
        QCOMPARE(seen_.size(), 4);
        QCOMPARE(seen_[0].autorepeat, false);
        QCOMPARE(seen_[1].autorepeat, true);
        QCOMPARE(seen_[2].autorepeat, true);
        QCOMPARE(seen_[3].autorepeat, false);
        windowPresses();
    }

    void ownPostsReachTheWindowButNotTheHub()
    {
        qputenv("OMBRY_TEST_ACCEPT_XTEST", "1");
        focusWindow();
        X11InputHub hub;
        listen(hub);
        QVERIFY(hub.start());
        // The user still holds Shift: the paste must arrive as Ctrl+V alone.
        keys({QStringLiteral("+Shift_L")});
        QVERIFY(TestEnv::waitFor([&] { return seen_.size() >= 1; }));
        seen_.clear();
        windowPresses();
        QVERIFY(KeyPoster::post(KeyTable::V, KeyTable::Control));
        const QStringList presses = windowPresses();
        QVERIFY2(presses.contains(QStringLiteral("0x76 0x4")), qPrintable(presses.join(QLatin1Char('|'))));
        QCOMPARE(seen_.size(), 0);
        QVERIFY(KeyPoster::post(KeyTable::V, KeyTable::Control | KeyTable::Shift));
        QVERIFY(windowPresses().contains(QStringLiteral("0x56 0x5")));
        QCOMPARE(seen_.size(), 0);
        // The user's own keys are still seen after ours.
        keys({QStringLiteral("-Shift_L"), QStringLiteral("Escape")});
        QVERIFY(TestEnv::waitFor([&] { return !seen_.isEmpty() && seen_.last().key == KeyTable::Escape; }));
    }

    void grabsSwallowExactCombinationsWhateverTheLocks()
    {
        qputenv("OMBRY_TEST_ACCEPT_XTEST", "1");
        focusWindow();
        X11InputHub hub;
        listen(hub);
        QVERIFY(hub.start());
        hub.setGrabs({{KeyTable::V, KeyTable::Control | KeyTable::Alt, false}, {KeyTable::Escape, 0, true}});
        keys({QStringLiteral("+Control_L"), QStringLiteral("+Alt_L"), QStringLiteral("v"), QStringLiteral("-Alt_L"),
              QStringLiteral("-Control_L"), QStringLiteral("+Shift_L"), QStringLiteral("Escape"),
              QStringLiteral("-Shift_L")});
        QStringList presses = windowPresses();
        QVERIFY2(!presses.contains(QStringLiteral("0x76 0xc")), qPrintable(presses.join(QLatin1Char('|'))));
        QVERIFY2(!presses.join(QLatin1Char(' ')).contains(QStringLiteral("0xff1b")), qPrintable(presses.join(QLatin1Char('|'))));
        bool sawV = false;
        for (const Seen &s : seen_)
            sawV |= s.kind == QStringLiteral("down") && s.key == KeyTable::V && s.flags == 0xC0021;
        QVERIFY(sawV);

        // Caps Lock on: still swallowed. Shift added: not the same combination.
        keys({QStringLiteral("Caps_Lock"), QStringLiteral("+Control_L"), QStringLiteral("+Alt_L"),
              QStringLiteral("v"), QStringLiteral("-Alt_L"), QStringLiteral("-Control_L"), QStringLiteral("Caps_Lock")});
        presses = windowPresses();
        QVERIFY2(!presses.join(QLatin1Char(' ')).contains(QStringLiteral("0x76")) &&
                     !presses.join(QLatin1Char(' ')).contains(QStringLiteral("0x56")),
                 qPrintable(presses.join(QLatin1Char('|'))));
        keys({QStringLiteral("+Control_L"), QStringLiteral("+Alt_L"), QStringLiteral("+Shift_L"), QStringLiteral("v"),
              QStringLiteral("-Shift_L"), QStringLiteral("-Alt_L"), QStringLiteral("-Control_L")});
        presses = windowPresses();
        QVERIFY2(presses.join(QLatin1Char(' ')).contains(QStringLiteral("0x56")), qPrintable(presses.join(QLatin1Char('|'))));

        // Grabs removed: the keys reach the window again.
        hub.setGrabs({});
        keys({QStringLiteral("Escape")});
        QVERIFY(windowPresses().join(QLatin1Char(' ')).contains(QStringLiteral("0xff1b")));
    }

    void aGrabHeldByAnotherClientIsLoggedNotFatal()
    {
        Display *other = XOpenDisplay(nullptr);
        QVERIFY(other);
        const int r = XKeysymToKeycode(other, XK_r);
        for (unsigned int mods : {ControlMask | Mod1Mask, ControlMask | Mod1Mask | LockMask})
            XGrabKey(other, r, mods, DefaultRootWindow(other), False, GrabModeAsync, GrabModeAsync);
        XSync(other, False);

        X11InputHub hub;
        QVERIFY(hub.start());
        hub.setGrabs({{KeyTable::R, KeyTable::Control | KeyTable::Alt, false},
                      {KeyTable::V, KeyTable::Control | KeyTable::Alt, false}});
        XCloseDisplay(other);
        Log::waitUntilWritten();
        QVERIFY(TestEnv::readFile(Log::path()).contains("hotkey: raccourci Ctrl+Alt+R déjà pris par une autre application"));
        QVERIFY(!TestEnv::readFile(Log::path()).contains("Ctrl+Alt+V déjà pris"));
        QVERIFY(hub.running());
    }

    void soundsReachTheSoundServer()
    {
        QProcess parec;
        parec.start(QStringLiteral("parec"), {QStringLiteral("-d"), QStringLiteral("vsink.monitor"),
                                             QStringLiteral("--raw"), QStringLiteral("--format=s16le"),
                                             QStringLiteral("--rate=16000"), QStringLiteral("--channels=1"),
                                             QStringLiteral("--latency-msec=20")});
        QVERIFY(parec.waitForStarted(5000));
        Sounds::preload();
        QTest::qWait(300);
        QByteArray captured;
        int peak = 0;
        const auto listen = [&] {
            captured += parec.readAllStandardOutput();
            for (qsizetype i = 0; i + 1 < captured.size(); i += 2)
                peak = std::max(peak, std::abs(int(qint16(quint8(captured[i]) | (quint8(captured[i + 1]) << 8)))));
            captured.clear();
            return peak > 2000;
        };
        Sounds::play(QStringLiteral("Basso"));
        const bool heard = TestEnv::waitFor(listen, 8000);
        parec.kill();
        parec.waitForFinished();
        QVERIFY2(heard, qPrintable(QStringLiteral("peak %1").arg(peak)));
    }

    void withoutAnXServerTheHubSaysWhy()
    {
        const QByteArray display = qgetenv("DISPLAY");
        qputenv("DISPLAY", ":4242");
        X11InputHub hub;
        QString why;
        QVERIFY(!hub.start(&why));
        QCOMPARE(why, QStringLiteral("pas de serveur X"));
        QVERIFY(!KeyPoster::post(KeyTable::V, KeyTable::Control) || !display.isEmpty());
        qputenv("DISPLAY", display);
    }
};

OMBRY_TEST_GUI_MAIN(TestHotkeysPlatform)
#include "tst_hotkeys_platform.moc"
