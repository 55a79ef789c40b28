#include "dictation/DictationController.h"
#include "engines/EngineError.h"
#include "model/AppSettings.h"
#include "core/Log.h"
#include "support/TestEnv.h"

#include <QCoro/QCoroSignal>

#include <QDir>
#include <QSemaphore>
#include <QTemporaryDir>
#include <QtEndian>

#include <atomic>
#include <stdexcept>

using namespace Qt::StringLiterals;

namespace {

// Records what the controller asks of its microphone.
class FakeRecorder final : public DictationRecorder
{
public:
    std::atomic<int> starts{0};
    std::atomic<int> stops{0};
    std::atomic<bool> failStart{false};
    std::atomic<bool> holdStart{false};
    QSemaphore startGate;
    std::atomic<bool> holdStop{false};
    QSemaphore stopGate;
    double duration = 1.0;
    QByteArray startPcm; // captured as soon as the recording starts
    std::atomic<int> warmUps{0};
    std::atomic<bool> ready{true}; // what warmUp() answers

    void start() override
    {
        if (holdStart)
            startGate.acquire();
        if (failStart)
            throw std::runtime_error("no device");
        if (onBuffer && !startPcm.isEmpty())
            onBuffer(startPcm);
        ++starts;
    }
    bool warmUp() override
    {
        const bool answer = ready; // read before the count a test waits on
        ++warmUps;
        return answer;
    }
    // The sound server goes away.
    void lose()
    {
        if (onLost)
            onLost();
    }
    Recording stop() override
    {
        if (holdStop)
            stopGate.acquire();
        ++stops;
        return {QByteArray("RIFF-wav"), duration, QByteArray(32000, '\1'), 1234};
    }
    QByteArray pcm(qint64, qint64) override { return {}; }
};

// Holds a chunker's last pieces until the test opens it.
class ChunkGate : public QObject
{
    Q_OBJECT
public:
    bool closed = false;
Q_SIGNALS:
    void open();
};

class FakeChunker final : public DictationChunker
{
public:
    ChunkGate *gate = nullptr;
    int tasks = 1;
    bool cancelled = false;
    int *cancels = nullptr; // outlives the chunker
    void cut(qint64) override {}
    void cancel() override
    {
        cancelled = true;
        if (cancels)
            ++*cancels;
    }
    int taskCount() const override { return tasks; }
    QCoro::Task<std::optional<ChunkTexts>> finish(QByteArray) override
    {
        ++tasks;
        if (gate && gate->closed)
            co_await qCoro(gate, &ChunkGate::open);
        co_return ChunkTexts{QStringLiteral("brut"), QStringLiteral("propre")};
    }
};

// The road that tests hand recordings to: it waits for `release` before it ends.
class RoadProbe : public QObject
{
    Q_OBJECT
public:
    struct Run
    {
        quint64 seq;
        QUuid id;
        QByteArray wav;
        double duration;
        std::optional<ChunkTexts> pre;
        std::optional<QString> command; // the controller's commandText when the road began
    };
    QList<Run> runs;
    QList<bool> exits; // what finishRoad answered for each road that ended
Q_SIGNALS:
    void release();
};

RoadProbe *gRoad = nullptr;

QCoro::Task<> probeRoad(DictationController *controller, DictationController::RoadRun run)
{
    gRoad->runs.append({run.seq, run.id, run.wav, run.duration, run.pre, controller->commandText()});
    co_await qCoro(gRoad, &RoadProbe::release);
    gRoad->exits.append(controller->finishRoad(run.seq));
}

} // namespace

class TestDictationController : public QObject
{
    Q_OBJECT

    std::unique_ptr<DictationController> c_;
    FakeRecorder *recorder_ = nullptr;
    FakeChunker *lastChunker_ = nullptr;
    ChunkGate chunkGate_;
    int chunkerCancels_ = 0;
    std::unique_ptr<RoadProbe> road_;
    QStringList sounds_;
    int attention_ = 0;
    int keyTab_ = 0;
    QString frontName_;
    bool deepgramKey_ = true;
    bool openRouter_ = true;
    bool microphone_ = true;
    struct Kept
    {
        QUuid id;
        QByteArray wav;
        QString cause;
    };
    QList<Kept> kept_;
    std::unique_ptr<QTemporaryDir> spools_;
    QList<QUuid> released_;
    std::optional<QString> selection_;
    // When set, selection reads wait here until the test answers them.
    bool holdSelection_ = false;
    std::function<void(std::optional<QString>)> heldSelection_;
    int selectionReads_ = 0;

    // A clock and a timer queue that only the test moves.
    qint64 now_ = 100000;
    struct Due
    {
        qint64 at;
        std::function<void()> work;
    };
    QList<Due> due_;

    void advance(qint64 ms)
    {
        const qint64 target = now_ + ms;
        for (;;) {
            auto next = std::min_element(due_.begin(), due_.end(), [](const Due &a, const Due &b) { return a.at < b.at; });
            if (next == due_.end() || next->at > target)
                break;
            now_ = next->at;
            auto work = std::move(next->work);
            due_.erase(next);
            work();
        }
        now_ = target;
    }

    static constexpr quint64 kDown = 0x42000;

    void keyDown() { c_->hotkey().handle(62, kDown, 0, 7); }
    void keyUp() { c_->hotkey().handle(62, 0, 0, 7); }
    bool settle(const std::function<bool()> &done) { return TestEnv::waitFor(done, 3000); }
    static QByteArray log()
    {
        Log::waitUntilWritten();
        return TestEnv::readFile(Log::path());
    }

private Q_SLOTS:
    void init()
    {
        AppSettings *s = TestEnv::settings();
        s->setKey(DictationKey::RightControl);
        s->setSounds(true);
        s->setTranscriptionEngine(TranscriptionEngine::Gemini);
        s->setRewriteEngine(RewriteEngine::Local);
        s->setVoiceCommands(true);
        s->setTranslateApps({});
        sounds_.clear();
        attention_ = 0;
        keyTab_ = 0;
        deepgramKey_ = true;
        openRouter_ = true;
        microphone_ = true;
        kept_.clear();
        selection_.reset();
        holdSelection_ = false;
        heldSelection_ = {};
        selectionReads_ = 0;
        due_.clear();
        lastChunker_ = nullptr;
        chunkGate_.closed = false;
        chunkerCancels_ = 0;
        road_ = std::make_unique<RoadProbe>();
        gRoad = road_.get();

        DictationController::Services services;
        services.road = probeRoad;
        services.makeRecorder = [this] {
            auto r = std::make_unique<FakeRecorder>();
            recorder_ = r.get();
            return r;
        };
        services.makeChunker = [this](std::optional<QString>, std::function<QByteArray(qint64, qint64)>) {
            auto chunker = std::make_unique<FakeChunker>();
            chunker->cancels = &chunkerCancels_;
            chunker->gate = &chunkGate_;
            lastChunker_ = chunker.get();
            return std::unique_ptr<DictationChunker>(std::move(chunker));
        };
        services.hasDeepgramKey = [this] { return deepgramKey_; };
        services.openRouterReachable = [this] { return openRouter_; };
        services.keepRecording = [this](Dictation entry, QByteArray wav, QString cause) { kept_.append({entry.id, wav, cause}); };
        services.microphoneAvailable = [this] { return microphone_; };
        spools_ = std::make_unique<QTemporaryDir>();
        released_.clear();
        services.spoolPath = [this](QUuid id) { return spools_->filePath(uuidText(id) + QStringLiteral(".wav")); };
        services.releaseSpool = [this](QUuid id) { released_ << id; };
        services.trusted = [] { return true; };
        services.readFocus = [this](std::function<void(Accessibility::FocusRead)> done) {
            ++selectionReads_;
            const auto answer = [done = std::move(done)](std::optional<QString> selection) {
                Accessibility::FocusRead read;
                read.selected = selection;
                done(read);
            };
            if (holdSelection_) {
                heldSelection_ = answer;
                return;
            }
            QMetaObject::invokeMethod(
                qApp, [answer, selection = selection_] { answer(selection); }, Qt::QueuedConnection);
        };
        frontName_ = QStringLiteral("Bloc-notes");
        services.frontmostApp = [this] {
            RunningApp app;
            app.name = frontName_;
            app.bundleId = QStringLiteral("org.example.Notes");
            return std::optional<RunningApp>(app);
        };
        services.playSound = [this](const QString &name) { sounds_ << name; };
        c_ = std::make_unique<DictationController>(TestEnv::settings(), services);
        c_->clock = [this] { return now_; };
        c_->hotkey().clock = [this] { return now_; };
        c_->after = [this](int ms, std::function<void()> work) { due_.append({now_ + ms, std::move(work)}); };
        connect(c_.get(), &DictationController::needsAttention, this, [this] { ++attention_; });
        connect(c_.get(), &DictationController::needsKey, this, [this] { ++keyTab_; });
    }

    void cleanup()
    {
        if (recorder_ && recorder_->holdStart)
            recorder_->startGate.release(10);
        if (recorder_ && recorder_->holdStop)
            recorder_->stopGate.release(10);
        c_.reset();
        recorder_ = nullptr;
    }

    // A selection action shows the application in front, not the last
    // dictation's; one refused because a dictation is under way changes nothing.
    void selectionActionShowsTheApplicationInFront_data()
    {
        QTest::addColumn<bool>("recording");
        QTest::addColumn<QString>("shown");
        QTest::newRow("idle") << false << "XTerm";
        QTest::newRow("while recording") << true << "Bloc-notes";
    }
    void selectionActionShowsTheApplicationInFront()
    {
        QFETCH(bool, recording);
        QFETCH(QString, shown);
        if (recording)
            keyDown();
        frontName_ = QStringLiteral("XTerm");
        c_->correctSelection(true, false);
        QCOMPARE(c_->targetAppName(), shown);
    }

    // The recording is on disk while the key is held (a kill then loses
    // nothing) and its spool is let go only once the dictation is settled.
    void spoolFollowsTheDictation_data()
    {
        QTest::addColumn<QString>("ending");
        QTest::newRow("processed") << "processed";
        QTest::newRow("too short") << "short";
        QTest::newRow("cancelled") << "cancelled";
    }
    void spoolFollowsTheDictation()
    {
        QFETCH(QString, ending);
        recorder_->startPcm = QByteArray(6400, '\x11');
        if (ending == QLatin1String("short"))
            recorder_->duration = 0.2;
        keyDown();
        QVERIFY(settle([&] { return recorder_->starts == 1; }));
        const QStringList files = QDir(spools_->path()).entryList(QDir::Files);
        QCOMPARE(files.size(), 1);
        const QString spool = spools_->filePath(files.first());
        const QUuid id = QUuid::fromString(files.first().chopped(4));
        QCOMPARE(TestEnv::readFile(spool).mid(44), recorder_->startPcm);

        if (ending == QLatin1String("cancelled")) {
            c_->cancel();
            QVERIFY(settle([&] { return c_->state() == DictationController::State::Idle; }));
            QVERIFY(!QFile::exists(spool)); // the user threw it away
            return;
        }
        advance(1000);
        keyUp();
        if (ending == QLatin1String("short")) {
            QVERIFY(settle([&] { return c_->state() == DictationController::State::Idle; }));
            QCOMPARE(released_, QList<QUuid>{id});
            return;
        }
        QVERIFY(settle([&] { return road_->runs.size() == 1; }));
        QCOMPARE(road_->runs[0].id, id);
        // Its header now has the real sizes; it stays while the road works.
        const QByteArray file = TestEnv::readFile(spool);
        QCOMPARE(qFromLittleEndian<quint32>(file.constData() + 40), quint32(recorder_->startPcm.size()));
        QVERIFY(released_.isEmpty());
        Q_EMIT road_->release();
        QVERIFY(settle([&] { return !released_.isEmpty(); }));
        QCOMPARE(released_, QList<QUuid>{id});
    }

    // The sound server goes away mid-dictation: "Micro perdu", what was said
    // goes through the road, and the microphone is sought again until found.
    void microphoneLostKeepsWhatWasSaid()
    {
        recorder_->ready = false;
        keyDown();
        QVERIFY(settle([&] { return recorder_->starts == 1; }));
        advance(2500);
        recorder_->lose();
        QVERIFY(settle([&] { return road_->runs.size() == 1; }));
        QCOMPARE(c_->flashText(), QStringLiteral("Micro perdu"));
        QVERIFY(c_->flashIsError());
        QCOMPARE(recorder_->stops.load(), 1);
        QCOMPARE(road_->runs[0].duration, 1.0);
        QVERIFY(log().contains("micro perdu pendant l'enregistrement"));

        const int before = recorder_->warmUps;
        advance(1000);
        QVERIFY(settle([&] { return recorder_->warmUps == before + 1; }));
        recorder_->ready = true;
        // The failed attempt schedules the next one a second later, when the
        // "Micro perdu" flash also ends.
        QVERIFY(settle([&] { return std::count_if(due_.cbegin(), due_.cend(), [&](const Due &d) { return d.at == now_ + 1000; }) == 2; }));
        advance(1000);
        QVERIFY(settle([&] { return recorder_->warmUps == before + 2; }));
        QVERIFY(settle([&] { return log().contains("micro retrouvé"); }));
        // Found: no more attempts.
        QVERIFY(std::none_of(due_.cbegin(), due_.cend(), [&](const Due &d) { return d.at == now_ + 1000; }));
        Q_EMIT road_->release();
    }

    void holdingTheKeyRecordsAndHandsOver()
    {
        keyDown();
        QCOMPARE(c_->state(), DictationController::State::Recording);
        QCOMPARE(sounds_, QStringList{QStringLiteral("Tink")});
        QCOMPARE(c_->targetAppName(), QStringLiteral("Bloc-notes"));
        QVERIFY(settle([&] { return recorder_->starts == 1; }));
        advance(1000);
        keyUp();
        QCOMPARE(c_->state(), DictationController::State::Processing);
        QCOMPARE(sounds_, (QStringList{QStringLiteral("Tink"), QStringLiteral("Pop")}));
        QVERIFY(settle([&] { return road_->runs.size() == 1; }));
        QCOMPARE(road_->runs[0].wav, QByteArray("RIFF-wav"));
        QCOMPARE(road_->runs[0].duration, 1.0);
        QVERIFY(!road_->runs[0].pre);
        const QByteArray text = log();
        QVERIFY(text.contains("enregistrement: début (appli Bloc-notes)"));
        QVERIFY(text.contains("enregistrement: fin, 1.00 s, niveau max 1234"));
        QVERIFY(text.contains("touche: rightControl enfoncée (0x42000, source clavier, état 7)"));
        QVERIFY(text.contains("touche: rightControl relâchée (0x0, source clavier, état 7)"));

        // A press while the road works starts nothing.
        keyDown();
        QCOMPARE(c_->flash(), std::optional<QString>(QStringLiteral("Un instant, je termine…")));
        QVERIFY(!c_->flashIsError());
        keyUp();
        Q_EMIT road_->release();
        QVERIFY(settle([&] { return road_->exits.size() == 1; }));
        QCOMPARE(road_->exits[0], true);
        QCOMPARE(c_->state(), DictationController::State::Idle);
        QCOMPARE(recorder_->starts, 1);
    }

    void handsFree_data()
    {
        QTest::addColumn<int>("secondPressAfter");
        QTest::addColumn<bool>("ends");
        QTest::newRow("0.5 s after the first press: ignored") << 500 << false;
        QTest::newRow("0.8 s after: ends") << 800 << true;
    }

    void handsFree()
    {
        QFETCH(int, secondPressAfter);
        QFETCH(bool, ends);
        keyDown();
        advance(200);
        keyUp();
        QVERIFY(c_->handsFree());
        QCOMPARE(c_->state(), DictationController::State::Recording);
        advance(secondPressAfter - 200);
        keyDown();
        QCOMPARE(c_->state(), ends ? DictationController::State::Processing : DictationController::State::Recording);
        keyUp();
        QCOMPARE(c_->handsFree(), !ends);
        if (!ends) {
            advance(400);
            keyDown();
            QCOMPARE(c_->state(), DictationController::State::Processing);
        }
        QVERIFY(settle([&] { return road_->runs.size() == 1; }));
        QVERIFY(log().contains("dictée sans les mains"));
    }

    void shortRecordingsAreDropped_data()
    {
        QTest::addColumn<double>("duration");
        QTest::addColumn<int>("tapMs"); // 0: held until the release; else a hands-free tap
        QTest::addColumn<int>("endMs"); // the release, or the stop press, after the first press
        QTest::addColumn<int>("roads");
        QTest::addColumn<QString>("flash");
        const QString told = QStringLiteral("Rien d'enregistré, réessaie");
        QTest::newRow("0.3 s after a 0.7 s hold: told") << 0.3 << 0 << 700 << 0 << told;
        QTest::newRow("nothing after a 2 s hold: told") << 0.0 << 0 << 2000 << 0 << told;
        QTest::newRow("0.3 s of a hands-free dictation: told") << 0.3 << 200 << 800 << 0 << told;
        QTest::newRow("0.31 s: handed over") << 0.31 << 0 << 700 << 1 << QString();
    }

    void shortRecordingsAreDropped()
    {
        QFETCH(double, duration);
        QFETCH(int, tapMs);
        QFETCH(int, endMs);
        QFETCH(int, roads);
        QFETCH(QString, flash);
        keyDown();
        recorder_->duration = duration;
        if (tapMs > 0) {
            advance(tapMs);
            keyUp();
            QVERIFY(c_->handsFree());
            advance(endMs - tapMs);
            keyDown();
        } else {
            advance(endMs);
            keyUp();
        }
        QVERIFY(settle([&] { return c_->state() != DictationController::State::Processing || !road_->runs.isEmpty(); }));
        QTest::qWait(50);
        QCOMPARE(road_->runs.size(), roads);
        if (flash.isEmpty()) {
            QCOMPARE(c_->flash(), std::nullopt);
            QCOMPARE(sounds_, (QStringList{QStringLiteral("Tink"), QStringLiteral("Pop")}));
            return;
        }
        QCOMPARE(c_->state(), DictationController::State::Idle);
        QCOMPARE(c_->flash(), std::optional<QString>(flash));
        QVERIFY(c_->flashIsError());
        QCOMPARE(sounds_, (QStringList{QStringLiteral("Tink"), QStringLiteral("Pop"), QStringLiteral("Basso")}));
        QCOMPARE(attention_, 0);
        QVERIFY(log().contains(QByteArray(QByteArray("erreur: ") + flash.toUtf8())));
    }

    void escapeCancelsWithPopEvenWithoutSounds()
    {
        TestEnv::settings()->setSounds(false);
        keyDown();
        QVERIFY(c_->hotkey().dictating());
        QVERIFY(c_->hotkey().keyDown(53, kDown, false, 0)); // swallowed
        QVERIFY(settle([&] { return c_->state() == DictationController::State::Idle; }));
        QCOMPARE(sounds_, QStringList{QStringLiteral("Pop")});
        QCOMPARE(c_->flash(), std::optional<QString>(QStringLiteral("Dictée annulée")));
        QVERIFY(!c_->flashIsError());
        QVERIFY(!c_->hotkey().dictating());
        QVERIFY(!c_->hotkey().keyDown(53, 0, false, 0)); // Escape while idle reaches the application
        keyUp();
        QTest::qWait(50);
        QCOMPARE(road_->runs.size(), 0);
        QVERIFY(log().contains("dictée annulée"));
    }

    void aChordCancelsSilently()
    {
        keyDown();
        advance(150);
        c_->hotkey().keyDown(8, kDown, false, 0); // Ctrl+C with the right Control
        QVERIFY(settle([&] { return c_->state() == DictationController::State::Idle; }));
        advance(100);
        keyUp();
        QVERIFY(!c_->handsFree());
        QCOMPARE(sounds_, QStringList{QStringLiteral("Tink")}); // no "Pop", no "Basso"
        QCOMPARE(c_->flash(), std::nullopt);
        QTest::qWait(50);
        QCOMPARE(road_->runs.size(), 0);

        // A key after the first 0.6 s is no chord; the next press records normally.
        keyDown();
        advance(700);
        c_->hotkey().keyDown(0, kDown, false, 0);
        QTest::qWait(50);
        QCOMPARE(c_->state(), DictationController::State::Recording);
        keyUp();
        QVERIFY(settle([&] { return road_->runs.size() == 1; }));
    }

    void deepgramWithoutKeyFails()
    {
        TestEnv::settings()->setTranscriptionEngine(TranscriptionEngine::Deepgram);
        deepgramKey_ = false;
        keyDown();
        QCOMPARE(c_->state(), DictationController::State::Idle);
        QCOMPARE(c_->flash(), std::optional<QString>(QStringLiteral("Clé Deepgram absente")));
        QVERIFY(c_->flashIsError());
        QCOMPARE(c_->lastError(), std::optional<QString>(QStringLiteral("Clé Deepgram absente")));
        QCOMPARE(sounds_, QStringList{QStringLiteral("Basso")});
        QCOMPARE(keyTab_, 1);
        QTest::qWait(50);
        QCOMPARE(recorder_->starts, 0);
        QVERIFY(log().contains("erreur: Clé Deepgram absente"));
    }

    // The OpenRouter engines without a key or the hosted service are refused at
    // the press, before anything is recorded.
    void openRouterRouteIsCheckedAtThePress_data()
    {
        QTest::addColumn<TranscriptionEngine>("transcription");
        QTest::addColumn<RewriteEngine>("rewrite");
        QTest::addColumn<bool>("reachable");
        QTest::addColumn<bool>("refused");
        QTest::newRow("cloud audio model, no route") << TranscriptionEngine::Gemini << RewriteEngine::Local << false << true;
        QTest::newRow("OpenRouter rewrite, no route") << TranscriptionEngine::Local << RewriteEngine::OpenRouter << false << true;
        QTest::newRow("deepgram and OpenRouter rewrite, no route")
            << TranscriptionEngine::Deepgram << RewriteEngine::OpenRouter << false << true;
        QTest::newRow("on-device engines need none") << TranscriptionEngine::Local << RewriteEngine::Local << false << false;
        QTest::newRow("deepgram and basic clean-up need none")
            << TranscriptionEngine::Deepgram << RewriteEngine::None << false << false;
        QTest::newRow("key or hosted service") << TranscriptionEngine::Gemini << RewriteEngine::OpenRouter << true << false;
    }
    void openRouterRouteIsCheckedAtThePress()
    {
        QFETCH(TranscriptionEngine, transcription);
        QFETCH(RewriteEngine, rewrite);
        QFETCH(bool, reachable);
        QFETCH(bool, refused);
        TestEnv::settings()->setTranscriptionEngine(transcription);
        TestEnv::settings()->setRewriteEngine(rewrite);
        openRouter_ = reachable;
        keyDown();
        QCOMPARE(c_->state(), refused ? DictationController::State::Idle : DictationController::State::Recording);
        QCOMPARE(c_->flash(), refused ? std::optional<QString>(QStringLiteral("Clé OpenRouter absente")) : std::nullopt);
        QCOMPARE(keyTab_, refused ? 1 : 0);
        QCOMPARE(sounds_, QStringList{refused ? QStringLiteral("Basso") : QStringLiteral("Tink")});
        QTest::qWait(50);
        QCOMPARE(recorder_->starts, refused ? 0 : 1);
    }

    // The quit sequence waits a bounded time for the dictation under way; what
    // is still under way then keeps its recording instead of being lost.
    void quitWaitsThenKeeps_data()
    {
        QTest::addColumn<QString>("when");
        QTest::addColumn<int>("roadEndsAfterMs"); // -1: never
        QTest::addColumn<double>("duration");
        QTest::addColumn<bool>("clean");
        QTest::addColumn<QString>("cause"); // of the recording kept, "" for none
        QTest::newRow("idle") << "idle" << -1 << 1.0 << true << "";
        QTest::newRow("road ends within the wait") << "processing" << 100 << 1.0 << true << "";
        QTest::newRow("road still running") << "processing" << -1 << 1.0 << false << "fermeture pendant le traitement";
        QTest::newRow("recording in progress") << "recording" << -1 << 1.0 << true << "fermeture pendant l'enregistrement";
        QTest::newRow("too short a recording in progress") << "recording" << -1 << 0.2 << true << "";
    }
    void quitWaitsThenKeeps()
    {
        QFETCH(QString, when);
        QFETCH(int, roadEndsAfterMs);
        QFETCH(double, duration);
        QFETCH(bool, clean);
        QFETCH(QString, cause);
        recorder_->duration = duration;
        if (when != QLatin1String("idle")) {
            keyDown();
            QVERIFY(settle([&] { return recorder_->starts == 1; }));
            advance(1000);
        }
        if (when == QLatin1String("processing")) {
            keyUp();
            QVERIFY(settle([&] { return road_->runs.size() == 1; }));
        }
        if (roadEndsAfterMs >= 0)
            QTimer::singleShot(roadEndsAfterMs, road_.get(), [this] { Q_EMIT road_->release(); });

        QCOMPARE(c_->prepareToQuit(1000), clean);
        QCOMPARE(c_->state(), when == QLatin1String("processing") && !clean ? DictationController::State::Processing
                                                                           : DictationController::State::Idle);
        QCOMPARE(road_->exits.size(), roadEndsAfterMs >= 0 ? 1 : 0);
        QCOMPARE(kept_.size(), cause.isEmpty() ? 0 : 1);
        if (!cause.isEmpty()) {
            QCOMPARE(kept_[0].wav, QByteArray("RIFF-wav"));
            QCOMPARE(kept_[0].cause, cause);
            QVERIFY(!kept_[0].id.isNull());
            if (when == QLatin1String("processing"))
                QCOMPARE(kept_[0].id, road_->runs[0].id); // the name the road would have saved it under
        }
        if (when == QLatin1String("recording"))
            QVERIFY(road_->runs.isEmpty());
        if (!clean)
            QVERIFY(log().contains("fermeture: attente de la dictée en cours"));

        // Quitting: no new dictation starts.
        keyUp();
        advance(2000);
        const int starts = recorder_->starts;
        keyDown();
        QTest::qWait(20);
        QCOMPARE(recorder_->starts, starts);
        QVERIFY(c_->state() != DictationController::State::Recording);
    }

    void noSoundServerIsAnUnavailableMicrophone()
    {
        microphone_ = false;
        keyDown();
        QCOMPARE(c_->state(), DictationController::State::Idle);
        QCOMPARE(c_->flash(), std::optional<QString>(QStringLiteral("Micro indisponible")));
        QCOMPARE(attention_, 0);
    }

    void aFailedStartLeavesHandsFreeMode()
    {
        recorder_->holdStart = true;
        recorder_->failStart = true;
        keyDown();
        advance(200);
        keyUp(); // a tap: hands-free, while the recorder is still starting
        QVERIFY(c_->handsFree());
        recorder_->startGate.release();
        QVERIFY(settle([&] { return c_->state() == DictationController::State::Idle; }));
        QCOMPARE(c_->flash(), std::optional<QString>(QStringLiteral("Micro indisponible")));
        QCOMPARE(attention_, 0);
        QVERIFY(!c_->handsFree());

        recorder_->holdStart = false;
        recorder_->failStart = false;
        advance(300);
        keyDown(); // starts a new dictation rather than "ending" the failed one
        QCOMPARE(c_->state(), DictationController::State::Recording);
        QVERIFY(settle([&] { return recorder_->starts == 1; }));
    }

    // A key failure opens the tab where keys are entered; the other settings
    // failures the settings as they were.
    void attentionRule_data()
    {
        QTest::addColumn<QString>("message");
        QTest::addColumn<bool>("attention");
        QTest::addColumn<bool>("keyTab");
        QTest::newRow("key") << "Clé Deepgram absente" << false << true;
        QTest::newRow("refused key") << "Clé OpenRouter refusée" << false << true;
        QTest::newRow("authorisation") << "Micro non autorisé" << true << false;
        QTest::newRow("accessibility") << "Accessibilité non autorisée" << true << false;
        QTest::newRow("capitals") << "CLÉ OpenRouter absente" << false << true;
        QTest::newRow("unavailable microphone") << "Micro indisponible" << false << false;
        QTest::newRow("network") << "Le réseau ne répond pas, réessaie" << false << false;
    }

    void attentionRule()
    {
        QFETCH(QString, message);
        QFETCH(bool, attention);
        QFETCH(bool, keyTab);
        c_->fail(message);
        QCOMPARE(attention_, attention ? 1 : 0);
        QCOMPARE(keyTab_, keyTab ? 1 : 0);
        QCOMPARE(sounds_, QStringList{QStringLiteral("Basso")});
    }

    // The capsule shows what fits; the last error keeps it whole, the journal
    // whole but for a service's own text.
    void capsuleTextFits_data()
    {
        QTest::addColumn<QString>("message");
        QTest::addColumn<QString>("shown");
        QTest::addColumn<QString>("journal");
        QTest::newRow("short") << u"Clé OpenRouter refusée"_s << u"Clé OpenRouter refusée"_s << u"Clé OpenRouter refusée"_s;
        QTest::newRow("long, cut at a word")
            << u"Reconnaissance locale : erreur 0 non disponible sur cet ordinateur (serveur local requis)"_s
            << u"Reconnaissance locale : erreur 0 non disponible sur cet…"_s
            << u"Reconnaissance locale : erreur 0 non disponible sur cet ordinateur (serveur local requis)"_s;
        QTest::newRow("line breaks flattened") << u"OpenRouter : erreur 500\n{}"_s << u"OpenRouter : erreur 500 {}"_s
                                               << u"OpenRouter : erreur 500"_s;
    }

    void capsuleTextFits()
    {
        QFETCH(QString, message);
        QFETCH(QString, shown);
        QFETCH(QString, journal);
        c_->fail(message);
        QCOMPARE(c_->flash(), std::optional<QString>(shown));
        QCOMPARE(c_->lastError(), std::optional<QString>(message));
        QVERIFY(log().contains((u"erreur: "_s + journal + u'\n').toUtf8()));
    }

    void aFlashIsClearedOnlyByItsOwnTimer()
    {
        c_->show(QStringLiteral("Échec"), true);
        advance(1500);
        c_->show(QStringLiteral("Échec"), true); // the same text again
        advance(600);
        QCOMPARE(c_->flash(), std::optional<QString>(QStringLiteral("Échec")));
        advance(1400);
        QCOMPARE(c_->flash(), std::nullopt);
        QVERIFY(c_->flashIsError()); // keeps its value
    }

    void watchdogActsOnlyOnItsOwnRoad()
    {
        QSignalSpy failures(c_.get(), &DictationController::lastErrorChanged);
        // Road 1 ends after 12 s.
        c_->setState(DictationController::State::Processing);
        c_->process("a", 1.0, std::nullopt, std::nullopt);
        QCOMPARE(road_->runs.size(), 1);
        advance(12000);
        Q_EMIT road_->release();
        QVERIFY(settle([&] { return road_->exits.size() == 1; }));
        QCOMPARE(c_->state(), DictationController::State::Idle);

        // Road 2 starts at 30 s; road 1's watchdog at 40 s must leave it alone.
        advance(18000);
        c_->setState(DictationController::State::Processing);
        c_->process("b", 1.0, std::nullopt, std::nullopt);
        advance(10001);
        QCOMPARE(c_->state(), DictationController::State::Processing);
        QCOMPARE(failures.count(), 0);

        // Road 2's own watchdog gives up on it at 70 s.
        advance(30000);
        QCOMPARE(c_->state(), DictationController::State::Idle);
        QCOMPARE(c_->lastError(), std::optional<QString>(QStringLiteral("Le réseau ne répond pas, réessaie")));
        QCOMPARE(sounds_, QStringList{QStringLiteral("Basso")});

        // A new dictation records; road 2 ending late does not touch its state.
        keyDown();
        QCOMPARE(c_->state(), DictationController::State::Recording);
        Q_EMIT road_->release();
        QVERIFY(settle([&] { return road_->exits.size() == 2; }));
        QCOMPARE(road_->exits[1], false);
        QCOMPARE(c_->state(), DictationController::State::Recording);
    }

    // The watchdog counts from the key's release: chunks that never come back
    // end the wait at 40 s with the retry message, and the road that follows
    // when they do is no longer the controller's.
    void watchdogCoversTheWaitForTheChunks()
    {
        TestEnv::settings()->setVoiceCommands(false);
        TestEnv::settings()->setRewriteEngine(RewriteEngine::OpenRouter);
        chunkGate_.closed = true;
        keyDown();
        QVERIFY(lastChunker_);
        advance(2000);
        keyUp();
        QVERIFY(settle([&] { return recorder_->stops == 1; }));
        QTest::qWait(20);
        QCOMPARE(c_->state(), DictationController::State::Processing);
        advance(39999);
        QCOMPARE(c_->state(), DictationController::State::Processing);
        advance(1);
        QCOMPARE(c_->state(), DictationController::State::Idle);
        QCOMPARE(c_->lastError(), std::optional<QString>(QStringLiteral("Le réseau ne répond pas, réessaie")));
        Q_EMIT chunkGate_.open();
        QVERIFY(settle([&] { return road_->runs.size() == 1; }));
        keyDown(); // the user has moved on
        Q_EMIT road_->release();
        QVERIFY(settle([&] { return road_->exits.size() == 1; }));
        QCOMPARE(road_->exits[0], false);
        QCOMPARE(c_->state(), DictationController::State::Recording);
    }

    void aRoadThatForgetsItsExitStillEnds()
    {
        c_->services().road = [](DictationController *, DictationController::RoadRun) -> QCoro::Task<> { co_return; };
        c_->setState(DictationController::State::Processing);
        c_->setCommandText(QStringLiteral("texte"));
        c_->process("a", 1.0, std::nullopt, std::nullopt);
        QVERIFY(settle([&] { return c_->state() == DictationController::State::Idle; }));
        QCOMPARE(c_->commandText(), std::nullopt);
        advance(40000);
        QCOMPARE(c_->lastError(), std::nullopt);
    }

    // A road ended by an exception: idle at once and the failure told, not
    // left to the watchdog.
    void aRoadThatThrowsEnds_data()
    {
        QTest::addColumn<bool>("engine");
        QTest::addColumn<QString>("message");
        QTest::newRow("any exception: its text") << false << "panne du disque";
        QTest::newRow("engine failure: its own message") << true << EngineError::http(QStringLiteral("OpenRouter"), 502, QStringLiteral("Bad gateway")).description();
    }
    void aRoadThatThrowsEnds()
    {
        QFETCH(bool, engine);
        QFETCH(QString, message);
        c_->services().road = [engine](DictationController *, DictationController::RoadRun) -> QCoro::Task<> {
            if (engine)
                throw EngineError::http(QStringLiteral("OpenRouter"), 502, QStringLiteral("Bad gateway"));
            throw std::runtime_error("panne du disque");
            co_return;
        };
        c_->setState(DictationController::State::Processing);
        c_->process("a", 1.0, std::nullopt, std::nullopt);
        QVERIFY(settle([&] { return c_->state() == DictationController::State::Idle; }));
        QCOMPARE(c_->lastError(), std::optional<QString>(message));
        QVERIFY(c_->flashIsError());
        QCOMPARE(sounds_, QStringList{QStringLiteral("Basso")});
    }

    void selectionAndChunker_data()
    {
        QTest::addColumn<QString>("selection");
        QTest::addColumn<bool>("command");
        QTest::newRow("blank selection: chunked") << " \n " << false;
        QTest::newRow("real selection: a voice command") << "Bonjour" << true;
    }

    void selectionAndChunker()
    {
        QFETCH(QString, selection);
        QFETCH(bool, command);
        TestEnv::settings()->setRewriteEngine(RewriteEngine::OpenRouter);
        selection_ = selection;
        keyDown();
        QVERIFY(lastChunker_);
        QVERIFY(settle([&] { return selectionReads_ == 1 && c_->commandText().has_value() == command; }));
        QTest::qWait(20);
        QCOMPARE(c_->commandText().has_value(), command);
        // An instruction is never cut into chunks.
        QCOMPARE(chunkerCancels_, command ? 1 : 0);
        advance(1000);
        keyUp();
        QVERIFY(settle([&] { return road_->runs.size() == 1; }));
        QCOMPARE(road_->runs[0].pre.has_value(), !command);
        if (!command) {
            QCOMPARE(road_->runs[0].pre->clean, QStringLiteral("propre"));
            QVERIFY(log().contains("morceaux: 2 traités pendant la dictée"));
        } else {
            QVERIFY(log().contains("commande: 7 caractères sélectionnés"));
        }
    }

    // The selection is read while the microphone already records; the recording
    // reaches the road only once the selection is known.
    void theSelectionIsReadWhileRecording_data()
    {
        QTest::addColumn<QString>("answered");
        QTest::addColumn<QString>("selection"); // a null string: none
        QTest::addColumn<bool>("command");
        QTest::newRow("while recording, a selection") << "recording" << "allé a la plage" << true;
        QTest::newRow("while recording, none") << "recording" << QString() << false;
        QTest::newRow("after the release, a selection") << "released" << "allé a la plage" << true;
        QTest::newRow("after the release, blank") << "released" << " " << false;
        QTest::newRow("while the recording stops, a selection") << "stopping" << "allé a la plage" << true;
        QTest::newRow("after a cancellation") << "cancelled" << "allé a la plage" << false;
        QTest::newRow("never: quit while waiting") << "quit" << QString() << false;
    }

    void theSelectionIsReadWhileRecording()
    {
        QFETCH(QString, answered);
        QFETCH(QString, selection);
        QFETCH(bool, command);
        TestEnv::settings()->setRewriteEngine(RewriteEngine::OpenRouter);
        holdSelection_ = true;
        const auto answer = [&] {
            QVERIFY(heldSelection_);
            std::exchange(heldSelection_, {})(selection.isNull() ? std::nullopt : std::optional<QString>(selection));
        };

        keyDown();
        QCOMPARE(selectionReads_, 1);
        // The microphone does not wait for the selection.
        QVERIFY(settle([&] { return recorder_->starts == 1; }));
        QCOMPARE(c_->state(), DictationController::State::Recording);
        QCOMPARE(c_->commandText(), std::nullopt);

        if (answered == QStringLiteral("recording")) {
            answer();
            QCOMPARE(c_->commandText().has_value(), command);
        } else if (answered == QStringLiteral("cancelled")) {
            c_->cancel();
            QVERIFY(settle([&] { return c_->state() == DictationController::State::Idle; }));
            answer();
            QCOMPARE(c_->commandText(), std::nullopt);
            QCOMPARE(c_->state(), DictationController::State::Idle);
            QVERIFY(road_->runs.isEmpty());
            return;
        }
        advance(1000);
        if (answered == QStringLiteral("stopping")) {
            recorder_->holdStop = true;
            keyUp();
            QCOMPARE(c_->state(), DictationController::State::Processing);
            answer();
            recorder_->stopGate.release();
        } else {
            keyUp();
        }
        QVERIFY(settle([&] { return recorder_->stops == 1; }));
        if (answered != QStringLiteral("recording") && answered != QStringLiteral("stopping")) {
            // Handed over, but held back until the selection is known.
            QTest::qWait(50);
            QVERIFY(road_->runs.isEmpty());
            QCOMPARE(c_->state(), DictationController::State::Processing);
            if (answered == QStringLiteral("quit")) {
                c_->prepareToQuit(100);
                QVERIFY(road_->runs.isEmpty());
                QCOMPARE(kept_.size(), 1);
                QCOMPARE(kept_[0].wav, QByteArray("RIFF-wav"));
                return;
            }
            answer();
        }
        QVERIFY(settle([&] { return road_->runs.size() == 1; }));
        QCOMPARE(road_->runs[0].command.has_value(), command);
        if (command)
            QCOMPARE(*road_->runs[0].command, selection);
        // A dictation keeps the chunks cut while it recorded; an instruction has none.
        QCOMPARE(road_->runs[0].pre.has_value(), !command);
        Q_EMIT road_->release();
        QVERIFY(settle([&] { return c_->state() == DictationController::State::Idle; }));
    }

    // A tap starts hands-free mode however long the selection takes.
    void aTapIsATapWhileTheSelectionHangs()
    {
        holdSelection_ = true;
        keyDown();
        advance(200);
        keyUp();
        QVERIFY(c_->handsFree());
        QCOMPARE(c_->state(), DictationController::State::Recording);
        QVERIFY(settle([&] { return recorder_->starts == 1; }));
    }

    void shiftOrTheTranslateListMarksTranslation()
    {
        TestEnv::settings()->setTranslateApps({QStringLiteral("org.example.Notes")});
        keyDown();
        QVERIFY(c_->translateThis());
        c_->cancel();
        QVERIFY(settle([&] { return c_->state() == DictationController::State::Idle; }));
        keyUp();

        TestEnv::settings()->setTranslateApps({});
        c_->hotkey().modifierChange(56, 0x20002, 0, 7); // left Shift held
        keyDown();
        QVERIFY(c_->translateThis());
        c_->cancel();
        QVERIFY(settle([&] { return c_->state() == DictationController::State::Idle; }));
        keyUp();
        c_->hotkey().modifierChange(56, 0, 0, 7);
        QTest::qWait(20);
        keyDown();
        QVERIFY(!c_->translateThis());
    }

    void withoutARoadTheFailureIsShown()
    {
        c_->services().road = nullptr;
        c_->setState(DictationController::State::Processing);
        c_->process("a", 1.0, std::nullopt, std::nullopt);
        QCOMPARE(c_->state(), DictationController::State::Idle);
        QVERIFY(c_->flashIsError());
    }
};

OMBRY_TEST_MAIN(TestDictationController)
#include "tst_dictationcontroller.moc"
