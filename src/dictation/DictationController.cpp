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

namespace {

constexpr int kTrustPollMs = 2000;

QString boolText(bool value)
{
    return value ? QStringLiteral("true") : QStringLiteral("false");
}

} // namespace

DictationController::DictationController(AppSettings *settings, Services services, QObject *parent)
    : QObject(parent), settings_(settings), services_(std::move(services)), hotkey_(settings), spoolSlot_(std::make_shared<SpoolSlot>())
{
    clock = Clock::monotonicMs;
    after = [this](int ms, std::function<void()> work) { QTimer::singleShot(ms, this, std::move(work)); };
    startedAt_ = QDateTime::currentDateTime();
    pressedAt_ = clock();
    if (services_.trusted)
        trusted_ = services_.trusted();

    audioThread_ = new QThread(this);
    audioThread_->setObjectName(QStringLiteral("ombry.audio"));
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
    hotkey_.onTranslate = [self] {
        if (self)
            self->correctSelection(false, true);
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
