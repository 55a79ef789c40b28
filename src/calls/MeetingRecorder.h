#pragma once

#include "model/SettingsTypes.h"

#include <QByteArrayView>
#include <QDateTime>
#include <QObject>
#include <QString>
#include <QStringList>

#include <QCoro/QCoroTask>

#include <functional>
#include <memory>
#include <optional>

class MeetingSpool;
class Store;

// The microphone as the meeting recorder uses it. start() and stop() run off
// the main thread and may block for a moment; `sink` gets every block of PCM
// (16 kHz mono s16le) on any thread until stop() has returned.
class MeetingCapture
{
public:
    virtual ~MeetingCapture() = default;
    // Throws when the capture cannot start.
    virtual void start(std::function<void(QByteArrayView)> sink) = 0;
    virtual void stop() = 0;
    // Set before start(): called on any thread when the source goes away during
    // the capture (a headset unplugged, the sound server restarted).
    std::function<void()> onLost;
};

// What the meeting recorder needs of the world, handed in by the root.
struct MeetingServices
{
    std::function<bool()> microphoneAllowed;
    std::function<void()> requestMicrophone;
    // Made on the main thread at each recording.
    std::function<std::unique_ptr<MeetingCapture>()> makeCapture;
    std::function<QCoro::Task<QString>(QByteArray wav, QString language, QStringList words)> transcribe;
    std::function<QCoro::Task<QString>(QString system, QString text, QString model)> complete;
    std::function<void(const QString &)> playSound;
    std::function<Language()> language;
    // Milliseconds of a monotonic clock, for the elapsed time; a steady clock when empty.
    std::function<qint64()> clock;
    Store *store = nullptr;
};

// Records a meeting from the microphone into a spool file, then transcribes it in
// chunks of 180 s, asks for a title, a summary and tasks, and saves the meeting at
// the front of the store's meetings.
class MeetingRecorder : public QObject
{
    Q_OBJECT

    Q_PROPERTY(State state READ state NOTIFY stateChanged)
    Q_PROPERTY(QString progress READ progress NOTIFY stateChanged)
    Q_PROPERTY(QDateTime startedAt READ startedAt NOTIFY stateChanged)
    // Why the last recording stopped by itself or could not start, or that the
    // microphone is lost while recording; empty once a new one starts.
    Q_PROPERTY(QString error READ error NOTIFY errorChanged)
    // The microphone went away during the recording, which resumes when it is back.
    Q_PROPERTY(bool microphoneLost READ microphoneLost NOTIFY errorChanged)

public:
    enum class State { Idle, Recording, Processing };
    Q_ENUM(State)

    static constexpr qint64 kChunkBytes = 5'760'000;
    static constexpr double kShortest = 3.0;
    static constexpr int kReconnectMs = 1000;
    static inline const QString kModel = QStringLiteral("google/gemini-2.5-flash-lite");

    struct Summary
    {
        QString title;
        QString summary;
        QStringList tasks;
        bool operator==(const Summary &) const = default;
    };

    explicit MeetingRecorder(MeetingServices services, QObject *parent = nullptr);
    ~MeetingRecorder() override;

    // Idle: start; recording: stop and process; otherwise nothing. Main thread.
    Q_INVOKABLE void toggle();

    State state() const { return state_; }
    QString progress() const { return progress_; }
    QDateTime startedAt() const { return startedAt_; }
    QString error() const { return error_; }
    bool microphoneLost() const { return lost_; }
    // The text of `error` while the microphone is lost.
    static QString lostText();
    // The text of `error` when the spool could not be written any more.
    static QString writeFailedText();
    // Whole seconds since the recording started (monotonic clock); 0 when idle.
    Q_INVOKABLE int elapsedSeconds() const;

    // Deletes the meeting with this id from the store (its kept recording too).
    Q_INVOKABLE void remove(const QString &meetingId);

    // A recording left by an interrupted run is processed like a stopped one.
    // Returns whether there was one.
    bool recoverSpool();

    // Where the recording is written while it is made, and where a recording that
    // could not be transcribed is kept ("reunion-<UUID>.wav" in Audio/).
    QString spoolPath() const;
    static QString keptName(const QUuid &meetingId);
    // Removes the kept recording of a meeting, if any.
    static void removeKept(Store *store, const QUuid &meetingId);

    // "Transcription 2/5…"
    static QString chunkProgress(int index, int count);
    static int chunkCount(qint64 pcmBytes);
    // The summary request's system prompt for the prompt language name.
    static QString summaryPrompt(const QString &languageName);
    // The model's reply read; the error's description when it cannot be read.
    static std::optional<Summary> readSummary(const QString &reply, QString *error = nullptr);
    // "%d:%02d" of minutes and seconds, minutes not wrapped ("75:03").
    Q_INVOKABLE static QString elapsedText(int seconds);
    // A card's second line: "mardi 9 déc. 14:05 · 61 min" (fr_FR).
    Q_INVOKABLE static QString cardLine(const QDateTime &date, double duration);
    // Title, two line breaks, summary, two line breaks, "- task" lines; nothing skipped.
    Q_INVOKABLE static QString copyText(const QString &title, const QString &summary, const QStringList &tasks);
    // Puts copyText() on the clipboard as plain text.
    Q_INVOKABLE static void copy(const QString &title, const QString &summary, const QStringList &tasks);

Q_SIGNALS:
    void stateChanged();
    void errorChanged();
    // The end of a processing run, saved or not (tests, views).
    void processed();
    // A short message for the capsule ("Micro perdu", why a start failed).
    void notice(const QString &text);

private:
    QCoro::Task<void> startRecording();
    QCoro::Task<std::shared_ptr<MeetingSpool>> endCapture();
    QCoro::Task<void> stopRecording();
    void spoolFailed();
    void captureLost(quint64 generation);
    // Stops the capture that lost its source, then seeks the microphone again every
    // second until it answers, or the recording `generation` stops or ends.
    QCoro::Task<void> reconnect(quint64 generation, std::shared_ptr<MeetingCapture> gone);
    std::shared_ptr<MeetingCapture> makeCapture(quint64 generation);
    // A start that failed: the page and the capsule say why.
    void refuse(const QString &why);
    // Everything was erased: a recording under way goes, unsaved.
    QCoro::Task<void> dropRecording();
    void setError(const QString &error);
    QCoro::Task<void> process(QString path, double duration, QDateTime date);
    QCoro::Task<std::optional<Summary>> summarize(QString transcript);
    void setState(State state, const QString &progress = {});
    void handled(QCoro::Task<void> task);
    qint64 clockMs() const;

    MeetingServices services_;
    State state_ = State::Idle;
    QString progress_;
    QString error_;
    QDateTime startedAt_ = QDateTime::currentDateTime();
    qint64 recordingSince_ = 0; // the clock at the start of the recording
    bool busy_ = false; // a start or stop is under way off the main thread
    bool lost_ = false; // the microphone went away; the recording waits for it
    bool hadLoss_ = false; // this recording lost its microphone at least once
    qint64 lostSince_ = 0; // the clock when it went
    qint64 lostMs_ = 0; // the time spent without a microphone, not recorded
    quint64 recording_ = 0; // counts recordings: a late reconnection finds its own
    std::shared_ptr<MeetingCapture> capture_;
    std::shared_ptr<MeetingSpool> spool_;
};
