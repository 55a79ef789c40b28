#include "core/PrivateFiles.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace PrivateFiles {

bool write(const QString &path, const QByteArray &data)
{
    const QFileInfo info(path);
    QByteArray tmpl = QFile::encodeName(info.absolutePath() + QStringLiteral("/.") + info.fileName()
                                        + QStringLiteral(".XXXXXX"));
    const int fd = ::mkostemp(tmpl.data(), O_CLOEXEC); // mode 0600
    if (fd < 0)
        return false;
    bool ok = ::fchmod(fd, 0600) == 0;
    qsizetype done = 0;
    while (ok && done < data.size()) {
        const ssize_t n = ::write(fd, data.constData() + done, size_t(data.size() - done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            ok = false;
        else
            done += n;
    }
    ok = ok && ::fsync(fd) == 0;
    ok = (::close(fd) == 0) && ok;
    if (ok)
        ok = ::rename(tmpl.constData(), QFile::encodeName(path).constData()) == 0;
    if (!ok) {
        ::unlink(tmpl.constData());
        return false;
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
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
    if (fd < 0)
        return;
    struct stat st {};
    if (::fstat(fd, &st) == 0 && (S_ISREG(st.st_mode) || S_ISDIR(st.st_mode)) && (st.st_mode & 077))
        ::fchmod(fd, st.st_mode & 07700);
    ::close(fd);
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

} // namespace PrivateFiles
