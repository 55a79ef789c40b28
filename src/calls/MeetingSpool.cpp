#include "calls/MeetingSpool.h"

#include "audio/AudioRecorder.h"

#include <QFileInfo>
#include <QtEndian>

#include <algorithm>

namespace {

constexpr qint64 kHeader = 44;

void writeSizes(QFile &file, qint64 pcm)
{
    // The header's fields are 32-bit; a longer file keeps the largest size.
    const quint32 data = quint32(std::min<qint64>(pcm, 0xFFFFFFFFLL - kHeader));
    char riff[4];
    qToLittleEndian<quint32>(data + quint32(kHeader - 8), riff);
    char size[4];
    qToLittleEndian<quint32>(data, size);
    file.seek(4);
    file.write(riff, 4);
    file.seek(40);
    file.write(size, 4);
}

} // namespace

MeetingSpool::~MeetingSpool()
{
    finish();
}

bool MeetingSpool::open(const QString &path)
{
    QMutexLocker locker(&lock_);
    file_.close();
    file_.setFileName(path);
    path_ = path;
    bytes_ = 0;
    failed_ = false;
    if (!file_.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        failed_ = true;
        return false;
    }
    const QByteArray header = AudioRecorder::wav(QByteArray());
    if (file_.write(header) != header.size() || !file_.flush()) {
        failed_ = true;
        file_.close();
        return false;
    }
    return true;
}

void MeetingSpool::append(QByteArrayView pcm)
{
    QMutexLocker locker(&lock_);
    if (failed_ || !file_.isOpen() || pcm.isEmpty())
        return;
    if (file_.write(pcm.data(), pcm.size()) != pcm.size()) {
        failed_ = true;
        return;
    }
    bytes_ += pcm.size();
}

qint64 MeetingSpool::finish()
{
    QMutexLocker locker(&lock_);
    if (file_.isOpen()) {
        writeSizes(file_, bytes_);
        file_.close();
    }
    return bytes_;
}

qint64 MeetingSpool::pcmBytes() const
{
    QMutexLocker locker(&lock_);
    return bytes_;
}

qint64 MeetingSpool::pcmSize(const QString &path)
{
    const qint64 size = QFileInfo(path).size() - kHeader;
    return size > 0 ? size & ~qint64(1) : 0;
}

QByteArray MeetingSpool::read(const QString &path, qint64 offset, qint64 length)
{
    QFile file(path);
    if (offset < 0 || length <= 0 || !file.open(QIODevice::ReadOnly) || !file.seek(kHeader + offset))
        return {};
    return file.read(length);
}

QByteArray MeetingSpool::chunkWav(const QString &path, qint64 offset, qint64 length)
{
    QFile file(path);
    if (offset < 0 || length <= 0 || !file.open(QIODevice::ReadOnly))
        return AudioRecorder::wav(QByteArray());
    length = std::min(length, file.size() - kHeader - offset);
    if (length <= 0)
        return AudioRecorder::wav(QByteArray());
    if (uchar *mapped = file.map(kHeader + offset, length)) {
        QByteArray wav = AudioRecorder::trimmedWav(QByteArrayView(mapped, length));
        file.unmap(mapped);
        return wav;
    }
    return AudioRecorder::wav(AudioRecorder::trimSilence(read(path, offset, length)));
}

qint64 MeetingSpool::repair(const QString &path)
{
    const qint64 pcm = pcmSize(path);
    QFile file(path);
    if (QFileInfo(path).size() < kHeader || !file.open(QIODevice::ReadWrite))
        return 0;
    writeSizes(file, pcm);
    return pcm;
}
