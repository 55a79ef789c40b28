#pragma once

// What the bundle's source files share.

#include "update/Bundle.h"

#include <QByteArray>
#include <QFile>
#include <QString>

#include <filesystem>
#include <optional>

#include <unistd.h>

namespace Bundle::Detail {

namespace fs = std::filesystem;

[[noreturn]] inline void refuseSignature(const QString &detail)
{
    throw Refused(Refused::Kind::Signature, detail);
}

[[noreturn]] inline void refuseArchive(const QString &detail)
{
    throw Refused(Refused::Kind::Archive, detail);
}

[[noreturn]] inline void refuseFiles(const QString &what, int error)
{
    throw Refused(Refused::Kind::Files, what + QStringLiteral(" : ") + systemError(error));
}

inline fs::path nativePath(const QString &path)
{
    return fs::path(QFile::encodeName(path).toStdString());
}

inline QString fromNative(const fs::path &path)
{
    return QFile::decodeName(QByteArray::fromStdString(path.native()));
}

struct Fd
{
    int fd = -1;
    explicit Fd(int value = -1)
        : fd(value)
    {
    }
    Fd(const Fd &) = delete;
    Fd &operator=(const Fd &) = delete;
    ~Fd()
    {
        if (fd >= 0)
            ::close(fd);
    }
};

// Reads a regular file (never through a symbolic link) of at most `limit` bytes.
std::optional<QByteArray> readRegular(const QString &path, qint64 limit);
bool writeAll(int fd, const char *data, qint64 size);

} // namespace Bundle::Detail
