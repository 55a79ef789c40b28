#include "dictation/DictationController.h"

#include "dictation/DictationController_p.h"

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
#include "core/PrivateFiles.h"
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

using namespace DictationDetail;

namespace {

constexpr qint64 kHandsFreeTapMs = 600;   // a shorter hold starts hands-free mode
constexpr qint64 kHandsFreeStopMs = 700;  // the stop press must come this long after the first
constexpr double kShortestRecording = 0.3;

const QString kBusy = QStringLiteral("Un instant, je termine…");
const QString kNoDeepgramKey = QStringLiteral("Clé Deepgram absente");
const QString kNoMicrophone = QStringLiteral("Micro indisponible");
const QString kCancelled = QStringLiteral("Dictée annulée");
const QString kQuitRecording = QStringLiteral("fermeture pendant l'enregistrement");
const QString kNothingRecorded = QStringLiteral("Rien d'enregistré, réessaie");

// The microphone recorder of the dictation.
class MicrophoneRecorder final : public DictationRecorder
{
public:
    MicrophoneRecorder(PulseContext &pulse, AppSettings *settings) : recorder_(pulse, settings)
    {
        recorder_.onLevel = [this](double level) {
            if (onLevel)
                onLevel(level);
        };
        recorder_.onPause = [this](qsizetype bytes) {
            if (onPause)
                onPause(bytes);
        };
        recorder_.onBuffer = [this](QByteArrayView pcm) {
            if (onBuffer)
                onBuffer(pcm);
        };
        recorder_.onLost = [this] {
            if (onLost)
                onLost();
        };
    }
    void start() override { recorder_.start(); }
    Recording stop() override
    {
        const AudioRecorder::Result result = recorder_.stop();
        return {result.wav, result.duration, recorder_.lastPCM(), recorder_.lastPeak()};
    }
    bool warmUp() override { return recorder_.prepare(); }
    QByteArray pcm(qint64 from, qint64 to) override { return recorder_.pcm(from, to); }

private:
    AudioRecorder recorder_;
};

} // namespace

std::unique_ptr<DictationRecorder> DictationRecorder::microphone(PulseContext &pulse, AppSettings *settings)
{
    return std::make_unique<MicrophoneRecorder>(pulse, settings);
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
    const AppSettings *settings = settings_;
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
            PrivateFiles::removeOwnedPath(spoolPath);
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
    targetFocus_.reset();
    if (settings->sounds())
        play(QStringLiteral("Tink"));
    Q_EMIT recordingStarting();

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

    // The focused element is read in the background while the user speaks (a
    // hung application may take its time): its selection may make this a voice
    // command, and the hand-over waits for that; the paste later uses the rest.
    if (bundleId != std::optional<QString>(FrontmostApp::ownBundleId()) && services_.readFocus) {
        const bool command = settings->voiceCommands();
        selectionPending_ = command;
        const quint64 generation = selectionGeneration_;
        services_.readFocus([self, generation, command](Accessibility::FocusRead read) {
            if (!self || generation != self->selectionGeneration_)
                return;
            self->targetFocus_ = read;
            if (command)
                self->selectionRead(generation, read.selected);
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
    if (settings_->sounds())
        play(QStringLiteral("Pop"));
    setState(State::Processing);
    const std::optional<RunningApp> app = targetApp_;
    const qint64 heldMs = clock() - pressedAt_;
    DictationRecorder *recorder = recorder_.get();
    QPointer<DictationController> self(this);
    ++stopping_;
    const QUuid id = recordingId_;
    // From the release on, the whole processing (the last chunks included) is
    // under the watchdog.
    const quint64 seq = watch();
    onAudio([self, recorder, app, heldMs, id, seq, slot = spoolSlot_] {
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
        QMetaObject::invokeMethod(qApp, [self, recording = std::move(recording), app, heldMs, id, seq] {
            if (self)
                self->handOver(recording, app, heldMs, id, seq);
        });
    });
}

void DictationController::handOver(DictationRecorder::Recording recording, std::optional<RunningApp> app,
                                   qint64 heldMs, QUuid id, quint64 seq)
{
    // The selection decides between a voice command and a dictation: a
    // recording for the road waits until it is known (the read is bounded).
    if (selectionPending_ && !cancelled_ && !quitting_ && recording.duration > kShortestRecording) {
        afterSelection_ = [this, recording = std::move(recording), app = std::move(app), heldMs, id, seq]() mutable {
            handOver(std::move(recording), std::move(app), heldMs, id, seq);
        };
        return;
    }
    --stopping_;
    // Nothing goes to the road: its watchdog has nothing to watch.
    const auto unwatch = [this, seq] {
        if (isCurrentRoad(seq))
            roadActive_ = false;
    };
    std::shared_ptr<DictationChunker> chunker = std::move(chunker_);
    chunker_.reset();
    if (cancelled_) {
        cancelled_ = false;
        unwatch();
        releaseSpool(id);
        setState(State::Idle);
    } else if (recording.duration <= kShortestRecording) {
        unwatch();
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
        unwatch();
        if (services_.keepRecording)
            services_.keepRecording(Road::keptEntry(id, startedAt_, app, recording.duration), recording.wav,
                                    kQuitRecording);
        releaseSpool(id);
        setState(State::Idle);
    } else {
        QPointer<DictationController> self(this);
        finishAndProcess(std::move(recording), std::move(app), std::move(chunker), id, seq).then([] {}, [self, seq](const std::exception &error) {
            // Before the road began (the chunks): nothing else ends the processing.
            const QString failure = uncaught(error);
            if (self && self->isCurrentRoad(seq) && self->state_ == State::Processing) {
                self->roadActive_ = false;
                self->setState(State::Idle);
                self->fail(failure);
            }
        });
    }
    wakeQuitWait();
}

QCoro::Task<> DictationController::finishAndProcess(DictationRecorder::Recording recording,
                                                    std::optional<RunningApp> app,
                                                    std::shared_ptr<DictationChunker> chunker, QUuid id, quint64 seq)
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
    QCoro::Task<> road = process(std::move(recording.wav), recording.duration, std::move(app), std::move(pre), id, seq);
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
            PrivateFiles::removeOwnedPath(spool->path());
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
