#pragma once

#include "platform/AudioError.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QMutex>
#include <QObject>
#include <QString>

#include <atomic>
#include <functional>
#include <optional>
#include <stdexcept>
#include <utility>

class AppSettings;
class PulseContext;
struct pa_stream;

// Microphone capture in the one PCM convention: 16 kHz, mono, signed 16-bit
// little-endian (32,000 bytes a second). The sound server converts; what it
// delivers is cut into blocks of kBlockSamples so that levels and pauses do not
// depend on its buffer sizes. Each owner has its own recorder.
//
// The input is resolved at each start and each prepare: the chosen microphone
// (AppSettings::microphoneUID) when it is present, else the server's default
// microphone; a monitor of an output is never opened. Once prepared, the stream
// stays connected but corked between recordings (nothing is kept while idle),
// so that a recording hears from its start() on.
//
// Threads: the recorder is made on the main thread, where it follows the
// microphone setting. start(), stop(), stopRaw() and prepare() come from the
// owner's one serial context (any thread but the sound thread; they may block
// for a moment). onPause and onBuffer run on the sound thread "ombry.audio" and
// must be short; onLevel is delivered on the main thread. The callbacks may be
// assigned at any time from any thread.
class AudioRecorder : public QObject
{
    Q_OBJECT

public:
    static constexpr int kSampleRate = 16000;
    static constexpr int kBlockSamples = 320; // 20 ms

    // An optional callback whose assignment is safe against the sound thread
    // calling it.
    template<typename... Args>
    class Callback
    {
    public:
        explicit Callback(PulseContext &pulse) : pulse_(pulse) {}
        Callback &operator=(std::function<void(Args...)> f);
        Callback &operator=(std::nullptr_t) { return *this = std::function<void(Args...)>(); }
        explicit operator bool() const { return bool(f_); }
        void operator()(Args... args) const { f_(args...); }
        std::function<void(Args...)> get() const;

    private:
        PulseContext &pulse_;
        std::function<void(Args...)> f_;
    };

    // Records through `pulse`, which outlives the recorder. Follows the
    // microphone setting of `settings`; without them, the default microphone.
    AudioRecorder(PulseContext &pulse, AppSettings *settings, QObject *parent = nullptr);
    ~AudioRecorder() override;

    // Begins a recording of the input resolved now. Does nothing while recording.
    // Throws AudioError when the sound server does not answer, knows no
    // microphone or refuses the stream.
    void start();

    struct Result
    {
        QByteArray wav;
        double duration = 0; // seconds of the untrimmed recording
    };
    // Ends the recording: the trimmed, normalised WAV and the untrimmed duration;
    // also sets lastPCM and lastPeak. Empty and 0 when not recording.
    Result stop();
    // Ends the recording and returns the raw PCM, leaving lastPCM and lastPeak.
    QByteArray stopRaw();
    // Opens the stream of the input resolved now, corked, ahead of the next
    // recording; closes it when there is no microphone. Nothing while recording.
    // True when a stream is ready for the next recording.
    bool prepare();

    // Bytes [from, min(to, captured)) of the PCM captured so far.
    QByteArray pcm(qsizetype from, qsizetype to) const;

    // Off: blocks only reach onBuffer (the tail too, at the stop), and stopRaw()
    // returns nothing; for recordings too long to hold in memory.
    void setKeepSamples(bool keep) { keepSamples_.store(keep); }

    bool isRecording() const { return isRecording_.load(); }
    // The source that the current or last recording opened.
    QString inputDevice() const { return inputDevice_; }
    // Largest magnitude of the last recording returned by stop().
    int lastPeak() const { return lastPeak_; }
    // Raw, untrimmed PCM of the last recording returned by stop().
    QByteArray lastPCM() const { return lastPCM_; }

    Callback<double> onLevel;         // 0…1 per block, main thread
    Callback<qsizetype> onPause;      // PCM byte count at a pause, sound thread
    Callback<QByteArrayView> onBuffer; // every block (16 kHz mono s16le), sound thread
    Callback<> onLost;                 // the stream ended during a recording, sound thread

    // Pure helpers on PCM in the convention above.
    static double speechSeconds(const QByteArray &pcm);
    static QByteArray normalize(const QByteArray &pcm, int peak);
    static QByteArray trimSilence(const QByteArray &pcm);
    // The bytes of `pcm` that trimSilence() keeps: offset and length.
    static std::pair<qsizetype, qsizetype> trimmedSpan(QByteArrayView pcm);
    // wav(trimSilence(pcm)), copying the kept samples once: for long recordings.
    static QByteArray trimmedWav(QByteArrayView pcm);
    // The PCM behind a 44-byte RIFF/WAVE header; empty when the file would reach
    // 4 GiB, which the header's 32-bit sizes cannot describe.
    static QByteArray wav(const QByteArray &pcm);
    static bool fitsWav(qint64 pcmBytes);
    // Largest |s| over the samples (-32768 counts 32768).
    static int peakMagnitude(const QByteArray &pcm);

private:
    static void onRead(pa_stream *stream, size_t bytes, void *userdata);
    static void onStreamState(pa_stream *stream, void *userdata);
    void readLocked(pa_stream *stream);
    void handleBlock(const qint16 *block, int count);
    void postLevel(double level);
    std::optional<QString> chosenUID();
    bool readyLocked(const QString &device, int *error);
    bool openStreamLocked(const QString &device, int *error, bool prime = false);
    void closeStreamLocked();
    void beginCaptureLocked();
    void endCaptureLocked();
    void finishStop();

    PulseContext &pulse_;
    pa_stream *stream_ = nullptr;      // sound-thread lock
    QString streamDevice_;             // the source stream_ records, sound-thread lock
    bool capturing_ = false;           // blocks are kept, sound-thread lock
    bool priming_ = false;             // uncorked until its first data, sound-thread lock
    QByteArray carry_;                 // part of a block, sound-thread lock
    int silentFrames_ = 0;             // sound thread only
    bool spokeSinceCut_ = false;       // sound thread only

    mutable QMutex lock_;              // guards samples_ only
    QByteArray samples_;

    std::atomic<bool> isRecording_{false};
    std::atomic<bool> keepSamples_{true};
    int lastPeak_ = 0;
    QByteArray lastPCM_;
    QMutex settingLock_;               // guards chosenUID_
    std::optional<QString> chosenUID_; // AppSettings::microphoneUID, kept up to date
    QString inputDevice_;
};
