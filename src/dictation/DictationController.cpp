#include "dictation/DictationController.h"

#include "audio/AudioRecorder.h"
#include "audio/LivePreview.h"
#include "audio/MeetingSpool.h"
#include "dictation/Chunker.h"
#include "dictation/Paster.h"
#include "dictation/ProcessingRoad.h"
#include "dictation/SelectionActions.h"
#include "engines/EngineError.h"
#include "engines/Net.h"
#include "engines/Tone.h"
#include "model/AppSettings.h"
#include "core/Clock.h"
#include "model/KeyStore.h"
#include "core/Log.h"
#include "model/TextUtil.h"
#include "platform/KeyTable.h"
#include "platform/Permissions.h"
#include "platform/Sounds.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QFile>
#include <QMutex>
#include <QThread>
#include <QTimer>

namespace {

constexpr qint64 kHandsFreeTapMs = 600;   // a shorter hold starts hands-free mode
constexpr qint64 kHandsFreeStopMs = 700;  // the stop press must come this long after the first
constexpr double kShortestRecording = 0.3;
constexpr int kWatchdogMs = 40000;
constexpr int kFlashMs = 2000;
constexpr int kTrustPollMs = 2000;

const QString kBusy = QStringLiteral("Un instant, je termine…");
const QString kNoDeepgramKey = QStringLiteral("Clé Deepgram absente");
const QString kNoMicrophone = QStringLiteral("Micro indisponible");
const QString kCancelled = QStringLiteral("Dictée annulée");
const QString kNetworkStuck = QStringLiteral("Le réseau ne répond pas, réessaie");
const QString kQuitProcessing = QStringLiteral("fermeture pendant le traitement");
const QString kQuitRecording = QStringLiteral("fermeture pendant l'enregistrement");
const QString kNothingRecorded = QStringLiteral("Rien d'enregistré, réessaie");
const QString kMicrophoneLost = QStringLiteral("Micro perdu");
constexpr int kReconnectMs = 1000;

QString boolText(bool value)
{
    return value ? QStringLiteral("true") : QStringLiteral("false");
}

// A processing that ended on an exception: logged; the text to tell the user.
QString uncaught(const std::exception &error)
{
    Log::write(QStringLiteral("traitement: exception (") + describe(error) + QLatin1Char(')'));
    return describe(error);
}

} // namespace

// A recording being worked on, from its hand-over until its road ends: what the
// quit sequence waits for, or keeps.
class DictationController::Underway
{
public:
    Underway(DictationController *controller, const QUuid &id, const QByteArray &wav, Dictation entry)
        : controller_(controller), id_(id)
    {
        controller->underway_.insert(id, Kept{std::move(entry), wav});
    }
    ~Underway()
    {
        if (!controller_)
            return;
        // Ended by its road: in the history, or not to be kept (a voice command).
        if (controller_->underway_.remove(id_))
            controller_->releaseSpool(id_);
        controller_->wakeQuitWait();
    }
    Underway(const Underway &) = delete;
    Underway &operator=(const Underway &) = delete;

private:
    QPointer<DictationController> controller_;
    QUuid id_;
};

// The spool that the recorder's thread writes each block into.
struct DictationController::SpoolSlot
{
    QMutex lock;
    std::shared_ptr<MeetingSpool> spool;
};


DictationController::DictationController(Services services, QObject *parent)
    : QObject(parent), services_(std::move(services)), spoolSlot_(std::make_shared<SpoolSlot>())
{
    clock = Clock::monotonicMs;
    after = [this](int ms, std::function<void()> work) { QTimer::singleShot(ms, this, std::move(work)); };
    startedAt_ = QDateTime::currentDateTime();
    pressedAt_ = clock();
    if (services_.trusted)
        trusted_ = services_.trusted();

    audioThread_ = new QThread(this);
    audioThread_->setObjectName(QStringLiteral("kesso.audio"));
    audioContext_ = new QObject;
    audioContext_->moveToThread(audioThread_);
    audioThread_->start(QThread::HighestPriority);

    if (services_.makeRecorder)
        recorder_ = services_.makeRecorder();
    wire();
}

bool DictationController::livePreviewAvailable()
{
    return LivePreview::available;
}

DictationController::~DictationController()
{
    audioThread_->quit();
    audioThread_->wait();
    delete audioContext_;
}

void DictationController::wire()
{
    QPointer<DictationController> self(this);
    hotkey_.onPress = [self] {
        if (self)
            self->press();
    };
    hotkey_.onRelease = [self] {
        if (self)
            self->release();
    };
    hotkey_.onChord = [self] {
        if (self)
            self->chord();
    };
    hotkey_.onCancel = [self] {
        if (self)
            self->cancel();
    };
    hotkey_.onPasteLast = [self] {
        if (self)
            self->pasteLast();
    };
    hotkey_.onCorrect = [self] {
        if (self)
            self->correctSelection(false, false);
    };
    hotkey_.onDoubleCopy = [self] {
        if (self)
            self->correctSelection(true, false);
    };
    hotkey_.onTripleCopy = [self] {
        if (self)
            self->correctSelection(true, true);
    };
    hotkey_.onSpeak = [self] {
        if (self)
            self->speakSelection();
    };
    if (recorder_) {
        recorder_->onLevel = [self](double level) {
            if (self)
                self->setLevel(level);
        };
        recorder_->onBuffer = [slot = spoolSlot_](QByteArrayView pcm) {
            QMutexLocker locker(&slot->lock);
            if (slot->spool)
                slot->spool->append(pcm);
        };
        recorder_->onLost = [self] {
            QMetaObject::invokeMethod(qApp, [self] {
                if (self)
                    self->microphoneLost();
            });
        };
        recorder_->onPause = [self](qint64 bytes) {
            QMetaObject::invokeMethod(qApp, [self, bytes] {
                if (self && self->state_ == State::Recording && self->chunker_)
                    self->chunker_->cut(bytes);
            });
        };
    }
}

void DictationController::onAudio(std::function<void()> work)
{
    QMetaObject::invokeMethod(audioContext_, std::move(work));
}

void DictationController::onMain(std::function<void()> work)
{
    QMetaObject::invokeMethod(this, std::move(work));
}

void DictationController::play(const QString &name)
{
    if (services_.playSound)
        services_.playSound(name);
}

// Observed properties: a notification only when the value changes.

void DictationController::setState(State state)
{
    if (state_ == state)
        return;
    // Leaving a recording by any road ends hands-free mode, so the next press
    // starts a dictation (also after a recorder that failed to start).
    if (state_ == State::Recording)
        setHandsFree(false);
    state_ = state;
    hotkey_.setDictating(state == State::Recording);
    Q_EMIT stateChanged();
}

void DictationController::setLastError(const std::optional<QString> &message)
{
    if (lastError_ == message)
        return;
    lastError_ = message;
    Q_EMIT lastErrorChanged();
}

void DictationController::setFlash(const std::optional<QString> &text, bool error)
{
    if (flash_ != text) {
        flash_ = text;
        Q_EMIT flashChanged();
    }
    if (flashIsError_ != error) {
        flashIsError_ = error;
        Q_EMIT flashIsErrorChanged();
    }
}

void DictationController::setLevel(double level)
{
    if (level_ == level)
        return;
    level_ = level;
    Q_EMIT levelChanged();
}

void DictationController::setLiveText(const QString &text)
{
    if (liveText_ == text)
        return;
    liveText_ = text;
    Q_EMIT liveTextChanged();
}

void DictationController::setCommandText(const std::optional<QString> &text)
{
    if (commandText_ == text)
        return;
    commandText_ = text;
    Q_EMIT commandTextChanged();
}

void DictationController::setTranslating(bool on)
{
    if (translating_ == on)
        return;
    translating_ = on;
    Q_EMIT translatingChanged();
}

void DictationController::setHandsFree(bool on)
{
    if (handsFree_ == on)
        return;
    handsFree_ = on;
    Q_EMIT handsFreeChanged();
}

void DictationController::setTrusted(bool on)
{
    if (trusted_ == on)
        return;
    trusted_ = on;
    Q_EMIT trustedChanged();
}

void DictationController::setTranslateThis(bool on)
{
    if (translateThis_ == on)
        return;
    translateThis_ = on;
    Q_EMIT translateThisChanged();
}

void DictationController::setTargetApp(const std::optional<RunningApp> &app)
{
    if (targetApp_ == app)
        return;
    targetApp_ = app;
    Q_EMIT targetAppChanged();
}

// Start-up.

void DictationController::start()
{
    const bool microphone = services_.microphoneAvailable ? services_.microphoneAvailable() : false;
    setTrusted(services_.trusted ? services_.trusted() : false);
    const bool deepgram = services_.hasDeepgramKey && services_.hasDeepgramKey();
    Log::write(QStringLiteral("démarrage: micro=%1 accessibilité=%2 deepgram=%3")
                   .arg(boolText(microphone), boolText(trusted_), boolText(deepgram)));
    hotkey_.start();
    FrontmostApp::resolveDesktopEntry({}, {}, {}); // reads the desktop files now, not at the first press
    Sounds::preload();
    if (!trusted_)
        Q_EMIT needsAttention();
    if (!trustTimer_) {
        trustTimer_ = new QTimer(this);
        trustTimer_->setInterval(kTrustPollMs);
        connect(trustTimer_, &QTimer::timeout, this, &DictationController::pollTrust);
        trustTimer_->start();
    }
}

void DictationController::pollTrust()
{
    const bool now = services_.trusted ? services_.trusted() : false;
    if (now == trusted_)
        return;
    setTrusted(now);
    Log::write(QStringLiteral("accessibilité=") + boolText(now));
    hotkey_.restart();
}

void DictationController::warmUpAudio()
{
    DictationRecorder *recorder = recorder_.get();
    if (recorder)
        onAudio([recorder] { recorder->warmUp(); });
}

// Key rules.

void DictationController::press()
{
    if (!handsFree_) {
        pressedAt_ = clock();
        begin();
        return;
    }
    if (clock() - pressedAt_ >= kHandsFreeStopMs) {
        setHandsFree(false);
        end();
    }
}

void DictationController::release()
{
    if (state_ != State::Recording || handsFree_)
        return;
    if (clock() - pressedAt_ < kHandsFreeTapMs) {
        setHandsFree(true);
        Log::write(QStringLiteral("dictée sans les mains"));
        return;
    }
    end();
}

void DictationController::chord()
{
    if (state_ == State::Recording && !handsFree_)
        abandon();
}

void DictationController::begin()
{
    if (state_ == State::Processing || state_ == State::Correcting) {
        show(kBusy, false);
        return;
    }
    if (state_ == State::Recording || quitting_)
        return;
    const AppSettings *settings = AppSettings::shared();
    if (settings->transcriptionEngine() == TranscriptionEngine::Deepgram
        && !(services_.hasDeepgramKey && services_.hasDeepgramKey())) {
        fail(kNoDeepgramKey);
        return;
    }
    // The cloud audio model and the OpenRouter rewrite need a key or the hosted
    // service; without either, say so now rather than after the user has spoken.
    const bool needsOpenRouter = settings->transcriptionEngine() == TranscriptionEngine::Gemini
                                 || settings->rewriteEngine() == RewriteEngine::OpenRouter;
    if (needsOpenRouter && services_.openRouterReachable && !services_.openRouterReachable()) {
        fail(EngineError::missingKey(QStringLiteral("OpenRouter")).description());
        return;
    }
    // Linux asks no permission for the microphone: a sound server that does not
    // answer is an unavailable microphone.
    if (services_.microphoneAvailable && !services_.microphoneAvailable()) {
        fail(kNoMicrophone);
        return;
    }

    setTargetApp(services_.frontmostApp ? services_.frontmostApp() : std::nullopt);
    // The microphone opens before anything else is asked of the desktop: the
    // first words are spoken right after the press.
    const QString appName = targetApp_ && !targetApp_->name.isEmpty() ? targetApp_->name : QStringLiteral("?");
    DictationRecorder *recorder = recorder_.get();
    QPointer<DictationController> self(this);
    recordingId_ = QUuid::createUuid();
    const QString spoolPath = services_.spoolPath ? services_.spoolPath(recordingId_) : QString();
    onAudio([self, recorder, appName, spoolPath, slot = spoolSlot_] {
        // What is said goes to disk as it is said: a crash or a kill keeps it.
        std::shared_ptr<MeetingSpool> spool;
        if (!spoolPath.isEmpty()) {
            spool = std::make_shared<MeetingSpool>();
            if (!spool->open(spoolPath)) {
                Log::write(QStringLiteral("enregistrement: brouillon sur disque impossible, gardé en mémoire seulement"));
                spool.reset();
            }
        }
        {
            QMutexLocker locker(&slot->lock);
            slot->spool = spool;
        }
        bool started = false;
        if (recorder) {
            try {
                recorder->start();
                started = true;
            } catch (...) {
            }
        }
        if (started) {
            Log::write(QStringLiteral("enregistrement: début (appli %1)").arg(appName));
            return;
        }
        if (spool) {
            QMutexLocker locker(&slot->lock);
            slot->spool.reset();
            spool->finish();
            QFile::remove(spoolPath);
        }
        QMetaObject::invokeMethod(qApp, [self] {
            if (!self)
                return;
            ++self->selectionGeneration_;
            self->selectionPending_ = false;
            self->setState(State::Idle);
            self->fail(kNoMicrophone);
        });
    });

    if (services_.warmUpNetwork)
        services_.warmUpNetwork();
    const std::optional<QString> bundleId = targetApp_ ? targetApp_->bundleId : std::nullopt;
    setTranslateThis((HotkeyMonitor::liveFlags() & KeyTable::Shift)
                     || (bundleId && settings->translateApps().contains(*bundleId)));
    setCommandText(std::nullopt);
    ++selectionGeneration_;
    selectionPending_ = false;
    afterSelection_ = {};
    if (settings->sounds())
        play(QStringLiteral("Tink"));
    if (services_.positionOverlay)
        services_.positionOverlay();

    setState(State::Recording);
    const QDateTime now = QDateTime::currentDateTime();
    if (startedAt_ != now) {
        startedAt_ = now;
        Q_EMIT startedAtChanged();
    }
    setLiveText(QString());
    cancelled_ = false;
    chunker_.reset();
    // Made before the selection is known; dropped if a voice command turns up.
    if (settings->transcriptionEngine() == TranscriptionEngine::Gemini
        && settings->rewriteEngine() == RewriteEngine::OpenRouter && services_.makeChunker && recorder) {
        chunker_ = services_.makeChunker(bundleId, [recorder](qint64 from, qint64 to) { return recorder->pcm(from, to); });
    }

    // The selection is read in the background while the user speaks (a hung
    // application may take its time); the hand-over waits for it.
    if (settings->voiceCommands() && bundleId != std::optional<QString>(FrontmostApp::ownBundleId())
        && services_.readSelection) {
        selectionPending_ = true;
        const quint64 generation = selectionGeneration_;
        services_.readSelection([self, generation](std::optional<QString> selection) {
            if (self)
                self->selectionRead(generation, selection);
        });
    }
}

void DictationController::selectionRead(quint64 generation, const std::optional<QString> &selection)
{
    if (generation != selectionGeneration_ || !selectionPending_)
        return;
    selectionPending_ = false;
    std::function<void()> waiting = std::exchange(afterSelection_, {});
    // Until its hand-over, the dictation that asked may still become an instruction.
    if (state_ != State::Idle && selection && !TextUtil::trimmed(*selection).isEmpty()) {
        setCommandText(selection);
        Log::write(QStringLiteral("commande: %1 caractères sélectionnés").arg(TextUtil::characterCount(*selection)));
        // An instruction is transcribed whole, never in chunks.
        if (chunker_) {
            chunker_->cancel();
            chunker_.reset();
        }
    }
    if (waiting)
        waiting();
}

void DictationController::end()
{
    if (state_ != State::Recording)
        return;
    if (AppSettings::shared()->sounds())
        play(QStringLiteral("Pop"));
    setState(State::Processing);
    const std::optional<RunningApp> app = targetApp_;
    const qint64 heldMs = clock() - pressedAt_;
    DictationRecorder *recorder = recorder_.get();
    QPointer<DictationController> self(this);
    ++stopping_;
    const QUuid id = recordingId_;
    onAudio([self, recorder, app, heldMs, id, slot = spoolSlot_] {
        DictationRecorder::Recording recording;
        if (recorder) {
            recording = recorder->stop();
            recorder->warmUp();
        }
        std::shared_ptr<MeetingSpool> spool;
        {
            QMutexLocker locker(&slot->lock);
            spool = std::exchange(slot->spool, nullptr);
        }
        if (spool)
            spool->finish();
        Log::write(QStringLiteral("enregistrement: fin, %1 s, niveau max %2")
                       .arg(QString::asprintf("%.2f", recording.duration))
                       .arg(recording.peak));
        QMetaObject::invokeMethod(qApp, [self, recording = std::move(recording), app, heldMs, id] {
            if (self)
                self->handOver(recording, app, heldMs, id);
        });
    });
}

void DictationController::handOver(DictationRecorder::Recording recording, std::optional<RunningApp> app,
                                   qint64 heldMs, QUuid id)
{
    // The selection decides between a voice command and a dictation: a
    // recording for the road waits until it is known (the read is bounded).
    if (selectionPending_ && !cancelled_ && !quitting_ && recording.duration > kShortestRecording) {
        afterSelection_ = [this, recording = std::move(recording), app = std::move(app), heldMs, id]() mutable {
            handOver(std::move(recording), std::move(app), heldMs, id);
        };
        return;
    }
    --stopping_;
    std::shared_ptr<DictationChunker> chunker = std::move(chunker_);
    chunker_.reset();
    if (cancelled_) {
        cancelled_ = false;
        releaseSpool(id);
        setState(State::Idle);
    } else if (recording.duration <= kShortestRecording) {
        releaseSpool(id);
        setState(State::Idle);
        // The user spoke for long enough but the microphone delivered next to
        // nothing: say so rather than drop it silently.
        if (heldMs >= kHandsFreeTapMs && !quitting_)
            fail(kNothingRecorded);
    } else if (quitting_) {
        // Stopped by the quit sequence: too late to paste anything, but what was
        // said is kept.
        if (chunker)
            chunker->cancel();
        if (services_.keepRecording)
            services_.keepRecording(Road::keptEntry(id, startedAt_, app, recording.duration), recording.wav,
                                    kQuitRecording);
        releaseSpool(id);
        setState(State::Idle);
    } else {
        QPointer<DictationController> self(this);
        finishAndProcess(std::move(recording), std::move(app), std::move(chunker), id).then([] {}, [self](const std::exception &error) {
            // Before the road began (the chunks): nothing else ends the processing.
            const QString failure = uncaught(error);
            if (self && self->state_ == State::Processing && !self->roadActive_) {
                self->setState(State::Idle);
                self->fail(failure);
            }
        });
    }
    wakeQuitWait();
}

QCoro::Task<> DictationController::finishAndProcess(DictationRecorder::Recording recording,
                                                    std::optional<RunningApp> app,
                                                    std::shared_ptr<DictationChunker> chunker, QUuid id)
{
    QPointer<DictationController> self(this);
    const Underway underway(this, id, recording.wav, Road::keptEntry(id, startedAt_, app, recording.duration));
    std::optional<ChunkTexts> pre;
    if (chunker && chunker->taskCount() > 0) {
        // Tasks are made before co_await: g++ 12 may destroy temporaries of a
        // co_await expression twice.
        QCoro::Task<std::optional<ChunkTexts>> finishing = chunker->finish(recording.pcm);
        pre = co_await std::move(finishing);
        if (!self)
            co_return;
        if (pre)
            Log::write(QStringLiteral("morceaux: %1 traités pendant la dictée").arg(chunker->taskCount()));
    }
    QCoro::Task<> road = process(std::move(recording.wav), recording.duration, std::move(app), std::move(pre), id);
    co_await std::move(road);
}

void DictationController::cancel()
{
    if (state_ != State::Recording)
        return;
    dropRecording(true);
    play(QStringLiteral("Pop"));
    Log::write(QStringLiteral("dictée annulée"));
}

// The dictation key was the first key of a chord (AltGr+E, Ctrl+C with the
// right Control…): the recording is dropped without a sound or a message.
void DictationController::abandon()
{
    dropRecording(false);
    Log::write(QStringLiteral("dictée abandonnée: touche combinée"));
}

// Stops the recorder and returns to idle without processing what was recorded;
// `announce` shows the cancellation once idle.
void DictationController::dropRecording(bool announce)
{
    cancelled_ = true;
    ++selectionGeneration_;
    selectionPending_ = false;
    setHandsFree(false);
    if (chunker_)
        chunker_->cancel();
    setState(State::Processing);
    DictationRecorder *recorder = recorder_.get();
    QPointer<DictationController> self(this);
    onAudio([self, recorder, announce, slot = spoolSlot_] {
        if (recorder)
            recorder->stop();
        std::shared_ptr<MeetingSpool> spool;
        {
            QMutexLocker locker(&slot->lock);
            spool = std::exchange(slot->spool, nullptr);
        }
        // Cancelled by the user: nothing of it is kept.
        if (spool) {
            spool->finish();
            QFile::remove(spool->path());
        }
        QMetaObject::invokeMethod(qApp, [self, announce] {
            if (!self)
                return;
            self->cancelled_ = false;
            self->setState(State::Idle);
            if (announce)
                self->show(kCancelled, false);
        });
    });
}

// The road and its watchdog.

QCoro::Task<> DictationController::process(QByteArray wav, double duration, std::optional<RunningApp> app,
                                           std::optional<ChunkTexts> pre, QUuid id)
{
    QPointer<DictationController> self(this);
    if (id.isNull())
        id = QUuid::createUuid();
    std::optional<Underway> underway;
    if (!underway_.contains(id))
        underway.emplace(this, id, wav, Road::keptEntry(id, startedAt_, app, duration));
    const quint64 seq = ++roadSeq_;
    roadActive_ = true;
    const qint64 startedMs = clock();
    after(kWatchdogMs, [self, seq, startedMs] {
        // Acts only on the road that set it: not on one that ended, nor on a newer one.
        if (!self || self->roadSeq_ != seq || !self->roadActive_)
            return;
        if (self->state_ != State::Processing || self->clock() - startedMs < kWatchdogMs)
            return;
        self->roadActive_ = false;
        self->setState(State::Idle);
        self->fail(kNetworkStuck);
    });
    if (!services_.road) {
        Log::write(QStringLiteral("traitement: aucune route de traitement"));
        fail(QStringLiteral("Traitement indisponible"));
        finishRoad(seq);
        co_return;
    }
    RoadRun run{seq, id, std::move(wav), duration, std::move(app), std::move(pre), startedMs};
    QCoro::Task<> road = services_.road(this, std::move(run));
    std::optional<QString> failure;
    try {
        co_await std::move(road);
    } catch (const std::exception &error) {
        // The road tells its own failures; one that escapes it is told here.
        failure = uncaught(error);
    }
    if (self && isCurrentRoad(seq)) {
        if (failure)
            fail(*failure);
        finishRoad(seq); // a road must never leave the controller processing
    }
}

bool DictationController::prepareToQuit(int waitMs)
{
    quitting_ = true;
    hotkey_.stop();
    if (trustTimer_)
        trustTimer_->stop();
    // A recording under way is stopped and handed over, to be kept rather than
    // processed (see handOver()).
    if (state_ == State::Recording) {
        handsFree_ = false;
        end();
    }
    // A hand-over waiting for the selection goes on now, to be kept.
    selectionPending_ = false;
    if (std::function<void()> waiting = std::exchange(afterSelection_, {}))
        waiting();
    if (busy()) {
        Log::write(QStringLiteral("fermeture: attente de la dictée en cours"));
        QEventLoop loop;
        QTimer bound;
        bound.setSingleShot(true);
        connect(&bound, &QTimer::timeout, &loop, &QEventLoop::quit);
        bound.start(waitMs);
        quitWait_ = &loop;
        loop.exec();
        quitWait_ = nullptr;
    }
    const QHash<QUuid, Kept> left = std::exchange(underway_, {});
    for (auto it = left.cbegin(); it != left.cend(); ++it) {
        if (services_.keepRecording)
            services_.keepRecording(it.value().entry, it.value().wav, kQuitProcessing);
        releaseSpool(it.key());
    }
    return left.isEmpty() && stopping_ == 0;
}

void DictationController::wakeQuitWait()
{
    if (quitWait_ && !busy())
        quitWait_->quit();
}

// The sound server or the microphone went away while recording: what was said
// until then goes on through the road, and the microphone is sought again so
// that the next dictation is whole.
void DictationController::microphoneLost()
{
    if (state_ != State::Recording)
        return;
    Log::write(QStringLiteral("micro perdu pendant l'enregistrement"));
    setHandsFree(false);
    end();
    fail(kMicrophoneLost);
    reconnectMicrophone();
}

void DictationController::reconnectMicrophone()
{
    QPointer<DictationController> self(this);
    DictationRecorder *recorder = recorder_.get();
    after(kReconnectMs, [self, recorder] {
        if (!self || self->quitting_ || !recorder)
            return;
        self->onAudio([self, recorder] {
            const bool ready = recorder->warmUp();
            QMetaObject::invokeMethod(qApp, [self, ready] {
                if (!self)
                    return;
                if (ready)
                    Log::write(QStringLiteral("micro retrouvé"));
                else
                    self->reconnectMicrophone();
            });
        });
    });
}

void DictationController::releaseSpool(const QUuid &id)
{
    if (services_.releaseSpool)
        services_.releaseSpool(id);
}

bool DictationController::finishRoad(quint64 seq)
{
    if (!isCurrentRoad(seq))
        return false;
    roadActive_ = false;
    setState(State::Idle);
    setCommandText(std::nullopt);
    return true;
}

// Failures and messages.

QString DictationController::capsuleText(const QString &message)
{
    const QString text = message.simplified();
    if (text.size() <= kCapsuleCharacters)
        return text;
    QString cut = text.left(kCapsuleCharacters - 1);
    if (const qsizetype blank = cut.lastIndexOf(QLatin1Char(' ')); blank > kCapsuleCharacters / 2)
        cut.truncate(blank);
    while (!cut.isEmpty() && (cut.back().isSpace() || cut.back().isPunct()))
        cut.chop(1);
    return cut + QStringLiteral("…");
}

void DictationController::fail(const QString &message)
{
    setLastError(message);
    Log::write(QStringLiteral("erreur: ") + message);
    show(capsuleText(message), true);
    play(QStringLiteral("Basso"));
    const QString lower = message.toLower();
    if (lower.contains(QStringLiteral("clé"))) {
        Q_EMIT needsKey();
    } else if (lower.contains(QStringLiteral("autoris")) || lower.contains(QStringLiteral("accessibilité"))
               || lower.contains(QStringLiteral("micro non"))) {
        Q_EMIT needsAttention();
    }
}

void DictationController::show(const QString &text, bool error)
{
    setFlash(text, error);
    // Cleared only by its own timer: a newer message (even the same text) lives 2 s.
    const quint64 generation = ++flashGeneration_;
    QPointer<DictationController> self(this);
    after(kFlashMs, [self, generation] {
        if (self && self->flashGeneration_ == generation && self->flash_) {
            self->flash_.reset();
            Q_EMIT self->flashChanged();
        }
    });
}

// The selection and re-paste entries.

void DictationController::pasteLast()
{
    if (services_.pasteLast)
        services_.pasteLast(this);
}

void DictationController::correctSelection(bool alreadyCopied, bool translate)
{
    // The capsule shows the application whose selection is acted on, not the
    // one of the last dictation.
    if (state_ == State::Idle)
        setTargetApp(services_.frontmostApp ? services_.frontmostApp() : std::nullopt);
    if (services_.correctSelection)
        services_.correctSelection(this, alreadyCopied, translate);
}

void DictationController::speakSelection()
{
    if (services_.speakSelection)
        services_.speakSelection(this);
}
