#include "calls/CallApps.h"
#include "calls/CallTranslator.h"
#include "calls/SubtitleWindow.h"
#include "platform/AppAudioCapture.h"
#include "support/TestEnv.h"

#include <QtTest>

Q_DECLARE_METATYPE(PlaybackStream)
Q_DECLARE_METATYPE(CaptureTarget)

namespace {

constexpr qint64 kOwnPid = 500;

// A process tree: 900 (browser) → 901 (renderer) → 902 (audio service); 500 is us.
qint64 parentIn(qint64 pid)
{
    switch (pid) {
    case 902: return 901;
    case 901: return 900;
    case 900: return 1;
    case 700: return 500; // a child of ours
    default: return 1;
    }
}

PlaybackStream stream(qint64 pid, const QString &binary, const QString &appName, const QString &appId = {})
{
    PlaybackStream s;
    s.index = 7;
    s.pid = pid;
    s.binary = binary;
    s.appName = appName;
    s.appId = appId;
    return s;
}

CaptureTarget app(const QString &id, QList<qint64> pids, QStringList names = {})
{
    CaptureTarget t;
    t.bundleId = id;
    t.pids = pids;
    t.names = names;
    return t;
}

using Line = CallLinesModel::Line;

} // namespace

// Which playback streams belong to the chosen application, and the pure texts
// and frames the subtitles derive.
class TestCaptureMatch : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void matches_data()
    {
        QTest::addColumn<PlaybackStream>("stream");
        QTest::addColumn<CaptureTarget>("target");
        QTest::addColumn<bool>("expected");

        const CaptureTarget whole;
        QTest::newRow("whole computer: any application") << stream(42, "paplay", "paplay") << whole << true;
        QTest::newRow("whole computer: never our own sounds") << stream(kOwnPid, "ombry-voice", "Ombry Voice")
                                                              << whole << false;
        QTest::newRow("whole computer: never our read-aloud")
            << stream(77, "sd_espeak-ng", "speech-dispatcher-espeak-ng") << whole << false;
        QTest::newRow("whole computer: speech-dispatcher itself") << stream(78, "/usr/bin/speech-dispatcher", "")
                                                                  << whole << false;
        QTest::newRow("whole computer: a stream without properties") << stream(0, "", "") << whole << true;

        QTest::newRow("the window's own process") << stream(900, "firefox-esr", "Firefox")
                                                  << app("firefox-esr", {900}) << true;
        QTest::newRow("a child process of the window's (browsers, Electron)")
            << stream(902, "firefox-esr", "AudioIPC Server") << app("firefox-esr", {900}) << true;
        QTest::newRow("another application's process") << stream(42, "paplay", "paplay")
                                                        << app("firefox-esr", {900}) << false;
        QTest::newRow("binary against the desktop id, no window")
            << stream(42, "/opt/discord/Discord", "Chromium") << app("discord", {}) << true;
        QTest::newRow("application name against WM_CLASS") << stream(42, "electron", "Slack")
                                                           << app("com.slack.Slack", {}, {"slack"}) << true;
        QTest::newRow("sandbox app id") << stream(42, "bwrap", "", "us.zoom.Zoom") << app("us.zoom.Zoom", {}) << true;
        QTest::newRow("our own process, even when named") << stream(kOwnPid, "ombry-voice", "ombry-voice")
                                                          << app("ombry-voice", {kOwnPid}) << false;
        QTest::newRow("a child of ours is not an ancestor match")
            << stream(700, "helper", "helper") << app("firefox-esr", {900}) << false;
        QTest::newRow("names compare without case") << stream(42, "", "ZOOM") << app("us.zoom.Zoom", {}, {"zoom"})
                                                    << true;
    }

    void matches()
    {
        QFETCH(PlaybackStream, stream);
        QFETCH(CaptureTarget, target);
        QFETCH(bool, expected);
        QCOMPARE(CaptureMatch::matches(stream, target, kOwnPid, parentIn), expected);
    }

    void aliases_data()
    {
        QTest::addColumn<QString>("id");
        QTest::addColumn<QString>("alias");
        QTest::addColumn<bool>("expected");
        QTest::newRow("macOS Discord knows the Linux ids") << "com.hnc.Discord" << "com.discordapp.Discord" << true;
        QTest::newRow("a Linux id knows the macOS one") << "discord" << "com.hnc.Discord" << true;
        QTest::newRow("zoom") << "us.zoom.xos" << "us.zoom.Zoom" << true;
        QTest::newRow("unknown ids stand alone") << "org.example.Phone" << "discord" << false;
        QTest::newRow("firefox's stream by the sound server's name") << "firefox" << "Firefox" << true;
        QTest::newRow("the Debian package's id") << "com.apple.Safari" << "firefox-esr" << true;
    }

    // Ids stored by earlier versions are read as the application's desktop id.
    void current_data()
    {
        QTest::addColumn<QString>("stored");
        QTest::addColumn<QString>("id");
        QTest::addColumn<QString>("name");
        QTest::newRow("former browser id") << "com.apple.Safari" << "firefox" << "Firefox";
        QTest::newRow("former zoom id") << "us.zoom.xos" << "zoom" << "Zoom";
        QTest::newRow("a desktop id stays") << "firefox-esr" << "firefox-esr" << "Firefox";
        QTest::newRow("unknown stays, no name") << "org.kde.kate" << "org.kde.kate" << "";
    }

    void current()
    {
        QFETCH(QString, stored);
        QFETCH(QString, id);
        QFETCH(QString, name);
        QCOMPARE(CallApps::current(stored), id);
        QCOMPARE(CallApps::name(stored).value_or(QString()), name);
    }

    void aliases()
    {
        QFETCH(QString, id);
        QFETCH(QString, alias);
        QFETCH(bool, expected);
        const QStringList all = CallApps::aliases(id);
        QCOMPARE(all.first(), id);
        QCOMPARE(all.contains(alias, Qt::CaseInsensitive), expected);
    }

    void context_data()
    {
        QTest::addColumn<QList<Line>>("lines");
        QTest::addColumn<QString>("expected");
        QTest::newRow("no line") << QList<Line>{} << "";
        QTest::newRow("only empty lines: no blanks") << QList<Line>{{0, "", "", false}, {1, "", "", false}} << "";
        QTest::newRow("empty lines skipped") << QList<Line>{{0, "Hello.", "", true}, {1, "", "", false},
                                                            {2, "How are you?", "", true}}
                                             << "Hello. How are you?";
        QTest::newRow("the last four only")
            << QList<Line>{{0, "a", "", true}, {1, "b", "", true}, {2, "c", "", true}, {3, "d", "", true},
                           {4, "e", "", true}}
            << "b c d e";
        QTest::newRow("blank-only lines skipped") << QList<Line>{{0, "  ", "", true}, {1, "x", "", true}} << "x";
    }

    void context()
    {
        QFETCH(QList<Line>, lines);
        QFETCH(QString, expected);
        QCOMPARE(CallTranslator::context(lines), expected);
    }

    void caption_data()
    {
        QTest::addColumn<QList<Line>>("lines");
        QTest::addColumn<QString>("error");
        QTest::addColumn<bool>("running");
        QTest::addColumn<bool>("english");
        QTest::addColumn<QString>("previous");
        QTest::addColumn<QString>("main");
        QTest::addColumn<QString>("englishText");

        QTest::newRow("nothing yet, running") << QList<Line>{} << "" << true << false << "" << "J'écoute…" << "";
        QTest::newRow("nothing, stopped") << QList<Line>{} << "" << false << false << "" << "Sous-titres arrêtés"
                                          << "";
        QTest::newRow("an error and no line") << QList<Line>{} << "Clé absente" << true << false << ""
                                              << "Clé absente" << "";
        QTest::newRow("a translated line wins over the error")
            << QList<Line>{{0, "Hi", "Salut", true}} << "Clé absente" << true << false << "" << "Salut" << "";
        QTest::newRow("two lines: the previous one above")
            << QList<Line>{{0, "Hi", "Salut", true}, {1, "Bye", "Au revoir", true}} << "" << true << false << "Salut"
            << "Au revoir" << "";
        QTest::newRow("a line waiting for French is invisible")
            << QList<Line>{{0, "Hi", "Salut", true}, {1, "Bye", "", false}} << "" << true << true << ""
            << "Salut" << "Hi";
        QTest::newRow("English shown when asked") << QList<Line>{{0, "Hi", "Salut", true}} << "" << true << true
                                                  << "" << "Salut" << "Hi";
        QTest::newRow("no English line for an empty English text")
            << QList<Line>{{0, "", "Salut", true}} << "" << true << true << "" << "Salut" << "";
        QTest::newRow("final with empty French never shows")
            << QList<Line>{{0, "Hm", "", true}} << "" << false << false << "" << "Sous-titres arrêtés" << "";
    }

    void caption()
    {
        QFETCH(QList<Line>, lines);
        QFETCH(QString, error);
        QFETCH(bool, running);
        QFETCH(bool, english);
        QFETCH(QString, previous);
        QFETCH(QString, main);
        QFETCH(QString, englishText);
        const CaptionTexts texts = CaptionTexts::of(
            lines, error.isEmpty() ? std::nullopt : std::optional<QString>(error), running, english);
        QCOMPARE(texts.previous, previous);
        QCOMPARE(texts.main, main);
        QCOMPARE(texts.english, englishText);
    }

    void placement_data()
    {
        QTest::addColumn<QRect>("saved"); // null: none saved
        QTest::addColumn<QList<QRect>>("screens");
        QTest::addColumn<QRect>("expected");
        const QRect screen(0, 0, 1280, 1024);
        QTest::newRow("nothing saved: centred, 90 above the bottom")
            << QRect() << QList<QRect>{screen} << QRect(260, 784, 760, 150);
        QTest::newRow("a usable area below a top panel")
            << QRect() << QList<QRect>{QRect(0, 30, 1920, 1050)} << QRect(580, 840, 760, 150);
        QTest::newRow("saved at (0, 0) is a frame like any other")
            << QRect(0, 0, 760, 150) << QList<QRect>{screen} << QRect(0, 0, 760, 150);
        QTest::newRow("saved frame kept") << QRect(100, 200, 800, 160) << QList<QRect>{screen}
                                          << QRect(100, 200, 800, 160);
        QTest::newRow("half off the screen: pulled back in") << QRect(900, 950, 760, 150) << QList<QRect>{screen}
                                                             << QRect(520, 874, 760, 150);
        QTest::newRow("on a screen that is gone: placed anew")
            << QRect(3000, 100, 760, 150) << QList<QRect>{screen} << QRect(260, 784, 760, 150);
        QTest::newRow("on the second screen") << QRect(1400, 100, 760, 150)
                                              << QList<QRect>{screen, QRect(1280, 0, 1920, 1080)}
                                              << QRect(1400, 100, 760, 150);
        QTest::newRow("larger than the screen: shrunk") << QRect(0, 0, 2000, 150) << QList<QRect>{screen}
                                                        << QRect(0, 0, 1280, 150);
    }

    void placement()
    {
        QFETCH(QRect, saved);
        QFETCH(QList<QRect>, screens);
        QFETCH(QRect, expected);
        QCOMPARE(SubtitleWindow::placement(saved.isNull() ? std::nullopt : std::optional<QRect>(saved), screens),
                 expected);
    }
};

OMBRY_TEST_MAIN(TestCaptureMatch)
#include "tst_capturematch.moc"
