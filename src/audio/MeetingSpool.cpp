#include "audio/MeetingSpool.h"

#include "audio/AudioRecorder.h"
#include "core/PrivateFiles.h"

#include <QFileInfo>
#include <QtEndian>

#include <algorithm>
#include <cerrno>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

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
    path_ = path;
    bytes_ = 0;
    failed_ = false;
    error_ = 0;
    const auto fail = [this](int error) {
        failed_ = true;
        error_ = error ? error : EIO;
        file_.close();
        return false;
    };
    if (const int fault = PrivateFiles::writeFault())
        return fail(fault);
    // Never through a link, nor into a file that has another name: an entry of
    // that name is ours to truncate only when it is a plain file of our own.
    // Owner-only like every file of the user's words.
    const int fd = ::open(QFile::encodeName(path).constData(),
                          O_WRONLY | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC, 0600);
    if (fd < 0)
        return fail(errno);
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_uid != ::geteuid() || st.st_nlink != 1) {
        ::close(fd);
        return fail(EEXIST);
    }
    if (::ftruncate(fd, 0) != 0 || ::fchmod(fd, 0600) != 0) {
        const int error = errno;
        ::close(fd);
        return fail(error);
    }
    // Unbuffered: a failed write (full disk, size limit) shows at once, not at
    // the close.
    if (!file_.open(fd, QIODevice::WriteOnly | QIODevice::Unbuffered, QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        return fail(EIO);
    }
    const QByteArray header = AudioRecorder::wav(QByteArray());
    errno = 0;
    if (file_.write(header) != header.size() || !file_.flush())
        return fail(errno);
    return true;
}

int MeetingSpool::error() const
{
    QMutexLocker locker(&lock_);
    return error_;
}

void MeetingSpool::append(QByteArrayView pcm)
{
    std::function<void()> failure;
    {
        QMutexLocker locker(&lock_);
        if (failed_ || !file_.isOpen() || pcm.isEmpty())
            return;
        const int fault = PrivateFiles::writeFault();
        errno = 0;
        const qint64 written = fault ? -1 : file_.write(pcm.data(), pcm.size());
        if (written == pcm.size()) {
            bytes_ += pcm.size();
            return;
        }
        // A partial write leaves whole samples only: the header then counts what is there.
        if (written > 0) {
            bytes_ += written & ~qint64(1);
            file_.resize(kHeader + bytes_);
            file_.seek(kHeader + bytes_);
        }
        failed_ = true;
        error_ = fault ? fault : (errno ? errno : ENOSPC);
        failure = std::move(onFailure);
    }
    if (failure)
        failure();
}

bool MeetingSpool::failed() const
{
    QMutexLocker locker(&lock_);
    return failed_;
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

MeetingSpool::Left MeetingSpool::recover(const QString &path)
{
    Left left;
    left.bytes = repair(path);
    left.seconds = double(left.bytes / 2) / AudioRecorder::kSampleRate;
    const QFileInfo info(path);
    left.date = info.birthTime();
    if (!left.date.isValid())
        left.date = info.lastModified().addMSecs(-qint64(left.seconds * 1000));
    return left;
}
