#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QDateTime>
#include <QFile>
#include <QMutex>
#include <QString>

#include <functional>

// A recording written to disk while it is made: a WAV file (16 kHz mono s16le,
// owner-only) whose header holds placeholder sizes until finish(). A long meeting
// then never sits in memory, and a quit or crash leaves a file that can still be
// read. Meetings and dictations both record this way.
class MeetingSpool
{
public:
    MeetingSpool() = default;
    ~MeetingSpool();
    MeetingSpool(const MeetingSpool &) = delete;
    MeetingSpool &operator=(const MeetingSpool &) = delete;

    // Creates (or truncates) `path` with a header. False when it cannot be written,
    // or when `path` is a link or a file that is not the user's own plain file.
    bool open(const QString &path);
    // Any thread. Dropped after finish() or a failed write.
    void append(QByteArrayView pcm);
    // Whether a write failed: what came before it is still in the file.
    bool failed() const;
    // The errno of that failure (of open() or of a write); 0 when none.
    int error() const;
    // Called once, on the appending thread, when a write fails. Set before open().
    std::function<void()> onFailure;
    // Writes the real sizes into the header, closes the file and returns the
    // number of PCM bytes written.
    qint64 finish();
    qint64 pcmBytes() const;
    QString path() const { return path_; }

    // The PCM bytes of a spooled file (header excluded); an odd last byte is not
    // a sample and does not count.
    static qint64 pcmSize(const QString &path);
    // Bytes [offset, offset + length) of the PCM of a spooled file.
    static QByteArray read(const QString &path, qint64 offset, qint64 length);
    // Those bytes trimmed of silence and packed as a WAV, read through a mapping
    // of the file so that the samples are copied once.
    static QByteArray chunkWav(const QString &path, qint64 offset, qint64 length);
    // Fixes the header of a file left by an interrupted recording; its PCM size.
    static qint64 repair(const QString &path);

    // A file left by an interrupted recording, repaired: its length and when
    // the recording began (its creation, else its last write less its length).
    struct Left
    {
        qint64 bytes = 0;
        double seconds = 0;
        QDateTime date;
    };
    static Left recover(const QString &path);

private:
    mutable QMutex lock_;
    QFile file_;
    QString path_;
    qint64 bytes_ = 0;
    bool failed_ = false;
    int error_ = 0;
};
