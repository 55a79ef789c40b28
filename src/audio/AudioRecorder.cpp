#include "audio/AudioRecorder.h"

#include "audio/Microphones.h"
#include "model/AppSettings.h"
#include "core/Log.h"
#include "platform/PulseContext.h"

#include <QCoreApplication>
#include <QPointer>
#include <QtEndian>

#include <utility>

#include <pulse/context.h>
#include <pulse/error.h>
#include <pulse/introspect.h>
#include <pulse/proplist.h>
#include <pulse/stream.h>

#include <algorithm>
#include <cmath>
#include <cstring>

namespace {

constexpr int kBlockBytes = AudioRecorder::kBlockSamples * 2;
constexpr int kConnectTimeoutMs = 2000;
constexpr int kStreamTimeoutMs = 3000;
constexpr int kCorkTimeoutMs = 1000;
constexpr int kQuietPeak = 900;           // a block at or below is quiet
constexpr int kPauseFrames = 9600;        // 0.6 s of quiet after speech
constexpr int kTrimWindow = 320;          // 20 ms
constexpr int kTrimMargin = 4000;         // 0.25 s kept around speech
constexpr int kLoudSample = 500;

void logInputFormat(pa_context *, const pa_source_info *info, int eol, void *)
{
    if (eol != 0 || !info)
        return;
    Log::write(QStringLiteral("audio: entrée %1 Hz, %2 canaux")
                   .arg(info->sample_spec.rate)
                   .arg(info->sample_spec.channels));
}

struct CorkWait
{
    PulseContext *pulse = nullptr;
    bool done = false;
};

void onCorked(pa_stream *, int, void *userdata)
{
    auto *wait = static_cast<CorkWait *>(userdata);
    wait->done = true;
    wait->pulse->signal();
}

const qint16 *samplesOf(const QByteArray &pcm)
{
    return reinterpret_cast<const qint16 *>(pcm.constData());
}

} // namespace

template<typename... Args>
AudioRecorder::Callback<Args...> &AudioRecorder::Callback<Args...>::operator=(std::function<void(Args...)> f)
{
    PulseContext::Locker lock(pulse_);
    f_ = std::move(f);
    return *this;
}

template<typename... Args>
std::function<void(Args...)> AudioRecorder::Callback<Args...>::get() const
{
    PulseContext::Locker lock(pulse_);
    return f_;
}

// The callbacks the recorder has; the header leaves their locking here.
template class AudioRecorder::Callback<double>;
template class AudioRecorder::Callback<qsizetype>;
template class AudioRecorder::Callback<QByteArrayView>;
template class AudioRecorder::Callback<>;

AudioRecorder::AudioRecorder(PulseContext &pulse, AppSettings *settings, QObject *parent)
    : QObject(parent), onLevel(pulse), onPause(pulse), onBuffer(pulse), onLost(pulse), pulse_(pulse)
{
    if (!settings)
        return;
    // start() runs on the owner's audio thread: it reads a copy of the setting
    // kept here rather than the settings object that the main thread writes.
    chosenUID_ = settings->microphoneUID();
    connect(settings, &AppSettings::microphoneUIDChanged, this, [this, settings] {
        const std::optional<QString> uid = settings->microphoneUID();
        QMutexLocker locker(&settingLock_);
        chosenUID_ = uid;
    });
}

AudioRecorder::~AudioRecorder()
{
    PulseContext::Locker lock(pulse_);
    closeStreamLocked();
}

std::optional<QString> AudioRecorder::chosenUID()
{
    QMutexLocker locker(&settingLock_);
    return chosenUID_;
}

bool AudioRecorder::prepare()
{
    if (pulse_.inLoopThread() || isRecording_.load())
        return false;
    {
        PulseContext::Locker lock(pulse_);
        if (!pulse_.connectedLocked(kConnectTimeoutMs))
            return false;
    }
    // Queries wait on the loop: never with the lock already held.
    const std::optional<QString> device = Microphones::resolve(pulse_, chosenUID());
    PulseContext::Locker lock(pulse_);
    if (!device) {
        closeStreamLocked();
        return false;
    }
    int error = 0;
    if (stream_ && streamDevice_ == *device && pa_stream_get_state(stream_) == PA_STREAM_READY)
        return true;
    closeStreamLocked();
    // A new stream runs until its first data and corks itself then: the source
    // is awake and its path negotiated before the first recording.
    return openStreamLocked(*device, &error, true);
}

void AudioRecorder::start()
{
    if (isRecording_.load())
        return;
    {
        QMutexLocker locker(&lock_);
        samples_.clear();
    }
    if (pulse_.inLoopThread())
        throw AudioError(QStringLiteral("OmbryVoice"), 1,
                         QStringLiteral("Le micro ne peut pas démarrer depuis son propre fil"));
    {
        PulseContext::Locker lock(pulse_);
        if (!pulse_.connectedLocked(kConnectTimeoutMs))
            throw AudioError(QStringLiteral("pulse"), PA_ERR_CONNECTIONREFUSED,
                             QStringLiteral("Serveur de son injoignable (%1)").arg(pulse_.lastError()));
    }

    const std::optional<QString> wanted = chosenUID();
    std::optional<QString> device = Microphones::resolve(pulse_, wanted);
    int error = PA_ERR_NOENTITY;
    auto attempt = [&]() {
        if (!device)
            return false;
        PulseContext::Locker lock(pulse_);
        if (!readyLocked(*device, &error))
            return false;
        beginCaptureLocked();
        return true;
    };
    bool started = attempt();
    if (!started && device && device == wanted) {
        // Present but refused: the default input records this time; the chosen
        // one is resolved again at the next start.
        Log::write(QStringLiteral("micro: impossible de choisir %1 (%2)").arg(*device).arg(error));
        const std::optional<QString> fallback = Microphones::resolve(pulse_, std::nullopt);
        if (fallback != device) {
            device = fallback;
            started = attempt();
        }
    }
    if (!started) {
        if (!device)
            throw AudioError(QStringLiteral("pulse"), PA_ERR_NOENTITY, QStringLiteral("Aucun micro"));
        throw AudioError(QStringLiteral("pulse"), error, QString::fromUtf8(pa_strerror(error)));
    }
}

// With the lock: a stream on `device` that is connected and corked, or recording.
bool AudioRecorder::readyLocked(const QString &device, int *error)
{
    if (stream_ && (streamDevice_ != device || pa_stream_get_state(stream_) != PA_STREAM_READY))
        closeStreamLocked();
    if (stream_)
        return true;
    return openStreamLocked(device, error);
}

bool AudioRecorder::openStreamLocked(const QString &device, int *error, bool prime)
{
    pa_context *context = pulse_.connectedLocked(kConnectTimeoutMs);
    if (!context) {
        *error = PA_ERR_CONNECTIONREFUSED;
        return false;
    }
    const pa_sample_spec spec{PA_SAMPLE_S16LE, kSampleRate, 1};
    pa_proplist *props = pa_proplist_new();
    pa_proplist_sets(props, PA_PROP_MEDIA_ROLE, "production");
    pa_stream *stream = pa_stream_new_with_proplist(context, "Dictée", &spec, nullptr, props);
    pa_proplist_free(props);
    if (!stream)
        throw AudioError(QStringLiteral("OmbryVoice"), 1,
                         QStringLiteral("Format d'enregistrement impossible"));
    pa_stream_set_state_callback(stream, onStreamState, this);
    pa_stream_set_read_callback(stream, onRead, this);

    // One block per fragment keeps the first block and each level close to the voice.
    pa_buffer_attr attr;
    attr.maxlength = uint32_t(-1);
    attr.tlength = uint32_t(-1);
    attr.prebuf = uint32_t(-1);
    attr.minreq = uint32_t(-1);
    attr.fragsize = kBlockBytes;
    const QByteArray name = device.toUtf8();
    // The stream must be known to onRead before any data can arrive.
    stream_ = stream;
    streamDevice_ = device;
    capturing_ = false;
    priming_ = prime;
    // Corked until a recording starts. Never moved: when its source goes away the
    // stream ends rather than follow the server's fallback, which may be a monitor.
    const auto flags = pa_stream_flags_t((prime ? 0 : PA_STREAM_START_CORKED) | PA_STREAM_ADJUST_LATENCY
                                         | PA_STREAM_DONT_MOVE);
    if (pa_stream_connect_record(stream, name.constData(), &attr, flags) < 0) {
        *error = pa_context_errno(context);
        closeStreamLocked();
        return false;
    }
    const bool settled = pulse_.waitLocked([stream] {
        const pa_stream_state_t state = pa_stream_get_state(stream);
        return state == PA_STREAM_READY || !PA_STREAM_IS_GOOD(state);
    }, kStreamTimeoutMs);
    if (!settled || pa_stream_get_state(stream) != PA_STREAM_READY) {
        *error = settled ? pa_context_errno(context) : PA_ERR_TIMEOUT;
        closeStreamLocked();
        return false;
    }
    return true;
}

void AudioRecorder::closeStreamLocked()
{
    if (!stream_)
        return;
    pa_stream *stream = stream_;
    stream_ = nullptr;
    streamDevice_.clear();
    pa_stream_set_read_callback(stream, nullptr, nullptr);
    pa_stream_set_state_callback(stream, nullptr, nullptr);
    if (PA_STREAM_IS_GOOD(pa_stream_get_state(stream)))
        pa_stream_disconnect(stream);
    pa_stream_unref(stream);
}

void AudioRecorder::beginCaptureLocked()
{
    // Whatever reached us while corked belongs to no recording.
    priming_ = false;
    capturing_ = false;
    readLocked(stream_);
    carry_.clear();
    capturing_ = true;
    isRecording_.store(true);
    if (pa_operation *op = pa_stream_cork(stream_, 0, nullptr, nullptr))
        pa_operation_unref(op);
    inputDevice_ = streamDevice_;
    const QByteArray source = streamDevice_.toUtf8();
    if (pa_operation *op = pa_context_get_source_info_by_name(pa_stream_get_context(stream_), source.constData(),
                                                              logInputFormat, nullptr))
        pa_operation_unref(op);
}

// With the lock: corks the stream and keeps what was captured before the cork.
void AudioRecorder::endCaptureLocked()
{
    pa_stream *stream = stream_;
    if (stream && pa_stream_get_state(stream) == PA_STREAM_READY) {
        if (pulse_.inLoopThread()) {
            // From a callback of this stream: nothing can be awaited here.
            if (pa_operation *op = pa_stream_cork(stream, 1, nullptr, nullptr))
                pa_operation_unref(op);
        } else {
            CorkWait wait{&pulse_};
            if (pa_operation *op = pa_stream_cork(stream, 1, onCorked, &wait)) {
                // The server answers after the data it sent before corking.
                const bool done = pulse_.waitLocked([&wait, stream, this] {
                    return wait.done || stream_ != stream || !PA_STREAM_IS_GOOD(pa_stream_get_state(stream));
                }, kCorkTimeoutMs);
                if (!done || !wait.done)
                    pa_operation_cancel(op);
                pa_operation_unref(op);
            }
            // The read callback has had every block sent before the answer; a
            // rest, if any, joins the tail without reaching the callbacks here,
            // off the sound thread.
            while (stream_ == stream && pa_stream_readable_size(stream) > 0) {
                const void *data = nullptr;
                size_t bytes = 0;
                if (pa_stream_peek(stream, &data, &bytes) < 0 || bytes == 0)
                    break;
                if (data)
                    carry_.append(static_cast<const char *>(data), qsizetype(bytes));
                pa_stream_drop(stream);
            }
        }
    }
    capturing_ = false;
    priming_ = false;
    // What arrived but did not fill a block is still part of the recording.
    const qsizetype whole = carry_.size() & ~qsizetype(1);
    if (whole > 0 && !keepSamples_.load()) {
        if (onBuffer)
            onBuffer(QByteArrayView(carry_.constData(), whole));
    } else if (whole > 0) {
        QMutexLocker locker(&lock_);
        samples_.append(carry_.constData(), whole);
    }
    carry_.clear();
}

void AudioRecorder::onStreamState(pa_stream *stream, void *userdata)
{
    auto *self = static_cast<AudioRecorder *>(userdata);
    self->pulse_.signal();
    // The server or the source went away during a recording: what was captured
    // stays; the owner decides what to do with it.
    if (self->stream_ == stream && self->capturing_ && !PA_STREAM_IS_GOOD(pa_stream_get_state(stream))) {
        self->capturing_ = false;
        if (self->onLost)
            self->onLost();
    }
}

void AudioRecorder::onRead(pa_stream *stream, size_t, void *userdata)
{
    static_cast<AudioRecorder *>(userdata)->readLocked(stream);
}

void AudioRecorder::readLocked(pa_stream *stream)
{
    qint16 block[kBlockSamples];
    while (stream && stream_ == stream && pa_stream_readable_size(stream) > 0) {
        const void *data = nullptr;
        size_t bytes = 0;
        if (pa_stream_peek(stream, &data, &bytes) < 0 || bytes == 0)
            break;
        // A hole (data null) carries no samples: nothing was captured there.
        // While idle nothing is kept.
        if (data && capturing_)
            carry_.append(static_cast<const char *>(data), qsizetype(bytes));
        pa_stream_drop(stream);
        if (priming_ && !capturing_) {
            priming_ = false;
            if (pa_operation *op = pa_stream_cork(stream, 1, nullptr, nullptr))
                pa_operation_unref(op);
        }
        while (stream_ == stream && capturing_ && carry_.size() >= kBlockBytes) {
            std::memcpy(block, carry_.constData(), kBlockBytes);
            carry_.remove(0, kBlockBytes);
            // A callback may stop the recorder; the block is then its last.
            handleBlock(block, kBlockSamples);
        }
    }
}

void AudioRecorder::handleBlock(const qint16 *block, int count)
{
    const auto *bytes = reinterpret_cast<const char *>(block);
    if (keepSamples_.load()) {
        QMutexLocker locker(&lock_);
        samples_.append(bytes, count * 2);
    }
    if (onBuffer)
        onBuffer(QByteArrayView(bytes, count * 2));

    // Signed maximum from 0: the level and the pause test look at positive peaks.
    int peak = 0;
    for (int i = 0; i < count; ++i)
        peak = std::max(peak, int(qFromLittleEndian(block[i])));
    postLevel(std::min(peak / 12000.0, 1.0));

    if (peak > kQuietPeak) {
        spokeSinceCut_ = true;
        silentFrames_ = 0;
        return;
    }
    silentFrames_ += count;
    if (spokeSinceCut_ && silentFrames_ >= kPauseFrames) {
        spokeSinceCut_ = false;
        qsizetype captured = 0;
        {
            QMutexLocker locker(&lock_);
            captured = samples_.size();
        }
        if (onPause)
            onPause(captured);
    }
}

void AudioRecorder::postLevel(double level)
{
    QCoreApplication *app = QCoreApplication::instance();
    if (!app)
        return;
    QPointer<AudioRecorder> self(this);
    QMetaObject::invokeMethod(app, [self, level] {
        if (!self)
            return;
        if (const auto f = self->onLevel.get())
            f(level);
    }, Qt::QueuedConnection);
}

AudioRecorder::Result AudioRecorder::stop()
{
    if (!isRecording_.load())
        return {};
    finishStop();
    QByteArray copy;
    {
        QMutexLocker locker(&lock_);
        copy = samples_;
    }
    lastPCM_ = copy;
    lastPeak_ = peakMagnitude(copy);
    Result result;
    result.duration = double(copy.size() / 2) / kSampleRate;
    result.wav = wav(normalize(trimSilence(copy), lastPeak_));
    return result;
}

QByteArray AudioRecorder::stopRaw()
{
    if (!isRecording_.load())
        return {};
    finishStop();
    // Handed over, not shared: a long recording is not held twice.
    QMutexLocker locker(&lock_);
    return std::exchange(samples_, QByteArray());
}

void AudioRecorder::finishStop()
{
    {
        PulseContext::Locker lock(pulse_);
        endCaptureLocked();
    }
    isRecording_.store(false);
}

QByteArray AudioRecorder::pcm(qsizetype from, qsizetype to) const
{
    QMutexLocker locker(&lock_);
    const qsizetype end = std::min(to, samples_.size());
    if (from < 0 || from >= end)
        return {};
    return samples_.mid(from, end - from);
}

int AudioRecorder::peakMagnitude(const QByteArray &pcm)
{
    const qint16 *s = samplesOf(pcm);
    const qsizetype n = pcm.size() / 2;
    int peak = 0;
    for (qsizetype i = 0; i < n; ++i)
        peak = std::max(peak, std::abs(int(qFromLittleEndian(s[i]))));
    return peak;
}

double AudioRecorder::speechSeconds(const QByteArray &pcm)
{
    if (pcm.size() < 2)
        return 0;
    const qint16 *s = samplesOf(pcm);
    const qsizetype n = pcm.size() / 2;
    int counted = 0;
    for (qsizetype start = 0; start < n; start += kTrimWindow) {
        const qsizetype end = std::min<qsizetype>(start + kTrimWindow, n);
        double sum = 0;
        for (qsizetype i = start; i < end; ++i) {
            const double v = qFromLittleEndian(s[i]);
            sum += v * v;
        }
        if (std::sqrt(sum / double(end - start)) > 600.0)
            ++counted;
    }
    return counted / 50.0;
}

QByteArray AudioRecorder::normalize(const QByteArray &pcm, int peak)
{
    if (peak <= 200 || peak >= 12000)
        return pcm;
    const double gain = std::min(20000.0 / peak, 8.0);
    QByteArray out = pcm;
    auto *s = reinterpret_cast<qint16 *>(out.data());
    const qsizetype n = out.size() / 2;
    for (qsizetype i = 0; i < n; ++i) {
        const double v = std::clamp(gain * qFromLittleEndian(s[i]), -32767.0, 32767.0);
        s[i] = qToLittleEndian(qint16(v)); // the cast truncates toward zero
    }
    return out;
}

std::pair<qsizetype, qsizetype> AudioRecorder::trimmedSpan(QByteArrayView pcm)
{
    const qsizetype n = pcm.size() / 2;
    if (n == 0)
        return {0, pcm.size()};
    const auto *s = reinterpret_cast<const qint16 *>(pcm.data());
    auto loudIn = [s](qsizetype from, qsizetype to) {
        for (qsizetype i = from; i < to; ++i) {
            const int v = qFromLittleEndian(s[i]);
            if (v > kLoudSample || v < -kLoudSample)
                return true;
        }
        return false;
    };
    qsizetype first = -1;
    for (qsizetype start = 0; start < n; start += kTrimWindow) {
        if (loudIn(start, std::min<qsizetype>(start + kTrimWindow, n))) {
            first = start;
            break;
        }
    }
    if (first < 0)
        return {0, pcm.size()}; // only silence: kept whole
    qsizetype last = n;
    for (qsizetype end = n; end > first; end -= kTrimWindow) {
        if (loudIn(std::max<qsizetype>(end - kTrimWindow, 0), end)) {
            last = end;
            break;
        }
    }
    const qsizetype from = std::max<qsizetype>(first - kTrimMargin, 0);
    const qsizetype to = std::min<qsizetype>(last + kTrimMargin, n);
    return {from * 2, (to - from) * 2};
}

QByteArray AudioRecorder::trimSilence(const QByteArray &pcm)
{
    const auto [from, size] = trimmedSpan(pcm);
    if (from == 0 && size == pcm.size())
        return pcm;
    return pcm.mid(from, size);
}

QByteArray AudioRecorder::trimmedWav(QByteArrayView pcm)
{
    const auto [from, size] = trimmedSpan(pcm);
    if (!fitsWav(size))
        return {};
    QByteArray out = wav(QByteArray());
    out.resize(44 + size);
    char *h = out.data();
    qToLittleEndian(quint32(size + 36), h + 4);
    qToLittleEndian(quint32(size), h + 40);
    std::memcpy(h + 44, pcm.data() + from, size_t(size));
    return out;
}

bool AudioRecorder::fitsWav(qint64 pcmBytes)
{
    return pcmBytes >= 0 && pcmBytes + 44 <= qint64(0xFFFFFFFF);
}

QByteArray AudioRecorder::wav(const QByteArray &pcm)
{
    if (!fitsWav(pcm.size())) {
        Log::write(QStringLiteral("audio: enregistrement trop long pour un fichier WAV (%1 octets)").arg(pcm.size()));
        return {};
    }
    const quint32 size = quint32(pcm.size());
    QByteArray out(44, Qt::Uninitialized);
    char *h = out.data();
    auto put32 = [h](int at, quint32 v) { qToLittleEndian(v, h + at); };
    auto put16 = [h](int at, quint16 v) { qToLittleEndian(v, h + at); };
    std::memcpy(h, "RIFF", 4);
    put32(4, size + 36);
    std::memcpy(h + 8, "WAVE", 4);
    std::memcpy(h + 12, "fmt ", 4);
    put32(16, 16);
    put16(20, 1);
    put16(22, 1);
    put32(24, kSampleRate);
    put32(28, kSampleRate * 2);
    put16(32, 2);
    put16(34, 16);
    std::memcpy(h + 36, "data", 4);
    put32(40, size);
    out.append(pcm);
    return out;
}
