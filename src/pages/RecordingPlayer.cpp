#include "pages/RecordingPlayer.h"


#include <QAudioSink>
#include <QCoreApplication>
#include <QFile>
#include <QMediaDevices>
#include <QtEndian>

namespace {

quint32 le32(const char *p)
{
    return qFromLittleEndian<quint32>(p);
}

quint16 le16(const char *p)
{
    return qFromLittleEndian<quint16>(p);
}

} // namespace

RecordingPlayer::RecordingPlayer(QObject *parent) : QObject(parent)
{
    // The stream is closed while the application still runs, not during exit.
    if (QCoreApplication *app = QCoreApplication::instance())
        connect(app, &QCoreApplication::aboutToQuit, this, &RecordingPlayer::stop);
}

RecordingPlayer::~RecordingPlayer()
{
    stop();
}

std::optional<RecordingPlayer::Pcm> RecordingPlayer::decode(const QByteArray &wav)
{
    const char *d = wav.constData();
    const qsizetype size = wav.size();
    if (size < 12 || std::memcmp(d, "RIFF", 4) != 0 || std::memcmp(d + 8, "WAVE", 4) != 0)
        return std::nullopt;
    std::optional<QAudioFormat> format;
    qsizetype at = 12;
    while (at + 8 <= size) {
        const char *chunk = d + at;
        const quint32 length = le32(chunk + 4);
        const qsizetype body = at + 8;
        if (std::memcmp(chunk, "fmt ", 4) == 0) {
            if (length < 16 || body + 16 > size)
                return std::nullopt;
            const quint16 tag = le16(d + body);
            const quint16 channels = le16(d + body + 2);
            const quint32 rate = le32(d + body + 4);
            const quint16 bits = le16(d + body + 14);
            // 0xFFFE (extensible) carries its real tag in the sub-format GUID's first bytes.
            const bool extensiblePcm = tag == 0xFFFE && length >= 40 && body + 26 <= size && le16(d + body + 24) == 1;
            if ((tag != 1 && !extensiblePcm) || bits != 16 || channels < 1 || channels > 2 || rate < 1000
                || rate > 384000)
                return std::nullopt;
            QAudioFormat f;
            f.setSampleRate(int(rate));
            f.setChannelCount(channels);
            f.setSampleFormat(QAudioFormat::Int16);
            format = f;
        } else if (std::memcmp(chunk, "data", 4) == 0) {
            if (!format)
                return std::nullopt;
            // A header that claims more than the file holds (a recording cut short) plays
            // what is there, in whole frames.
            qsizetype n = std::min<qsizetype>(length, size - body);
            n -= n % format->bytesPerFrame();
            if (n <= 0)
                return std::nullopt;
            return Pcm{*format, wav.mid(body, n)};
        }
        at = body + qsizetype(length) + (length & 1); // chunks are padded to even sizes
    }
    return std::nullopt;
}

bool RecordingPlayer::play(const QUrl &url)
{
    stop();
    if (!url.isLocalFile())
        return false;
    QFile file(url.toLocalFile());
    if (!file.open(QIODevice::ReadOnly))
        return false;
    std::optional<Pcm> pcm = decode(file.readAll());
    if (!pcm)
        return false;
    samples_ = std::move(pcm->samples);
    buffer_.setBuffer(&samples_);
    buffer_.open(QIODevice::ReadOnly);
    sink_ = std::make_unique<QAudioSink>(QMediaDevices::defaultAudioOutput(), pcm->format);
    connect(sink_.get(), &QAudioSink::stateChanged, this, [this](QAudio::State state) {
        // Stopping from inside the sink's own notification can abort in the sound
        // library: let it finish first.
        if (state == QAudio::IdleState || state == QAudio::StoppedState)
            QMetaObject::invokeMethod(this, [this] {
                if (sink_ && (sink_->state() == QAudio::IdleState || sink_->state() == QAudio::StoppedState))
                    stop();
            }, Qt::QueuedConnection);
    });
    sink_->start(&buffer_);
    setPlaying(sink_->state() == QAudio::ActiveState);
    if (!playing_)
        stop();
    return true;
}

void RecordingPlayer::stop()
{
    if (sink_) {
        sink_->disconnect(this);
        sink_->stop();
        sink_.reset();
    }
    buffer_.close();
    samples_.clear();
    setPlaying(false);
}

void RecordingPlayer::setPlaying(bool on)
{
    if (playing_ == on)
        return;
    playing_ = on;
    Q_EMIT playingChanged();
}
