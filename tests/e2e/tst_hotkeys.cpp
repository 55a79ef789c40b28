#include "audio/AudioRecorder.h"
#include "dictation/DictationController.h"
#include "model/AppSettings.h"
#include "core/Log.h"
#include "platform/FrontmostApp.h"
#include "platform/PulseContext.h"
#include "platform/Sounds.h"
#include "support/TestEnv.h"

#include <QCoro/QCoroSignal>

#include <QKeyEvent>
#include <QTemporaryDir>
#include <QtEndian>
#include <QProcess>
#include <QRegularExpression>
#include <QWidget>

#include <atomic>
#include <cmath>

#include <X11/keysym.h>

// The dictation key and the fixed shortcuts end to end on the private desktop:
// an XTEST helper is the keyboard (OMBRY_TEST_ACCEPT_XTEST=1), a focused window
// records the keys that reach it, the controller runs with its real hotkey
// monitor and the session's microphone; the processing road is a stand-in.
namespace {

class KeyWindow : public QWidget
{
public:
    QList<quint32> presses; // key symbols
protected:
    void keyPressEvent(QKeyEvent *event) override { presses << event->nativeVirtualKey(); }
};

// The real microphone (the session's "vmic"), with its starts counted.
class CountingRecorder final : public DictationRecorder
{
public:
    std::atomic<int> starts{0};
    explicit CountingRecorder(PulseContext &pulse) : mic_(DictationRecorder::microphone(pulse, TestEnv::settings())) {}
    void start() override
    {
        mic_->start();
        ++starts;
    }
    Recording stop() override { return mic_->stop(); }
    bool warmUp() override { return mic_->warmUp(); }
    QByteArray pcm(qint64 from, qint64 to) override { return mic_->pcm(from, to); }

private:
    std::unique_ptr<DictationRecorder> mic_;
};

class Probe : public QObject
{
    Q_OBJECT
public:
    QList<double> durations;
Q_SIGNALS:
    void release();
};
Probe *gProbe = nullptr;

QCoro::Task<> road(DictationController *controller, DictationController::RoadRun run)
{
    gProbe->durations << run.duration;
    co_await qCoro(gProbe, &Probe::release);
    controller->finishRoad(run.seq);
}

} // namespace

class TestHotkeys : public QObject
{
    Q_OBJECT

    PulseContext pulse_;
    std::unique_ptr<DictationController> c_;
    CountingRecorder *recorder_ = nullptr;
    Probe probe_;
    KeyWindow window_;
    QStringList sounds_;
    QStringList hooks_;
    int attention_ = 0;
    QTemporaryDir dir_;
    QProcess player_; // keeps "vmic" delivering audio in real time

    // Runs the helper without blocking the event loop, so that key timings hold.
    static bool keys(const QStringList &tokens)
    {
        QProcess p;
        p.start(QStringLiteral(OMBRY_TEST_BIN_DIR "/xkeys"), tokens);
        if (!p.waitForStarted(5000))
            return false;
        const bool done = TestEnv::waitFor([&] { return p.state() == QProcess::NotRunning; }, 20000);
        return done && p.exitCode() == 0;
    }

    static QString log()
    {
        Log::waitUntilWritten();
        return QString::fromUtf8(TestEnv::readFile(Log::path()));
    }

    bool idle()
    {
        return TestEnv::waitFor([&] { return c_->state() == DictationController::State::Idle; });
    }

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY2(!qEnvironmentVariableIsEmpty("DISPLAY"), "run under scripts/session");
        qputenv("OMBRY_TEST_ACCEPT_XTEST", "1");
        gProbe = &probe_;
        TestEnv::settings()->setKey(DictationKey::RightControl);
        TestEnv::settings()->setMicrophoneUID(std::nullopt);

        // The session's microphone hears the null sink: play a quiet tone into it.
        QByteArray pcm(16000 * 2 * 90, Qt::Uninitialized);
        for (qsizetype i = 0; i < pcm.size() / 2; ++i)
            qToLittleEndian<qint16>(qint16(2000 * std::sin(2 * M_PI * 300 * i / 16000.0)), pcm.data() + 2 * i);
        const QString tone = dir_.filePath(QStringLiteral("tone.wav"));
        QVERIFY(TestEnv::writeFile(tone, AudioRecorder::wav(pcm)));
        // A short latency: the null sink otherwise renders (and the microphone hears) in large blocks.
        player_.start(QStringLiteral("paplay"), {QStringLiteral("--latency-msec=20"), QStringLiteral("-d"), QStringLiteral("vsink"), tone});
        QVERIFY(player_.waitForStarted());
        {
            // Wait until the microphone hears it.
            const auto mic = DictationRecorder::microphone(pulse_, TestEnv::settings());
            mic->start();
            QVERIFY(TestEnv::waitFor([&] { return mic->pcm(0, 1 << 30).size() >= 3200; }, 15000));
            mic->stop();
        }

        DictationController::Services services;
        services.road = road;
        services.makeRecorder = [this] {
            auto r = std::make_unique<CountingRecorder>(pulse_);
            recorder_ = r.get();
            return r;
        };
        services.hasDeepgramKey = [] { return false; };
        services.microphoneAvailable = [] { return true; };
        services.trusted = [] { return true; };
        services.playSound = [this](const QString &name) {
            sounds_ << name;
            Sounds::play(name);
        };
        services.pasteLast = [this](DictationController *) { hooks_ << QStringLiteral("pasteLast"); };
        services.speakSelection = [this](DictationController *) { hooks_ << QStringLiteral("speak"); };
        services.correctSelection = [this](DictationController *, bool copied, bool translate) {
            hooks_ << QStringLiteral("%1 %2").arg(translate ? QStringLiteral("translate") : QStringLiteral("correct"),
                                                  copied ? QStringLiteral("copied") : QStringLiteral("fresh"));
        };
        c_ = std::make_unique<DictationController>(TestEnv::settings(), services);
        for (auto signal : {&DictationController::needsAttention, &DictationController::needsKey})
            connect(c_.get(), signal, this, [this] { ++attention_; });
        c_->start();
        QVERIFY(c_->hotkey().active());
        QVERIFY(log().contains(QStringLiteral("hotkey: event tap actif")));
        QVERIFY(log().contains(QStringLiteral("démarrage: micro=true accessibilité=true deepgram=false")));

        window_.resize(400, 200);
        window_.setFocusPolicy(Qt::StrongFocus);
        window_.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window_));
        window_.activateWindow();
        QVERIFY(TestEnv::waitFor([&] {
            const auto app = FrontmostApp::current();
            return app && app->pid == QCoreApplication::applicationPid() && window_.isActiveWindow();
        }));
    }

    void cleanupTestCase()
    {
        player_.kill();
        player_.waitForFinished();
        c_.reset();
    }

    void init()
    {
        sounds_.clear();
        hooks_.clear();
        attention_ = 0;
        window_.presses.clear();
        probe_.durations.clear();
        TestEnv::settings()->setTranscriptionEngine(TranscriptionEngine::Gemini);
        TestEnv::settings()->setSounds(true);
    }

    void holdingRecordsThenEnds()
    {
        QVERIFY(keys({QStringLiteral("+Control_R"), QStringLiteral("@1000"), QStringLiteral("-Control_R")}));
        QVERIFY2(TestEnv::waitFor([&] { return probe_.durations.size() == 1; }), qPrintable(log()));
        QVERIFY2(probe_.durations[0] > 0.8, qPrintable(QString::number(probe_.durations[0])));
        QCOMPARE(sounds_, (QStringList{QStringLiteral("Tink"), QStringLiteral("Pop")}));
        const QString text = log();
        QVERIFY(text.contains(QStringLiteral("enregistrement: début (appli Ombry Voice)")));
        QVERIFY(QRegularExpression(QStringLiteral("enregistrement: fin, \\d+\\.\\d\\d s, niveau max [1-9]\\d+")).match(text).hasMatch());
        QVERIFY(QRegularExpression(QStringLiteral("Z touche: rightControl enfoncée \\(0x42000, source clavier, état \\d+\\)\n"))
                    .match(text).hasMatch());
        QVERIFY(QRegularExpression(QStringLiteral("Z touche: rightControl relâchée \\(0x0, source clavier, état \\d+\\)\n"))
                    .match(text).hasMatch());
        Q_EMIT probe_.release();
        QVERIFY(idle());
    }

    void aTapStartsHandsFreeTheNextPressEnds()
    {
        QVERIFY(keys({QStringLiteral("+Control_R"), QStringLiteral("@200"), QStringLiteral("-Control_R"),
                      QStringLiteral("@300")}));
        QCOMPARE(c_->state(), DictationController::State::Recording);
        QVERIFY(c_->handsFree());
        QVERIFY(keys({QStringLiteral("@400"), QStringLiteral("+Control_R"), QStringLiteral("@100"),
                      QStringLiteral("-Control_R")}));
        QVERIFY(TestEnv::waitFor([&] { return probe_.durations.size() == 1; }));
        QVERIFY2(probe_.durations[0] > 0.7, qPrintable(QString::number(probe_.durations[0])));
        QVERIFY(log().contains(QStringLiteral("dictée sans les mains")));
        Q_EMIT probe_.release();
        QVERIFY(idle());
    }

    void escapeCancelsAndNeverReachesTheWindow()
    {
        QVERIFY(keys({QStringLiteral("+Control_R"), QStringLiteral("@300"), QStringLiteral("Escape"),
                      QStringLiteral("@200"), QStringLiteral("-Control_R")}));
        QVERIFY(idle());
        QTest::qWait(200);
        QCOMPARE(c_->flash(), std::optional<QString>(QStringLiteral("Dictée annulée")));
        QVERIFY(!window_.presses.contains(XK_Escape));
        QVERIFY(window_.presses.contains(XK_Control_R));
        QCOMPARE(probe_.durations.size(), 0);
        QCOMPARE(sounds_, (QStringList{QStringLiteral("Tink"), QStringLiteral("Pop")}));
        // Idle again: Escape belongs to the application.
        QVERIFY(keys({QStringLiteral("Escape")}));
        QVERIFY(TestEnv::waitFor([&] { return window_.presses.contains(XK_Escape); }));
    }

    void deepgramWithoutKeyFailsAndRecordsNothing()
    {
        TestEnv::settings()->setTranscriptionEngine(TranscriptionEngine::Deepgram);
        const int starts = recorder_->starts;
        QVERIFY(keys({QStringLiteral("+Control_R"), QStringLiteral("@700"), QStringLiteral("-Control_R")}));
        QVERIFY(TestEnv::waitFor([&] { return attention_ == 1; }));
        QCOMPARE(c_->flash(), std::optional<QString>(QStringLiteral("Clé Deepgram absente")));
        QCOMPARE(sounds_, QStringList{QStringLiteral("Basso")});
        QCOMPARE(c_->state(), DictationController::State::Idle);
        QCOMPARE(int(recorder_->starts), starts);
        QCOMPARE(probe_.durations.size(), 0);
    }

    void fixedShortcutsAreSwallowed()
    {
        QVERIFY(keys({QStringLiteral("+Control_L"), QStringLiteral("+Alt_L"), QStringLiteral("v"),
                      QStringLiteral("@100"), QStringLiteral("r"), QStringLiteral("-Alt_L"),
                      QStringLiteral("-Control_L")}));
        QVERIFY(TestEnv::waitFor([&] { return hooks_.size() == 2; }));
        QCOMPARE(hooks_, (QStringList{QStringLiteral("pasteLast"), QStringLiteral("speak")}));
        QTest::qWait(200);
        QVERIFY(!window_.presses.contains(XK_v) && !window_.presses.contains(XK_V));
        QVERIFY(!window_.presses.contains(XK_r) && !window_.presses.contains(XK_R));
        QVERIFY(window_.presses.contains(XK_Control_L));
    }

    void copiesTwiceCorrectThreeTimesTranslate()
    {
        QElapsedTimer timer;
        timer.start();
        qint64 decidedAt = -1;
        QVERIFY(keys({QStringLiteral("+Control_L"), QStringLiteral("c"), QStringLiteral("@300"), QStringLiteral("c"),
                      QStringLiteral("-Control_L")}));
        const qint64 secondCopy = timer.elapsed();
        QVERIFY(TestEnv::waitFor([&] {
            if (!hooks_.isEmpty() && decidedAt < 0)
                decidedAt = timer.elapsed();
            return !hooks_.isEmpty();
        }));
        QCOMPARE(hooks_, QStringList{QStringLiteral("correct copied")});
        QVERIFY2(decidedAt - secondCopy >= 300, qPrintable(QString::number(decidedAt - secondCopy)));
        QCOMPARE(window_.presses.count(XK_c), 2);

        hooks_.clear();
        QTest::qWait(600);
        QVERIFY(keys({QStringLiteral("+Control_L"), QStringLiteral("c"), QStringLiteral("@300"), QStringLiteral("c"),
                      QStringLiteral("@300"), QStringLiteral("c"), QStringLiteral("-Control_L")}));
        QVERIFY(TestEnv::waitFor([&] { return !hooks_.isEmpty(); }, 300));
        QCOMPARE(hooks_, QStringList{QStringLiteral("translate copied")});
        QTest::qWait(600);
        QCOMPARE(hooks_, QStringList{QStringLiteral("translate copied")});
        QCOMPARE(window_.presses.count(XK_c), 5);
    }

    void aChordIsNoDictation()
    {
        QVERIFY(keys({QStringLiteral("+Control_R"), QStringLiteral("@100"), QStringLiteral("a"), QStringLiteral("@100"),
                      QStringLiteral("-Control_R"), QStringLiteral("@300")}));
        QVERIFY(idle());
        QVERIFY(!c_->handsFree());
        QCOMPARE(c_->flash(), std::nullopt);
        QCOMPARE(probe_.durations.size(), 0);
        QVERIFY(!sounds_.contains(QStringLiteral("Pop")) && !sounds_.contains(QStringLiteral("Basso")));
        QVERIFY(log().contains(QStringLiteral("dictée abandonnée: touche combinée")));
    }
};

OMBRY_TEST_GUI_MAIN(TestHotkeys)
#include "tst_hotkeys.moc"
