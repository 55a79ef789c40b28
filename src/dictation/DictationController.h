#pragma once

#include "dictation/HotkeyMonitor.h"
#include "model/Records.h"
#include "platform/Accessibility.h"
#include "platform/FrontmostApp.h"

#include <QByteArray>
#include <QDateTime>
#include <QObject>
#include <QPointer>
#include <QHash>
#include <QString>
#include <QUuid>

#include <QCoro/QCoroTask>

#include <functional>
#include <memory>
#include <optional>

class AppSettings;
class MeetingSpool;
class PulseContext;
class QEventLoop;
class QThread;
class QTimer;

// The chunker's joined texts of a long dictation.
struct ChunkTexts
{
    QString raw;
    QString clean;
};

// What the controller needs of its microphone recorder. start(), stop() and
// warmUp() run on the audio thread "ombry.audio"; onPause is called on the
// recorder's own thread, onLevel on the main thread.
class DictationRecorder
{
public:
    struct Recording
    {
        QByteArray wav;     // trimmed and normalised WAV
        double duration = 0; // seconds of the untrimmed recording
        QByteArray pcm;     // the untrimmed PCM
        int peak = 0;       // its peak magnitude
    };

    // The microphone chosen in `settings` (AudioRecorder), through `pulse`.
    static std::unique_ptr<DictationRecorder> microphone(PulseContext &pulse, AppSettings *settings);

    virtual ~DictationRecorder() = default;
    virtual void start() = 0; // throws when the microphone cannot be opened
    virtual Recording stop() = 0;
    // Readies the microphone for the next start; false when it is not ready
    // (no sound server, no microphone).
    virtual bool warmUp() { return true; }
    // PCM bytes [from, to) captured so far (any thread).
    virtual QByteArray pcm(qint64 from, qint64 to) = 0;

    std::function<void(double)> onLevel;
    std::function<void(qint64 bytes)> onPause;
    // Every block of PCM (16 kHz mono s16le) as it is captured, on the recorder's
    // thread; set before the first start().
    std::function<void(QByteArrayView pcm)> onBuffer;
    // The microphone went away during a recording (the recorder's thread); what
    // was captured until then is still returned by stop().
    std::function<void()> onLost;
};

// What the controller needs of the chunker of a long dictation (main thread).
class DictationChunker
{
public:
    virtual ~DictationChunker() = default;
    // A pause at byte offset `at` of the recording.
    virtual void cut(qint64 at) = 0;
    virtual void cancel() = 0;
    virtual int taskCount() const = 0;
    // Transcribes the tail after the last cut and joins every chunk in order;
    // none when a chunk failed.
    virtual QCoro::Task<std::optional<ChunkTexts>> finish(QByteArray pcm) = 0;
};

// The dictation state machine: turns the dictation key into recordings and
// recordings into a hand-over to the processing road; holds what the overlay,
// the status icon and the status card show. One per program; main thread.
class DictationController final : public QObject
{
    Q_OBJECT

    Q_PROPERTY(State state READ state NOTIFY stateChanged)
    Q_PROPERTY(QString lastError READ lastErrorText NOTIFY lastErrorChanged)
    Q_PROPERTY(QString flash READ flashText NOTIFY flashChanged)
    Q_PROPERTY(bool flashIsError READ flashIsError NOTIFY flashIsErrorChanged)
    Q_PROPERTY(double level READ level NOTIFY levelChanged)
    Q_PROPERTY(QString liveText READ liveText NOTIFY liveTextChanged)
    Q_PROPERTY(bool translating READ translating WRITE setTranslating NOTIFY translatingChanged)
    Q_PROPERTY(QDateTime startedAt READ startedAt NOTIFY startedAtChanged)
    Q_PROPERTY(QString targetAppName READ targetAppName NOTIFY targetAppChanged)
    Q_PROPERTY(QString targetAppIcon READ targetAppIcon NOTIFY targetAppChanged)
    // The spoken instruction of a voice command under way; empty when none.
    Q_PROPERTY(QString commandText READ commandTextValue NOTIFY commandTextChanged)
    Q_PROPERTY(bool handsFree READ handsFree NOTIFY handsFreeChanged)
    Q_PROPERTY(bool trusted READ trusted NOTIFY trustedChanged)
    // Whether this dictation's target application is on the translate list.
    Q_PROPERTY(bool translateThis READ translateThis NOTIFY translateThisChanged)
    // Whether live words can be shown while the user speaks on this platform.
    Q_PROPERTY(bool livePreviewAvailable READ livePreviewAvailable CONSTANT)

public:
    enum class State { Idle, Recording, Processing, Correcting };
    Q_ENUM(State)

    // One processing road, as handed over by process().
    struct RoadRun
    {
        quint64 seq = 0; // this road's number; see finishRoad()
        QUuid id;        // the dictation's id, which names its recording
        QByteArray wav;
        double duration = 0;
        std::optional<RunningApp> app;
        std::optional<ChunkTexts> pre;
        qint64 startedMs = 0; // monotonic start of the road
    };

    // The neighbours that the controller calls. The program's has the real
    // ones (microphone, key store, processing road, chunker, selection actions…);
    // tests build controllers with fakes. Empty ones are skipped. A road is a
    // coroutine function (parameters by value, no captures) that ends with
    // finishRoad(run.seq) on each exit.
    struct Services
    {
        // The processing road: transcription, final text, saving and pasting.
        // Ends with finishRoad(run.seq) on each of its exits.
        std::function<QCoro::Task<>(DictationController *, RoadRun)> road;
        // The selection and re-paste entries.
        std::function<void(DictationController *)> pasteLast;
        std::function<void(DictationController *, bool alreadyCopied, bool translate)> correctSelection;
        std::function<void(DictationController *)> speakSelection;
        // A chunker for a dictation into the application `bundleId`.
        std::function<std::unique_ptr<DictationChunker>(std::optional<QString> bundleId,
                                                        std::function<QByteArray(qint64, qint64)> slice)>
            makeChunker;
        std::function<std::unique_ptr<DictationRecorder>()> makeRecorder;
        std::function<bool()> hasDeepgramKey;
        // Whether the OpenRouter engines can be reached: a key of the user's own or
        // the hosted service. Not checked when empty.
        std::function<bool()> openRouterReachable;
        // Keeps a dictation that will not be processed: `entry` (no text yet) and its
        // recording, with `cause` in the log.
        std::function<void(Dictation entry, QByteArray wav, QString cause)> keepRecording;
        // Where the recording of dictation `id` is written while it is made; none
        // when empty or empty-handed.
        std::function<QString(QUuid id)> spoolPath;
        // Dictation `id` is settled (in the history, kept, or dropped): its spool may go.
        std::function<void(QUuid id)> releaseSpool;
        std::function<void()> warmUpNetwork;
        // Reads the focused element without waiting (its selection, whether it
        // takes text, the character before the caret): `done` runs once, later,
        // on the main thread, with what was read (nothing known when the read
        // takes too long).
        std::function<void(std::function<void(Accessibility::FocusRead)> done)> readFocus;
        std::function<std::optional<RunningApp>()> frontmostApp = FrontmostApp::current;
        std::function<bool()> microphoneAvailable;
        std::function<bool()> trusted;
        std::function<void(const QString &)> playSound;
    };

    // A controller of its own on `settings`, with the given neighbours (tests).
    DictationController(AppSettings *settings, Services services, QObject *parent = nullptr);
    ~DictationController() override;

    Services &services() { return services_; }

    // Start-up, once, after needsAttention is connected: logs the permissions,
    // starts the hotkey monitor and the 2 s accessibility poll.
    void start();
    // Prepares the audio input before the first dictation.
    void warmUpAudio();
    // Escape during a recording.
    void cancel();
    // Called by the application's teardown before the event loop ends: releases
    // the keys, then waits at most `waitMs` (running the event loop) for the
    // dictations being worked on to end; a recording in progress is stopped and
    // not processed. What is still under way is not pasted: its recording is kept
    // (Services::keepRecording) and no new dictation starts. True when nothing had
    // to be kept that way.
    bool prepareToQuit(int waitMs = 1500);

    // The selection and re-paste entries (SelectionActions).
    void pasteLast();
    void correctSelection(bool alreadyCopied, bool translate);
    void speakSelection();

    // Hands a finished recording to the processing road. `id` names the dictation
    // and its recording; a new one when null. `seq` is the road's number given by
    // watch() at the key's release, whose 40 s watchdog covers the wait for the
    // chunks too; 0 starts a watchdog now.
    QCoro::Task<> process(QByteArray wav, double duration, std::optional<RunningApp> app,
                          std::optional<ChunkTexts> pre, QUuid id = {}, quint64 seq = 0);
    // The exit rule of a road: when `seq` is the current road and the watchdog
    // has not given up on it, state idle and commandText none. A road that was
    // given up or superseded leaves the newer state alone. True when applied.
    bool finishRoad(quint64 seq);
    bool isCurrentRoad(quint64 seq) const { return seq == roadSeq_ && roadActive_; }

    // The one failure exit: message, sound, log line, attention hook.
    void fail(const QString &message);
    // A short message in the overlay, cleared 2 s later unless replaced.
    void show(const QString &text, bool error);

    State state() const { return state_; }
    void setState(State state);
    std::optional<QString> lastError() const { return lastError_; }
    QString lastErrorText() const { return lastError_.value_or(QString()); }
    void setLastError(const std::optional<QString> &message);
    std::optional<QString> flash() const { return flash_; }
    QString flashText() const { return flash_.value_or(QString()); }
    bool flashIsError() const { return flashIsError_; }
    double level() const { return level_; }
    QString liveText() const { return liveText_; }
    void setLiveText(const QString &text);
    std::optional<QString> commandText() const { return commandText_; }
    // The focused element as read while the current recording was made; none
    // until the read has answered.
    std::optional<Accessibility::FocusRead> targetFocus() const { return targetFocus_; }
    QString commandTextValue() const { return commandText_.value_or(QString()); }
    void setCommandText(const std::optional<QString> &text);
    bool translating() const { return translating_; }
    void setTranslating(bool on);
    bool translateThis() const { return translateThis_; }
    QDateTime startedAt() const { return startedAt_; }
    std::optional<RunningApp> targetApp() const { return targetApp_; }
    QString targetAppName() const { return targetApp_ ? targetApp_->name : QString(); }
    QString targetAppIcon() const { return targetApp_ ? targetApp_->iconName : QString(); }
    bool handsFree() const { return handsFree_; }
    bool trusted() const { return trusted_; }
    static bool livePreviewAvailable();

    HotkeyMonitor &hotkey() { return hotkey_; }

    // The message as the capsule shows it: at most kCapsuleCharacters, cut at a
    // word with "…"; the whole message goes to the journal.
    static constexpr qsizetype kCapsuleCharacters = 60;
    static QString capsuleText(const QString &message);

    // Time and delayed work (tests replace them to drive the clock).
    std::function<qint64()> clock; // monotonic ms
    std::function<void(int ms, std::function<void()> work)> after;

Q_SIGNALS:
    void stateChanged();
    void lastErrorChanged();
    void flashChanged();
    void flashIsErrorChanged();
    void levelChanged();
    void liveTextChanged();
    void commandTextChanged();
    void translatingChanged();
    void startedAtChanged();
    void targetAppChanged();
    void handsFreeChanged();
    void trustedChanged();
    void translateThisChanged();
    // A recording is about to show: the overlay moves under the pointer first.
    void recordingStarting();
    // A failure needs the user to change a setting.
    void needsAttention();
    // Instead, when the failure is about a key (missing or refused): the window
    // opens where keys are entered.
    void needsKey();
    // Instead, when the chosen local server does not answer: the window opens
    // where the engines are chosen.
    void needsEngine();

private:
    void wire();
    void press();
    void release();
    void chord();
    void begin();
    void end();
    void abandon();
    void dropRecording(bool announce);
    void handOver(DictationRecorder::Recording recording, std::optional<RunningApp> app, qint64 heldMs, QUuid id,
                  quint64 seq);
    // A new road number, current from now on, and its 40 s watchdog: once it gives
    // up, the road is no longer current (it saves, but pastes nothing).
    quint64 watch();
    void selectionRead(quint64 generation, const std::optional<QString> &selection);
    QCoro::Task<> finishAndProcess(DictationRecorder::Recording recording, std::optional<RunningApp> app,
                                   std::shared_ptr<DictationChunker> chunker, QUuid id, quint64 seq);
    void releaseSpool(const QUuid &id);
    void microphoneLost();
    // Tries to ready the microphone again, every second, until it answers.
    void reconnectMicrophone();
    // The spool being written by the recorder's thread, if any.
    struct SpoolSlot;
    class Underway;
    bool busy() const { return stopping_ > 0 || !underway_.isEmpty(); }
    void wakeQuitWait();
    void setLevel(double level);
    void setFlash(const std::optional<QString> &text, bool error);
    void setTargetApp(const std::optional<RunningApp> &app);
    void setHandsFree(bool on);
    void setTrusted(bool on);
    void setTranslateThis(bool on);
    void onAudio(std::function<void()> work);
    void onMain(std::function<void()> work);
    void play(const QString &name);
    void pollTrust();

    AppSettings *settings_;
    Services services_;
    HotkeyMonitor hotkey_;
    std::unique_ptr<DictationRecorder> recorder_;
    std::shared_ptr<DictationChunker> chunker_;
    QThread *audioThread_ = nullptr;
    QObject *audioContext_ = nullptr;
    QTimer *trustTimer_ = nullptr;

    State state_ = State::Idle;
    std::optional<QString> lastError_;
    std::optional<QString> flash_;
    bool flashIsError_ = false;
    quint64 flashGeneration_ = 0;
    double level_ = 0;
    QString liveText_;
    std::optional<QString> commandText_;
    bool translating_ = false;
    bool translateThis_ = false;
    bool trusted_ = false;
    std::optional<RunningApp> targetApp_;
    QDateTime startedAt_;
    qint64 pressedAt_ = 0;
    bool handsFree_ = false;
    bool cancelled_ = false;
    quint64 roadSeq_ = 0;
    bool roadActive_ = false;
    // Recordings handed over and not yet ended by their road, by dictation id:
    // their entry as it would be kept, and their recording.
    struct Kept
    {
        Dictation entry;
        QByteArray wav;
    };
    QHash<QUuid, Kept> underway_;
    std::shared_ptr<SpoolSlot> spoolSlot_;
    QUuid recordingId_; // the dictation being recorded
    int stopping_ = 0; // recordings stopped and not yet handed over
    // The selection of the dictation under way, read while it records: a
    // hand-over waits for it (afterSelection_) since it decides between a voice
    // command and a dictation. The same read tells the paste about its target.
    std::optional<Accessibility::FocusRead> targetFocus_;
    quint64 selectionGeneration_ = 0;
    bool selectionPending_ = false;
    std::function<void()> afterSelection_;
    bool quitting_ = false;
    QEventLoop *quitWait_ = nullptr;
};
