#include "app/Application.h"
#include "shell/Tray.h"
#include "audio/AudioRecorder.h"
#include "calls/CallTranslator.h"
#include "calls/SubtitleWindow.h"
#include "fakes/FakeHttpService.h"
#include "model/AppSettings.h"
#include "model/KeyStore.h"
#include "core/Log.h"
#include "platform/FrontmostApp.h"
#include "platform/Sounds.h"
#include "platform/X11Display.h"
#include "support/Screenshots.h"
#include "support/TestEnv.h"

#include <QAccessible>
#include <QApplication>
#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>
#include <QMenu>
#include <QPainter>
#include <QProcess>
#include <QScopeGuard>
#include <QQuickItem>
#include <QQuickWindow>
#include <QtEndian>
#include <QtTest>

#include <X11/Xatom.h>
#include <X11/Xlib.h>

#include <cmath>

namespace {

const QString kChatPath = QStringLiteral("/api/v1/chat/completions");
constexpr double kToneHz = 5500;

struct Phrase
{
    const char *en;
    const char *fr;
};
const Phrase kPhrases[] = {
    {"Hello, can you hear me well today?", "Bonjour, tu m'entends bien aujourd'hui ?"},
    {"I think the meeting starts at ten.", "Je crois que la réunion commence à dix heures."},
    {"Thank you very much, see you soon.", "Merci beaucoup, à bientôt."},
};

// Share of a WAV's energy at the tone's frequency (1 for a pure tone, near 0 for
// speech), measured in quarter-second windows so that a gap does not matter.
double toneShare(const QByteArray &wav)
{
    const QByteArray pcm = wav.mid(44);
    const qsizetype n = pcm.size() / 2;
    constexpr qsizetype kWindow = 4000;
    const double w = 2 * M_PI * kToneHz / 16000.0;
    const double coeff = 2 * std::cos(w);
    double tone = 0, total = 0;
    for (qsizetype from = 0; from + kWindow <= n; from += kWindow) {
        double s1 = 0, s2 = 0, energy = 0;
        for (qsizetype i = from; i < from + kWindow; ++i) {
            const double x = qFromLittleEndian<qint16>(pcm.constData() + 2 * i) / 32768.0;
            energy += x * x;
            const double s = x + coeff * s1 - s2;
            s2 = s1;
            s1 = s;
        }
        const double power = s1 * s1 + s2 * s2 - coeff * s1 * s2;
        tone += power / (double(kWindow) / 2);
        total += energy;
    }
    return total > 0 ? tone / total : 0;
}

// Seconds of 20 ms windows that hold sound above the voice level.
double voicedSeconds(const QByteArray &wav)
{
    const QByteArray pcm = wav.mid(44);
    int windows = 0;
    for (qsizetype from = 0; from + 640 <= pcm.size(); from += 640) {
        int peak = 0;
        for (qsizetype i = from; i < from + 640; i += 2)
            peak = std::max(peak, std::abs(int(qFromLittleEndian<qint16>(pcm.constData() + i))));
        windows += peak > 655 ? 1 : 0; // 0.02 of full scale
    }
    return windows * 0.02;
}

double seconds(const QByteArray &wav)
{
    return double((wav.size() - 44) / 2) / 16000.0;
}

QStringList logLines()
{
    Log::waitUntilWritten();
    QStringList lines;
    for (const QByteArray &line : TestEnv::readFile(Log::path()).split('\n')) {
        const qsizetype blank = line.indexOf(' ');
        if (blank > 0)
            lines << QString::fromUtf8(line.mid(blank + 1));
    }
    return lines;
}

QList<Atom> atoms(Display *dpy, Window window, const char *name)
{
    Atom type = None;
    int format = 0;
    unsigned long count = 0, after = 0;
    unsigned char *data = nullptr;
    QList<Atom> out;
    if (XGetWindowProperty(dpy, window, XInternAtom(dpy, name, False), 0, 64, False, XA_ATOM, &type, &format, &count,
                           &after, &data) == Success
        && data) {
        for (unsigned long i = 0; i < count; ++i)
            out << reinterpret_cast<Atom *>(data)[i];
        XFree(data);
    }
    return out;
}

unsigned long cardinal(Display *dpy, Window window, const char *name, Atom kind)
{
    Atom type = None;
    int format = 0;
    unsigned long count = 0, after = 0;
    unsigned char *data = nullptr;
    unsigned long value = 0;
    if (XGetWindowProperty(dpy, window, XInternAtom(dpy, name, False), 0, 1, False, kind, &type, &format, &count,
                           &after, &data) == Success
        && data) {
        if (count > 0)
            value = reinterpret_cast<unsigned long *>(data)[0];
        XFree(data);
    }
    return value;
}

// The managed frame of a client window (openbox reparents it).
Window frameOf(Display *dpy, Window window)
{
    Window root = 0, parent = 0, *children = nullptr;
    unsigned int n = 0;
    Window current = window;
    while (XQueryTree(dpy, current, &root, &parent, &children, &n)) {
        if (children)
            XFree(children);
        if (parent == root || !parent)
            return current;
        current = parent;
    }
    return window;
}

// Names of the visible accessible objects under `iface`, as a screen reader reads them.
void accessibleNames(QAccessibleInterface *iface, QStringList &names)
{
    if (!iface)
        return;
    if (!iface->state().invisible && !iface->text(QAccessible::Name).isEmpty())
        names << iface->text(QAccessible::Name);
    for (int i = 0; i < iface->childCount(); ++i)
        accessibleNames(iface->child(i), names);
}

QStringList namesOf(QQuickWindow *window)
{
    QStringList names;
    accessibleNames(QAccessible::queryAccessibleInterface(window), names);
    return names;
}

// The bar as the X server shows it (its outline, what lies behind), in both
// appearances of the program.
void shoot(QQuickWindow *window, const QString &name)
{
    const QRect area = window->geometry().adjusted(-30, -30, 30, 30);
    const QStringList saved = Screenshots::inBothThemes(name, [area] { return Screenshots::screen(area); });
    QCOMPARE(saved.size(), 2);
}

} // namespace

// Live subtitles of one application's sound on the private sound server: the
// call's phrases reach the fake cloud one segment each, nothing else does, and
// the bar shows the French.
class TestCallSubtitles : public QObject
{
    Q_OBJECT

    std::unique_ptr<Application> root_;
    FakeHttpService cloud_;
    QTemporaryDir dir_;
    QStringList wavs_;
    QString tone_;
    QProcess toneplayer_;

    void answerInOrder()
    {
        cloud_.setHandler([this](const RecordedRequest &) {
            const int n = cloud_.count(kChatPath) - 1;
            const Phrase &p = kPhrases[std::clamp(n, 0, 2)];
            const QJsonObject answer{{QStringLiteral("en"), QString::fromUtf8(p.en)},
                                     {QStringLiteral("fr"), n == 3 ? QStringLiteral("<b>x</b>") : QString::fromUtf8(p.fr)}};
            const QString content = QString::fromUtf8(QJsonDocument(answer).toJson(QJsonDocument::Compact));
            return ScriptedReply::json(QJsonObject{
                {QStringLiteral("choices"),
                 QJsonArray{QJsonObject{{QStringLiteral("message"),
                                         QJsonObject{{QStringLiteral("content"), content}}}}}}});
        });
    }

    void startTone()
    {
        toneplayer_.start(QStringLiteral("paplay"),
                          {QStringLiteral("--client-name=Tonalité"), QStringLiteral("--latency-msec=40"), tone_});
        QVERIFY(toneplayer_.waitForStarted());
    }

    void stopTone()
    {
        if (toneplayer_.state() != QProcess::NotRunning) {
            toneplayer_.kill();
            toneplayer_.waitForFinished();
        }
    }

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY2(!qEnvironmentVariableIsEmpty("DISPLAY"), "run under scripts/session");
        QVERIFY(cloud_.start());
        qputenv("OMBRY_OPENROUTER_URL", cloud_.url().toUtf8());
        root_ = std::make_unique<Application>();
        KeyStore::Keys keys;
        keys.insert(APIService::OpenRouter, QStringLiteral("sk-or-test"));
        TestEnv::keys()->setKeys(keys);
        TestEnv::settings()->setOwnKeyMode(true);
        answerInOrder();

        const QString apps = QDir::homePath() + QStringLiteral("/.local/share/applications");
        QDir().mkpath(apps);
        QVERIFY(TestEnv::writeFile(apps + QStringLiteral("/ombry-callee.desktop"),
                                   "[Desktop Entry]\nType=Application\nName=Correspondant\nExec=callee\n"
                                   "StartupWMClass=OmbryCallee\n"));
        FrontmostApp::reloadDesktopIndex();

        for (int i = 0; i < 3; ++i) {
            const QString wav = dir_.filePath(QStringLiteral("phrase%1.wav").arg(i));
            QCOMPARE(QProcess::execute(QStringLiteral("espeak-ng"),
                                       {QStringLiteral("-v"), QStringLiteral("en"), QStringLiteral("-w"), wav,
                                        QString::fromUtf8(kPhrases[i].en)}),
                     0);
            wavs_ << wav;
        }
        tone_ = dir_.filePath(QStringLiteral("tone.wav"));
        QCOMPARE(QProcess::execute(QStringLiteral("sox"), {QStringLiteral("-n"), QStringLiteral("-r"),
                                                           QStringLiteral("16000"), QStringLiteral("-c"),
                                                           QStringLiteral("1"), tone_, QStringLiteral("synth"),
                                                           QStringLiteral("40"), QStringLiteral("sine"),
                                                           QString::number(kToneHz), QStringLiteral("vol"),
                                                           QStringLiteral("0.3")}),
                 0);
    }

    void cleanup()
    {
        stopTone();
        TestEnv::own<CallTranslator>()->stop();
        cloud_.clear();
    }

    void cleanupTestCase()
    {
        root_.reset();
    }

    // Three phrases of the chosen application, a tone of another: three
    // requests, no tone in them, the last one sent although the application
    // quit right after speaking.
    void oneApplication()
    {
        CallTranslator *call = TestEnv::own<CallTranslator>();
        startTone();
        QProcess callee;
        callee.start(QStringLiteral(OMBRY_TEST_BIN_DIR "/callee"), QStringList{QStringLiteral("1.5")} + wavs_);
        QVERIFY(callee.waitForReadyRead(5000));
        call->setTargetBundleIdText(QStringLiteral("ombry-callee"));
        QVERIFY(TestEnv::waitFor([call] { return call->targetName() == QStringLiteral("Correspondant"); }, 5000));
        call->start();
        QVERIFY(TestEnv::waitFor(
            [] { return logLines().contains(QStringLiteral("appel: sous-titres démarrés (Correspondant)")); }, 5000));
        callee.write("go\n");
        // The event loop runs meanwhile: segments go to the cloud from it.
        QVERIFY(TestEnv::waitFor([&callee] { return callee.state() == QProcess::NotRunning; }, 30000));
        QVERIFY(TestEnv::waitFor([this] { return cloud_.count(kChatPath) >= 3; }, 10000));
        QTest::qWait(2500);
        const QList<RecordedRequest> requests = cloud_.requests(kChatPath);
        QCOMPARE(requests.size(), 3);
        for (const RecordedRequest &request : requests) {
            const QByteArray wav = request.chatAudio();
            QVERIFY2(toneShare(wav) < 0.05, qPrintable(QString::number(toneShare(wav))));
            QVERIFY2(seconds(wav) > 1.0 && seconds(wav) < 8.0, qPrintable(QString::number(seconds(wav))));
        }
        QVERIFY(TestEnv::waitFor([call] { return call->lines().size() == 3 && call->lines().at(2).done; }));
        QCOMPARE(call->lines().at(2).fr, QString::fromUtf8(kPhrases[2].fr));
        QCOMPARE(TestEnv::own<SubtitleWindow>()->mainText(), QString::fromUtf8(kPhrases[2].fr));
        QCOMPARE(TestEnv::own<SubtitleWindow>()->previousText(), QString::fromUtf8(kPhrases[1].fr));
    }

    // A stream moved to another output mid-phrase is still heard, whole; a
    // second stream of the application is mixed in.
    void movedAndSecondStream()
    {
        CallTranslator *call = TestEnv::own<CallTranslator>();
        QProcess load;
        load.start(QStringLiteral("pactl"), {QStringLiteral("load-module"), QStringLiteral("module-null-sink"),
                                             QStringLiteral("sink_name=vsink2")});
        QVERIFY(load.waitForFinished() && load.exitCode() == 0);
        // Only this module goes at the end: the rig's own sink stays for the next tests.
        const QString module = QString::fromUtf8(load.readAll()).trimmed();
        QVERIFY(!module.isEmpty());
        const auto unload = qScopeGuard([module] {
            QProcess::execute(QStringLiteral("pactl"), {QStringLiteral("unload-module"), module});
        });
        const QString burst = dir_.filePath(QStringLiteral("burst.wav"));
        QCOMPARE(QProcess::execute(QStringLiteral("sox"), {QStringLiteral("-n"), QStringLiteral("-r"),
                                                           QStringLiteral("16000"), QStringLiteral("-c"),
                                                           QStringLiteral("1"), burst, QStringLiteral("synth"),
                                                           QStringLiteral("1.5"), QStringLiteral("sine"),
                                                           QString::number(kToneHz), QStringLiteral("vol"),
                                                           QStringLiteral("0.3")}),
                 0);
        QProcess callee;
        callee.start(QStringLiteral(OMBRY_TEST_BIN_DIR "/callee"), QStringList{QStringLiteral("1.5")} + wavs_);
        QVERIFY(callee.waitForReadyRead(5000));
        callee.readAll();
        call->setTargetBundleIdText(QStringLiteral("ombry-callee"));
        // Its window is managed: the application runs.
        QVERIFY(TestEnv::waitFor([call] { return call->targetName() == QStringLiteral("Correspondant"); }, 5000));
        const QString started = QStringLiteral("appel: sous-titres démarrés (Correspondant)");
        const qsizetype before = logLines().count(started);
        call->start();
        QVERIFY(TestEnv::waitFor([&] { return logLines().count(started) == before + 1; }, 5000));
        QTest::qWait(300);
        callee.write("go\n");

        // The first phrase's stream, moved to the other output while it speaks.
        QString input;
        QVERIFY(TestEnv::waitFor([&input] {
            QProcess list;
            list.start(QStringLiteral("pactl"), {QStringLiteral("list"), QStringLiteral("short"),
                                                 QStringLiteral("sink-inputs")});
            list.waitForFinished();
            input = QString::fromUtf8(list.readAll()).section(QLatin1Char('\t'), 0, 0).trimmed();
            return !input.isEmpty();
        }, 5000));
        QTest::qWait(700);
        QCOMPARE(QProcess::execute(QStringLiteral("pactl"), {QStringLiteral("move-sink-input"), input,
                                                             QStringLiteral("vsink2")}),
                 0);
        // A second stream of the application, over the start of the second phrase.
        QVERIFY(TestEnv::waitFor([this] { return cloud_.count(kChatPath) >= 1; }, 10000));
        QProcess second;
        second.start(QStringLiteral("paplay"), {QStringLiteral("--client-name=OmbryCallee"),
                                                QStringLiteral("--latency-msec=40"), burst});
        QVERIFY(TestEnv::waitFor([&callee] { return callee.state() == QProcess::NotRunning; }, 30000));
        QVERIFY(TestEnv::waitFor([&second] { return second.state() == QProcess::NotRunning; }, 5000));
        QVERIFY(TestEnv::waitFor([this] { return cloud_.count(kChatPath) >= 3; }, 15000));
        QTest::qWait(2500);
        const QList<RecordedRequest> requests = cloud_.requests(kChatPath);
        const QByteArray first = requests.at(0).chatAudio();
        // The moved phrase is whole, not cut at the move (it speaks about two
        // seconds); the burst of the second stream is heard.
        QVERIFY2(voicedSeconds(first) > 1.6, qPrintable(QString::number(voicedSeconds(first))));
        double loudest = 0;
        for (const RecordedRequest &request : requests)
            loudest = std::max(loudest, toneShare(request.chatAudio()));
        QVERIFY2(loudest > 0.1, qPrintable(QString::number(loudest)));
    }

    // The whole computer hears the tone too: a segment cut at 14 s.
    void wholeComputer()
    {
        CallTranslator *call = TestEnv::own<CallTranslator>();
        call->setTargetBundleIdText(QString());
        call->start();
        QVERIFY(TestEnv::waitFor(
            [] { return logLines().contains(QStringLiteral("appel: sous-titres démarrés (tout l'ordinateur)")); }, 5000));
        // Our own sounds are never subtitled.
        for (const QString &name : {QStringLiteral("Basso"), QStringLiteral("Tink"), QStringLiteral("Pop")}) {
            Sounds::play(name);
            QTest::qWait(400);
        }
        QTest::qWait(1500);
        QCOMPARE(cloud_.count(kChatPath), 0);
        startTone();
        QVERIFY(TestEnv::waitFor([this] { return cloud_.count(kChatPath) >= 1; }, 20000));
        const QByteArray wav = cloud_.requests(kChatPath).first().chatAudio();
        QVERIFY2(std::abs(seconds(wav) - 14.02) < 0.05, qPrintable(QString::number(seconds(wav))));
        QVERIFY2(toneShare(wav) > 0.5, qPrintable(QString::number(toneShare(wav))));
    }

    // The bar: its place on a screen with no saved frame, its window state, and
    // model text shown as plain text.
    void bar()
    {
        SubtitleWindow *bar = TestEnv::own<SubtitleWindow>();
        bar->show();
        QQuickWindow *window = bar->window();
        QVERIFY(window);
        QVERIFY(QTest::qWaitForWindowExposed(window));
        QCOMPARE(window->title(), QStringLiteral("Ombry Voice — sous-titres"));
        QVERIFY(TestEnv::waitFor([window] { return window->geometry() == QRect(260, 784, 760, 150); }, 3000));

        Display *dpy = X11::display();
        const Window id = Window(window->winId());
        QVERIFY(TestEnv::waitFor([&] {
            const QList<Atom> state = atoms(dpy, id, "_NET_WM_STATE");
            return state.contains(XInternAtom(dpy, "_NET_WM_STATE_ABOVE", False))
                   && state.contains(XInternAtom(dpy, "_NET_WM_STATE_SKIP_TASKBAR", False));
        }, 3000));
        // On every desktop (openbox tells it by the desktop, not by a sticky state).
        QVERIFY(TestEnv::waitFor([&] { return (cardinal(dpy, id, "_NET_WM_DESKTOP", XA_CARDINAL) & 0xFFFFFFFFul) == 0xFFFFFFFFul; }));
        QVERIFY(cardinal(dpy, DefaultRootWindow(dpy), "_NET_ACTIVE_WINDOW", XA_WINDOW) != id);
        QVERIFY(!window->isActive());
        Q_UNUSED(frameOf);
    }

    // What the bar shows and offers: French lines as plain text, the controls
    // while the pointer is over it; moved, it comes back where it was put.
    void barContent()
    {
        CallTranslator *call = TestEnv::own<CallTranslator>();
        SubtitleWindow *bar = TestEnv::own<SubtitleWindow>();
        call->setTargetBundleIdText(QString());
        call->start();
        QVERIFY(TestEnv::waitFor([call] { return call->running(); }));
        QQuickWindow *window = bar->window();
        QVERIFY(window && window->isVisible());
        QVERIFY(QTest::qWaitForWindowExposed(window));
        QVERIFY(TestEnv::waitFor([window] { return namesOf(window).contains(QStringLiteral("J'écoute…")); }, 3000));
        QVERIFY(!namesOf(window).contains(QStringLiteral("Voir l'anglais")));

        QTest::mouseMove(window, QPoint(380, 75));
        QVERIFY(TestEnv::waitFor([window] {
            const QStringList names = namesOf(window);
            return names.contains(QStringLiteral("Voir l'anglais")) && names.contains(QStringLiteral("Arrêter"))
                   && names.contains(QStringLiteral("Fermer")) && names.contains(QStringLiteral("Tout l'ordinateur"));
        }, 3000));
        shoot(window, QStringLiteral("caption-bar-hover"));

        // Two French lines, the second a model answer with markup.
        CallLinesModel *lines = call->linesModel();
        lines->append({100, QStringLiteral("Hello."), QStringLiteral("Bonjour, tu m'entends bien ?"), true});
        lines->append({101, QStringLiteral("<b>x</b>"), QStringLiteral("<b>x</b>"), true});
        bar->setShowEnglish(true);
        QVERIFY(TestEnv::waitFor([window] {
            const QStringList names = namesOf(window);
            return names.contains(QStringLiteral("<b>x</b>")) && names.contains(QStringLiteral("Bonjour, tu m'entends bien ?"))
                   && names.contains(QStringLiteral("Masquer l'anglais"));
        }, 3000));
        QCOMPARE(bar->mainText(), QStringLiteral("<b>x</b>"));
        const QList<QQuickItem *> items = window->findChildren<QQuickItem *>();
        const bool plain = std::all_of(items.cbegin(), items.cend(), [](QQuickItem *item) {
            return item->property("text").toString() != QStringLiteral("<b>x</b>")
                   || item->property("textFormat").toInt() == 0; // Text.PlainText
        });
        QVERIFY(plain);
        bar->setShowEnglish(false);
        QTest::mouseMove(window, QPoint(-50, -50));
        QTest::qWait(300);
        shoot(window, QStringLiteral("caption-bar"));

        // Moved by the user; after a restart it comes back at the same place.
        window->setGeometry(QRect(120, 300, 700, 140));
        QVERIFY(TestEnv::waitFor([window] { return window->geometry().topLeft() == QPoint(120, 300); }, 3000));
        QTest::qWait(700); // the frame is saved shortly after a move
        bar->release();
        bar->show();
        QVERIFY(bar->window());
        QVERIFY(QTest::qWaitForWindowExposed(bar->window()));
        QVERIFY(TestEnv::waitFor([bar] { return bar->window()->geometry() == QRect(120, 300, 700, 140); }, 3000));

        // The close button hides the bar; the subtitles go on.
        bar->close();
        QVERIFY(!bar->isVisible());
        QVERIFY(call->running());
        bar->show();
        QVERIFY(bar->isVisible());
    }

    // The tray's item starts and stops the subtitles, and follows them when
    // they are started elsewhere.
    void trayItem()
    {
        CallTranslator *call = TestEnv::own<CallTranslator>();
        call->stop();
        QVERIFY(TestEnv::waitFor([call] { return !call->running(); }));
        QMenu *menu = root_->tray()->menu();
        const auto item = [menu](bool running) -> QAction * {
            for (QAction *action : menu->actions())
                if (action->text() == (running ? QStringLiteral("Arrêter les sous-titres")
                                               : QStringLiteral("Sous-titres d'appel en français")))
                    return action;
            return nullptr;
        };
        QVERIFY(TestEnv::waitFor([&] { return item(false) != nullptr; }, 3000));
        QVERIFY(item(false)->isEnabled());
        QVERIFY(!item(false)->isChecked());

        item(false)->trigger();
        QVERIFY(TestEnv::waitFor([call] { return call->running(); }, 5000));
        QVERIFY(TestEnv::waitFor([&] { return item(true) != nullptr; }, 3000));
        QVERIFY(item(true)->isChecked());
        QVERIFY(TestEnv::waitFor([] { return TestEnv::own<SubtitleWindow>()->isVisible(); }, 3000));

        item(true)->trigger();
        QVERIFY(TestEnv::waitFor([call] { return !call->running(); }, 5000));
        QVERIFY(TestEnv::waitFor([&] { return item(false) != nullptr; }, 3000));

        call->start();
        QVERIFY(TestEnv::waitFor([&] { return item(true) != nullptr; }, 5000));
    }
};

OMBRY_TEST_APP_MAIN(TestCallSubtitles)
#include "tst_call_subtitles.moc"
