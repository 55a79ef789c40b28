#pragma once

#include <QList>
#include <QString>
#include <QStringList>

#include <QCoro/QCoroTask>

#include <functional>
#include <optional>
#include <stdexcept>

// Whose sound is captured: one application, or every application but ours.
struct CaptureTarget
{
    std::optional<QString> bundleId; // none: the whole computer
    QString name;                    // shown in messages
    QList<qint64> pids;              // processes that own the application's windows
    QStringList names;               // desktop id, its last part, WM_CLASS, binary: compared lower-case
};

// One playback stream of the sound server, as its properties describe it.
struct PlaybackStream
{
    quint32 index = 0;
    quint32 sink = 0;
    qint64 pid = 0;        // application.process.id, 0 when absent
    QString binary;        // application.process.binary
    QString appName;       // application.name
    QString appId;         // application.id or the sandbox's app id
};

namespace CaptureMatch {

// The parent of a process, 0 when unknown (reads /proc).
qint64 parentPid(qint64 pid);

// Whether `stream` belongs to `target`. Our own process never matches, nor
// speech-dispatcher (our read-aloud) for the whole computer. An application
// matches by a window's process or an ancestor of the stream's process
// (browsers and Electron play from child processes), by its binary or
// application name against the target's names, or by a sandbox app id.
bool matches(const PlaybackStream &stream, const CaptureTarget &target, qint64 ownPid,
             const std::function<qint64(qint64)> &parentOf = parentPid);

bool isSpeechDispatcher(const PlaybackStream &stream);

} // namespace CaptureMatch

// The target plays nothing and shows no window.
class TargetAbsent : public std::runtime_error
{
public:
    TargetAbsent() : std::runtime_error("target absent") {}
};

// Captures the sound that one application (or the whole computer) plays, as
// 32-bit float samples at 16 kHz mono per playback stream. Streams that start
// later are followed, ended ones dropped, moved ones re-attached.
class AppAudioCapture
{
public:
    static constexpr int kSampleRate = 16000;

    struct Handlers
    {
        // On the sound thread: samples of one playback stream.
        std::function<void(quint32 stream, const float *samples, int count)> samples;
        // On the sound thread: a playback stream is no longer captured.
        std::function<void(quint32 stream)> ended;
        // On the main thread: the capture stopped by itself (server gone).
        std::function<void(QString description)> stopped;
    };

    virtual ~AppAudioCapture() = default;
    // Main thread. Throws TargetAbsent, or an AudioError when the sound server
    // cannot be reached. After stop() no handler is called again.
    virtual QCoro::Task<void> start(CaptureTarget target, Handlers handlers) = 0;
    virtual void stop() = 0;
    // Playback streams captured now.
    virtual int streams() const = 0;
};
