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

constexpr int kWatchdogMs = 40000;
constexpr int kFlashMs = 2000;
constexpr int kReconnectMs = 1000;

const QString kNetworkStuck = QStringLiteral("Le réseau ne répond pas, réessaie");
const QString kQuitProcessing = QStringLiteral("fermeture pendant le traitement");
const QString kMicrophoneLost = QStringLiteral("Micro perdu");

} // namespace

// The road and its watchdog.

quint64 DictationController::watch()
{
    QPointer<DictationController> self(this);
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
    return seq;
}

QCoro::Task<> DictationController::process(QByteArray wav, double duration, std::optional<RunningApp> app,
                                           std::optional<ChunkTexts> pre, QUuid id, quint64 seq)
{
    QPointer<DictationController> self(this);
    if (id.isNull())
        id = QUuid::createUuid();
    std::optional<Underway> underway;
    if (!underway_.contains(id))
        underway.emplace(this, id, wav, Road::keptEntry(id, startedAt_, app, duration));
    if (seq == 0)
        seq = watch();
    const qint64 startedMs = clock();
    if (!services_.road) {
        Log::write(QStringLiteral("traitement: aucune route de traitement"));
        if (isCurrentRoad(seq))
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
    } else if (lower.startsWith(QStringLiteral("reconnaissance locale injoignable"))
               || lower.startsWith(QStringLiteral("modèle local injoignable"))) {
        Q_EMIT needsEngine();
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
