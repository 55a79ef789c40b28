#include "update/Bundle.h"

#include "update/Bundle_p.h"

#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace Bundle {

using namespace Detail;

Refused::Refused(Kind kind, const QString &detail)
    : std::runtime_error(detail.toStdString())
    , kind_(kind)
    , detail_(detail)
{
}

namespace {

constexpr qint64 kMaxInfoBytes = 64 * 1024;

} // namespace

std::optional<QByteArray> Detail::readRegular(const QString &path, qint64 limit)
{
    Fd file(::open(QFile::encodeName(path).constData(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC));
    struct stat info {};
    if (file.fd < 0 || ::fstat(file.fd, &info) != 0 || !S_ISREG(info.st_mode) || info.st_size > limit)
        return std::nullopt;
    QByteArray bytes;
    bytes.resize(qsizetype(info.st_size));
    qsizetype done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::read(file.fd, bytes.data() + done, size_t(bytes.size() - done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return std::nullopt;
        done += n;
    }
    return bytes;
}

bool Detail::writeAll(int fd, const char *data, qint64 size)
{
    while (size > 0) {
        const ssize_t n = ::write(fd, data, size_t(size));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        data += n;
        size -= n;
    }
    return true;
}

qint64 parseBuild(const QJsonValue &value)
{
    if (value.isString()) {
        static const QRegularExpression digits(QStringLiteral("^[+-]?[0-9]+$"));
        const QString text = value.toString();
        if (!digits.match(text).hasMatch())
            return 0;
        bool ok = false;
        const qint64 number = text.toLongLong(&ok, 10);
        return ok ? number : 0;
    }
    if (value.isDouble()) {
        // toInteger() falls back to its default unless the number is whole.
        const qint64 a = value.toInteger(0);
        const qint64 b = value.toInteger(1);
        return a == b ? a : 0;
    }
    return 0;
}

std::optional<Info> readInfo(const QString &folder)
{
    const std::optional<QByteArray> bytes = readRegular(folder + QLatin1Char('/') + kInfoFile, kMaxInfoBytes);
    if (!bytes)
        return std::nullopt;
    const QJsonDocument document = QJsonDocument::fromJson(*bytes);
    if (!document.isObject())
        return std::nullopt;
    const QJsonObject object = document.object();
    Info info;
    info.identifier = object.value(QStringLiteral("identifier")).toString();
    info.version = object.value(QStringLiteral("version")).toString();
    info.build = parseBuild(object.value(QStringLiteral("build")));
    return info;
}

QString bundleOf(const QString &executable)
{
    const QString folder = QFileInfo(executable).absolutePath();
    return QFileInfo(folder + QLatin1Char('/') + kInfoFile).isFile() ? folder : QString();
}

QString systemError(int error)
{
    switch (error) {
    case EACCES:
    case EPERM:
        return QStringLiteral("permission refusée");
    case ENOSPC:
    case EDQUOT:
        return QStringLiteral("plus assez d'espace disque");
    case EROFS:
        return QStringLiteral("système de fichiers en lecture seule");
    case ENOENT:
        return QStringLiteral("élément introuvable");
    case EEXIST:
        return QStringLiteral("un élément du même nom existe déjà");
    case EXDEV:
        return QStringLiteral("déplacement entre deux disques impossible");
    case ENOTDIR:
    case EISDIR:
    case ELOOP:
        return QStringLiteral("type d'élément inattendu");
    case EIO:
        return QStringLiteral("erreur d'entrée-sortie");
    default:
        return QStringLiteral("erreur système %1").arg(error);
    }
}

} // namespace Bundle
