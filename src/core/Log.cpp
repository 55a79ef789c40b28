#include "core/Log.h"

#include "core/PrivateFiles.h"

#include <QDateTime>
#include <QRegularExpression>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <condition_variable>
#include <cstdlib>
#include <deque>
#include <mutex>
#include <thread>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr qint64 kMaxSizeAtStart = 2000000;
constexpr size_t kMaxWaiting = 1000;

class Writer
{
public:
    void push(QDateTime when, QString message)
    {
        std::unique_lock lock(mutex_);
        if (!thread_.joinable()) {
            stopping_ = false;
            thread_ = std::thread([this] { run(); });
            static bool registered = false;
            if (!registered) {
                registered = true;
                std::atexit([] { Log::shutdown(); });
            }
        }
        // Lines from before the folder is known wait for it, within reason.
        if (folder_.isEmpty() && queue_.size() >= kMaxWaiting)
            return;
        queue_.emplace_back(std::move(when), std::move(message));
        ++queued_;
        wake_.notify_one();
    }

    void setFolder(const QString &folder)
    {
        std::unique_lock lock(mutex_);
        folder_ = folder;
        wake_.notify_one();
    }

    QString folder()
    {
        std::unique_lock lock(mutex_);
        return folder_;
    }

    void waitUntilWritten()
    {
        std::unique_lock lock(mutex_);
        const quint64 target = queued_;
        // Without a folder nothing can be written: no one waits for it.
        done_.wait(lock, [&] { return written_ >= target || !thread_.joinable() || folder_.isEmpty(); });
    }

    void shutdown()
    {
        std::thread worker;
        {
            std::unique_lock lock(mutex_);
            if (!thread_.joinable())
                return;
            stopping_ = true;
            wake_.notify_one();
            worker = std::move(thread_);
        }
        worker.join();
    }

private:
    void run()
    {
        std::unique_lock lock(mutex_);
        for (;;) {
            wake_.wait(lock, [&] { return stopping_ || (!queue_.empty() && !folder_.isEmpty()); });
            while (!queue_.empty() && !folder_.isEmpty()) {
                auto [when, message] = std::move(queue_.front());
                queue_.pop_front();
                lock.unlock();
                append(when, message);
                lock.lock();
                ++written_;
            }
            done_.notify_all();
            if (stopping_)
                break;
        }
    }

    void append(const QDateTime &when, const QString &message)
    {
        const QByteArray line = (when.toString(Qt::ISODateWithMs) + QLatin1Char(' ') + message
                                 + QLatin1Char('\n')).toUtf8();
        if (!ensureOpen())
            return;
        const char *data = line.constData();
        qsizetype left = line.size();
        while (left > 0) {
            const ssize_t n = ::write(fd_, data, size_t(left));
            if (n < 0) {
                if (errno == EINTR)
                    continue;
                return; // a full disk or a vanished volume: the line is dropped
            }
            data += n;
            left -= n;
        }
    }

    bool ensureOpen()
    {
        if (fd_ >= 0) {
            // Erasing all data removes the file while we hold it: start a new one.
            struct stat st {};
            if (::fstat(fd_, &st) == 0 && st.st_nlink > 0)
                return true;
            ::close(fd_);
            fd_ = -1;
        } else if (openedOnce_) {
            return false; // the first open of this run failed: the run stays silent
        }
        const QString file = Log::path();
        const QByteArray native = QFile::encodeName(file);
        if (!openedOnce_) {
            struct stat st {};
            if (::lstat(native.constData(), &st) == 0 && S_ISREG(st.st_mode) && st.st_size > kMaxSizeAtStart)
                ::unlink(native.constData());
        } else {
            PrivateFiles::makeFolder(QFileInfo(file).absolutePath());
        }
        openedOnce_ = true;
        // Owner-only: the log names applications and failures; a file left by an
        // earlier version loses its wider mode.
        // Never through a link, nor into a FIFO or a file with another name: the
        // journal is a file of the data folder and nothing else.
        fd_ = ::open(native.constData(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK, 0600);
        if (fd_ < 0)
            return false;
        struct stat st {};
        if (::fstat(fd_, &st) != 0 || !S_ISREG(st.st_mode) || st.st_uid != ::geteuid() || st.st_nlink != 1) {
            ::close(fd_);
            fd_ = -1;
            return false;
        }
        if (st.st_mode & 077)
            ::fchmod(fd_, st.st_mode & 07700);
        return true;
    }

    std::mutex mutex_;
    std::condition_variable wake_;
    std::condition_variable done_;
    std::deque<std::pair<QDateTime, QString>> queue_;
    std::thread thread_;
    bool stopping_ = false;
    QString folder_;
    quint64 queued_ = 0;
    quint64 written_ = 0;
    // Touched by the writer thread only.
    int fd_ = -1;
    bool openedOnce_ = false;
};

Writer &writer()
{
    // Never destroyed: lines may still arrive while other statics are torn down.
    static Writer *instance = new Writer;
    return *instance;
}

} // namespace

namespace Log {

QString withoutServiceText(const QString &message)
{
    // " : erreur 502 " and the service's text after it, which may echo what was
    // sent: the user's words. The journal keeps the service and the status, never
    // that text; a status 0 is no reply and carries the program's own words.
    static const QRegularExpression text(QStringLiteral(" : erreur ([1-9]\\d\\d)(?=\\s|$)[\\s\\S]*$"));
    if (!message.contains(QLatin1String(" : erreur ")))
        return message;
    const QRegularExpressionMatch found = text.match(message);
    if (!found.hasMatch())
        return message;
    QString cut = message.left(found.capturedStart()) + QStringLiteral(" : erreur ") + found.captured(1);
    // The cause stays within the brackets it was given in.
    if (message.endsWith(QLatin1Char(')')) && cut.count(QLatin1Char('(')) > cut.count(QLatin1Char(')')))
        cut += QLatin1Char(')');
    return cut;
}

void write(const QString &message)
{
    writer().push(QDateTime::currentDateTimeUtc(), withoutServiceText(message));
}

void setFolder(const QString &folder)
{
    writer().setFolder(folder);
}

QString path()
{
    const QString folder = writer().folder();
    return folder.isEmpty() ? QString() : folder + QStringLiteral("/journal.log");
}

void waitUntilWritten()
{
    writer().waitUntilWritten();
}

void shutdown()
{
    writer().shutdown();
}

} // namespace Log
