#pragma once

#include "engines/GeminiSpeech.h"
#include "platform/AppAudioCapture.h"

#include <QAbstractListModel>
#include <QObject>
#include <QtQml/qqmlregistration.h>

#include <QCoro/QCoroTask>

#include <atomic>
#include <functional>
#include <memory>
#include <optional>

class CallAudioQueue;
class CallSegmenter;
class Defaults;
class PulseContext;

// The subtitle lines of the current run, in the order their segments were cut.
class CallLinesModel : public QAbstractListModel
{
    Q_OBJECT
    QML_ANONYMOUS

public:
    struct Line
    {
        qint64 id = 0;
        QString en;
        QString fr;
        bool done = false;
        bool operator==(const Line &) const = default;
    };
    enum Role { IdRole = Qt::UserRole + 1, EnRole, FrRole, DoneRole };

    using QAbstractListModel::QAbstractListModel;
    int rowCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role) const override;
    QHash<int, QByteArray> roleNames() const override;

    const QList<Line> &lines() const { return lines_; }
    int rowOf(qint64 id) const;
    void append(const Line &line);
    void update(int row, const Line &line);
    void removeAt(int row);
    void clear();

private:
    QList<Line> lines_;
};

// What the caption bar shows, derived from the lines and the translator's state.
struct CaptionTexts
{
    QString previous; // empty: not shown
    QString main;
    QString english;  // empty: not shown
    bool operator==(const CaptionTexts &) const = default;

    static CaptionTexts of(const QList<CallLinesModel::Line> &lines, const std::optional<QString> &error,
                           bool running, bool showEnglish);
};

// What the call translator needs of the world, handed in by the root.
struct CallServices
{
    // The cloud audio model: an excerpt and its context → (en, fr).
    std::function<QCoro::Task<GeminiSpeech::Translated>(QByteArray wav, QString context)> transcribe;
    // The ordinary translator, into French.
    std::function<QCoro::Task<QString>(QString text)> translate;
    std::function<std::unique_ptr<AppAudioCapture>()> makeCapture;
    // The sound server answers (the capture "permission"). Awaited: a server
    // that does not answer costs up to a second, never on the main thread.
    std::function<QCoro::Task<bool>()> soundAvailable;
    // The target as it runs now (windows, names); none: the whole computer.
    std::function<CaptureTarget(std::optional<QString> bundleId)> resolveTarget;
    // The running application's name for an identifier, if it runs.
    std::function<std::optional<QString>(QString bundleId)> runningName;
    Defaults *defaults = nullptr;
    // Real-time capture is paced by the clock; other sound is mixed as it comes.
    bool paced = true;
};

// Live call subtitles: captures what one application (or the whole computer)
// plays, cuts it at pauses, and has each segment transcribed and translated.
class CallTranslator : public QObject
{
    Q_OBJECT

    Q_PROPERTY(bool running READ running NOTIFY runningChanged)
    Q_PROPERTY(CallLinesModel *lines READ linesModel CONSTANT)
    Q_PROPERTY(QString live READ live NOTIFY liveChanged)
    Q_PROPERTY(QString error READ errorText NOTIFY errorChanged)
    Q_PROPERTY(QString targetBundleID READ targetBundleIdText WRITE setTargetBundleIdText NOTIFY targetBundleIDChanged)
    Q_PROPERTY(QString targetName READ targetNameText NOTIFY targetBundleIDChanged)
    // The target's name for the interface: "Tout l'ordinateur" without a target.
    Q_PROPERTY(QString targetLabel READ targetLabel NOTIFY targetBundleIDChanged)

public:
    static constexpr int kContextLines = 4;

    explicit CallTranslator(CallServices services, QObject *parent = nullptr);
    ~CallTranslator() override;

    // Asks the sound server first, then starts; returns at once.
    Q_INVOKABLE void start();
    // Also drops a start still waiting for the sound server.
    Q_INVOKABLE void stop();
    // Stop when running, else start: the tray item and the bar's button.
    Q_INVOKABLE void toggle();

    bool running() const { return running_; }
    CallLinesModel *linesModel() { return &lines_; }
    // The capture queue, where sound is cut into segments in order.
    CallAudioQueue *audioQueue() { return queue_.get(); }
    const QList<CallLinesModel::Line> &lines() const { return lines_.lines(); }
    QString live() const { return live_; }
    std::optional<QString> error() const { return error_; }
    QString errorText() const { return error_.value_or(QString()); }
    std::optional<QString> targetBundleID() const { return target_; }
    void setTargetBundleID(const std::optional<QString> &id);
    QString targetBundleIdText() const { return target_.value_or(QString()); }
    void setTargetBundleIdText(const QString &id);
    std::optional<QString> targetName() const;
    QString targetNameText() const { return targetName().value_or(QString()); }
    QString targetLabel() const;
    // Playback streams captured now.
    int capturedStreams() const;

    // The context sent with a segment: the non-empty English texts of the last
    // lines, oldest first, joined with a blank.
    static QString context(const QList<CallLinesModel::Line> &lines);
    // The message a failed set-up shows.
    static QString setupMessage(const std::exception &error);

Q_SIGNALS:
    void runningChanged();
    void liveChanged();
    void errorChanged();
    void targetBundleIDChanged();
    // Each segment handed to the cloud (main thread), for views and tests.
    void segmentSent(qint64 id);
    // The subtitle bar should show: a run starts, or its sound is out of reach.
    void windowRequested();

private:
    QCoro::Task<void> begin(quint64 check);
    QCoro::Task<void> setUp(quint64 run);
    QCoro::Task<void> translate(qint64 id, QByteArray wav, QString context);
    void setRunning(bool running);
    void setLive(const QString &live);
    void setError(const std::optional<QString> &error);
    void releaseCapture();
    void queueFlush();
    // Capture queue.
    // `gen`: the lines of the run the sound was captured for.
    void onBlock(const float *block, int count, quint64 gen);
    void sendSegment(const QByteArray &pcm, quint64 gen);
    void captureStopped(quint64 run, const QString &description);

    CallServices services_;
    CallLinesModel lines_;
    bool running_ = false;
    QString live_;
    std::optional<QString> error_;
    std::optional<QString> target_;
    std::shared_ptr<AppAudioCapture> capture_;
    quint64 run_ = 0;                     // main thread: the current run's token
    quint64 checking_ = 0;                // main thread: the start asking the sound server, 0: none
    quint64 checks_ = 0;
    std::atomic<quint64> linesGen_{0};    // bumped when a start clears the lines
    std::atomic<quint64> acceptRun_{0};   // buffers of this run are taken, 0: none
    std::unique_ptr<CallAudioQueue> queue_;
    std::unique_ptr<CallSegmenter> segmenter_; // capture queue only
    qint64 nextID_ = 0;                        // capture queue only
};
