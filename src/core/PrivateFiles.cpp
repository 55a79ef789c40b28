#include "core/PrivateFiles.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <atomic>
#include <cerrno>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

std::atomic<int> g_writeFault{0};

// A descriptor closed when it goes out of scope.
struct Fd
{
    int fd = -1;
    Fd() = default;
    explicit Fd(int f) : fd(f) {}
    Fd(const Fd &) = delete;
    Fd &operator=(const Fd &) = delete;
    Fd(Fd &&o) noexcept : fd(std::exchange(o.fd, -1)) {}
    Fd &operator=(Fd &&o) noexcept
    {
        if (this != &o) {
            reset();
            fd = std::exchange(o.fd, -1);
        }
        return *this;
    }
    ~Fd() { reset(); }
    void reset()
    {
        if (fd >= 0)
            ::close(fd);
        fd = -1;
    }
    explicit operator bool() const { return fd >= 0; }
};

bool plainComponent(const QString &c)
{
    return !c.isEmpty() && c != QLatin1String(".") && c != QLatin1String("..") && !c.contains(QChar(0));
}

bool ownFolder(const struct stat &st)
{
    return S_ISDIR(st.st_mode) && st.st_uid == ::geteuid();
}

bool ownFile(const struct stat &st)
{
    return S_ISREG(st.st_mode) && st.st_uid == ::geteuid() && st.st_nlink == 1;
}

// The folder root/components… opened without following a link at any step.
Fd openFolder(const QString &root, const QStringList &components)
{
    Fd dir(::open(QFile::encodeName(root).constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    if (!dir)
        return {};
    struct stat st {};
    if (::fstat(dir.fd, &st) != 0 || !ownFolder(st))
        return {};
    for (const QString &c : components) {
        if (!plainComponent(c))
            return {};
        Fd next(::openat(dir.fd, QFile::encodeName(c).constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
        if (!next || ::fstat(next.fd, &st) != 0 || !ownFolder(st))
            return {};
        dir = std::move(next);
    }
    return dir;
}

// The folder that holds root/relative and the last component's name.
struct Place
{
    Fd folder;
    QByteArray name;
};

std::optional<Place> place(const QString &root, const QString &relative)
{
    QStringList parts = relative.split(QLatin1Char('/'));
    if (parts.isEmpty() || !plainComponent(parts.last()))
        return std::nullopt;
    const QString last = parts.takeLast();
    Fd folder = openFolder(root, parts);
    if (!folder)
        return std::nullopt;
    return Place{std::move(folder), QFile::encodeName(last)};
}

// The file itself, opened without following a link and without blocking on a FIFO.
Fd openOwnedFile(const Place &at)
{
    Fd file(::openat(at.folder.fd, at.name.constData(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
    struct stat st {};
    if (!file || ::fstat(file.fd, &st) != 0 || !ownFile(st))
        return {};
    return file;
}

void dropWideMode(int fd)
{
    struct stat st {};
    if (::fstat(fd, &st) == 0 && (st.st_mode & 077))
        ::fchmod(fd, st.st_mode & 07700);
}

} // namespace

namespace PrivateFiles {

bool write(const QString &path, const QByteArray &data, int *error)
{
    int failure = 0;
    const auto fail = [&](int e) {
        failure = e ? e : EIO;
        if (error)
            *error = failure;
        return false;
    };
    if (const int injected = g_writeFault.load())
        return fail(injected);
    const QFileInfo info(path);
    QByteArray tmpl = QFile::encodeName(info.absolutePath() + QStringLiteral("/.") + info.fileName()
                                        + QStringLiteral(".XXXXXX"));
    const int fd = ::mkostemp(tmpl.data(), O_CLOEXEC); // mode 0600
    if (fd < 0)
        return fail(errno);
    bool ok = ::fchmod(fd, 0600) == 0;
    int e = ok ? 0 : errno;
    qsizetype done = 0;
    while (ok && done < data.size()) {
        const ssize_t n = ::write(fd, data.constData() + done, size_t(data.size() - done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            e = n < 0 ? errno : ENOSPC;
            ok = false;
        } else {
            done += n;
        }
    }
    if (ok && ::fsync(fd) != 0) {
        e = errno;
        ok = false;
    }
    if (::close(fd) != 0 && ok) {
        e = errno;
        ok = false;
    }
    if (ok && ::rename(tmpl.constData(), QFile::encodeName(path).constData()) != 0) {
        e = errno;
        ok = false;
    }
    if (!ok) {
        ::unlink(tmpl.constData());
        return fail(e);
    }
    // Make the rename itself durable.
    const int dir = ::open(QFile::encodeName(info.absolutePath()).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir >= 0) {
        ::fsync(dir);
        ::close(dir);
    }
    return true;
}

bool makeFolder(const QString &path)
{
    if (!QFileInfo(path).isDir() && !QDir().mkpath(path))
        return false;
    tighten(path);
    return true;
}

void tighten(const QString &path)
{
    // Opened without following a link, so a link planted in the folder cannot
    // make us change the mode of what it points at.
    Fd fd(::open(QFile::encodeName(path).constData(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK | O_NOCTTY));
    if (!fd)
        return;
    struct stat st {};
    if (::fstat(fd.fd, &st) != 0 || st.st_uid != ::geteuid())
        return;
    if (S_ISDIR(st.st_mode) || (S_ISREG(st.st_mode) && st.st_nlink == 1))
        dropWideMode(fd.fd);
}

QString setAsideName(const QString &path)
{
    // "illisible-20261209T054848Z"
    const QString base = path + QStringLiteral(".illisible-")
                         + QDateTime::currentDateTimeUtc().toString(QStringLiteral("yyyyMMdd'T'HHmmss'Z'"));
    QString target = base;
    for (int n = 2; QFileInfo::exists(target) || QFileInfo(target).isSymLink(); ++n)
        target = base + QLatin1Char('-') + QString::number(n);
    return target;
}

bool isOwned(const QString &root, const QString &relative)
{
    const std::optional<Place> at = place(root, relative);
    return at && openOwnedFile(*at);
}

bool removeOwned(const QString &root, const QString &relative)
{
    const std::optional<Place> at = place(root, relative);
    if (!at)
        return false;
    struct stat st {};
    if (::fstatat(at->folder.fd, at->name.constData(), &st, AT_SYMLINK_NOFOLLOW) != 0 || !ownFile(st))
        return false;
    return ::unlinkat(at->folder.fd, at->name.constData(), 0) == 0;
}

bool removeOwnedPath(const QString &path)
{
    const QFileInfo info(path);
    return removeOwned(info.absolutePath(), info.fileName());
}

void tightenOwned(const QString &root, const QString &relative)
{
    if (relative.isEmpty()) {
        if (const Fd folder = openFolder(root, {}))
            dropWideMode(folder.fd);
        return;
    }
    const std::optional<Place> at = place(root, relative);
    if (!at)
        return;
    if (const Fd file = openOwnedFile(*at)) {
        dropWideMode(file.fd);
        return;
    }
    if (const Fd folder = openFolder(root, relative.split(QLatin1Char('/'))))
        dropWideMode(folder.fd);
}

namespace {

// Up to `size` bytes of an open regular file (fewer if it shrank meanwhile);
// none on a read error, with errno set.
std::optional<QByteArray> readAll(int fd, qint64 size)
{
    QByteArray data;
    data.resize(qsizetype(size));
    qsizetype done = 0;
    while (done < data.size()) {
        const ssize_t n = ::read(fd, data.data() + done, size_t(data.size() - done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return std::nullopt;
        if (n == 0)
            break;
        done += n;
    }
    data.truncate(done);
    return data;
}

} // namespace

std::optional<QByteArray> readOwned(const QString &root, const QString &relative, qint64 maxBytes)
{
    const std::optional<Place> at = place(root, relative);
    if (!at)
        return std::nullopt;
    const Fd file = openOwnedFile(*at);
    struct stat st {};
    if (!file || ::fstat(file.fd, &st) != 0 || st.st_size > maxBytes)
        return std::nullopt;
    return readAll(file.fd, st.st_size);
}

QStringList ownedFiles(const QString &root, const QString &relative)
{
    Fd folder = openFolder(root, relative.isEmpty() ? QStringList() : relative.split(QLatin1Char('/')));
    if (!folder)
        return {};
    DIR *listing = ::fdopendir(::dup(folder.fd));
    if (!listing)
        return {};
    QStringList names;
    while (const dirent *entry = ::readdir(listing)) {
        struct stat st {};
        if (::fstatat(folder.fd, entry->d_name, &st, AT_SYMLINK_NOFOLLOW) == 0 && ownFile(st))
            names.append(QFile::decodeName(entry->d_name));
    }
    ::closedir(listing);
    names.sort();
    return names;
}

bool removeOwnedFolder(const QString &root, const QString &relative)
{
    QStringList parts = relative.split(QLatin1Char('/'));
    if (parts.isEmpty() || !plainComponent(parts.last()))
        return false;
    for (const QString &name : ownedFiles(root, relative))
        removeOwned(root, relative + QLatin1Char('/') + name);
    const QString last = parts.takeLast();
    const Fd parent = openFolder(root, parts);
    if (!parent)
        return false;
    const QByteArray name = QFile::encodeName(last);
    struct stat st {};
    if (::fstatat(parent.fd, name.constData(), &st, AT_SYMLINK_NOFOLLOW) != 0)
        return errno == ENOENT;
    if (!ownFolder(st))
        return false;
    // Only when empty: what the program did not put there stays.
    return ::unlinkat(parent.fd, name.constData(), AT_REMOVEDIR) == 0;
}

bool ensureOwnFolder(const QString &root, const QString &name)
{
    if (!plainComponent(name) || name.contains(QLatin1Char('/')))
        return false;
    const Fd parent = openFolder(root, {});
    if (!parent)
        return false;
    const QByteArray native = QFile::encodeName(name);
    struct stat st {};
    if (::fstatat(parent.fd, native.constData(), &st, AT_SYMLINK_NOFOLLOW) == 0) {
        if (ownFolder(st)) {
            if (const Fd folder = openFolder(root, {name}))
                dropWideMode(folder.fd);
            return true;
        }
        // Not ours to write into: moved out of the way, never followed.
        const QString aside = QFileInfo(setAsideName(root + QLatin1Char('/') + name)).fileName();
        if (::renameat(parent.fd, native.constData(), parent.fd, QFile::encodeName(aside).constData()) != 0)
            return false;
    }
    if (::mkdirat(parent.fd, native.constData(), 0700) != 0 && errno != EEXIST)
        return false;
    return bool(openFolder(root, {name}));
}

std::optional<QByteArray> readData(const QString &path, int *error)
{
    const auto fail = [error](int e) -> std::optional<QByteArray> {
        if (error)
            *error = e;
        return std::nullopt;
    };
    // Not blocking: a FIFO opened for reading would wait for a writer.
    const Fd file(::open(QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
    if (!file)
        return fail(errno);
    struct stat st {};
    if (::fstat(file.fd, &st) != 0)
        return fail(errno);
    if (!S_ISREG(st.st_mode))
        return fail(EINVAL);
    std::optional<QByteArray> data = readAll(file.fd, st.st_size);
    if (!data)
        return fail(errno);
    return data;
}

QString temporaryTarget(const QString &fileName)
{
    // "." + target + "." + the six characters mkostemp() puts in place of XXXXXX.
    if (fileName.size() < 9 || !fileName.startsWith(QLatin1Char('.')) || fileName.at(fileName.size() - 7) != QLatin1Char('.'))
        return {};
    for (qsizetype i = fileName.size() - 6; i < fileName.size(); ++i) {
        const QChar c = fileName.at(i);
        if (!(c.isLetterOrNumber() && c.unicode() < 128))
            return {};
    }
    return fileName.mid(1, fileName.size() - 8);
}

void setWriteFault(int error)
{
    g_writeFault.store(error);
}

int writeFault()
{
    return g_writeFault.load();
}

} // namespace PrivateFiles
