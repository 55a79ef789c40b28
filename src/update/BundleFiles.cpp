// Trees of files: removing, copying and swapping in a bundle.

#include "update/Bundle.h"

#include "update/Bundle_p.h"

#include <QFile>
#include <QFileInfo>

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

bool removeTree(const QString &path)
{
    if (path.isEmpty())
        return true;
    const QByteArray top = QFile::encodeName(path);
    struct stat info {};
    if (::lstat(top.constData(), &info) != 0)
        return errno == ENOENT;
    if (!S_ISDIR(info.st_mode))
        return ::unlink(top.constData()) == 0 || errno == ENOENT;

    // Depth first with one open folder: the way back up is "..", checked
    // against the device and inode remembered on the way down, so a folder
    // moved meanwhile stops the walk instead of sending it elsewhere.
    struct Level
    {
        dev_t device;
        ino_t inode;
        std::string name;             // in its parent
        std::vector<std::string> kept; // entries that could not be removed
    };
    Fd current(::open(top.constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    if (current.fd < 0 || ::fstat(current.fd, &info) != 0)
        return false;
    std::vector<Level> levels{{info.st_dev, info.st_ino, {}, {}}};
    for (;;) {
        std::string child;
        {
            // A fresh descriptor each pass: reading starts over at the beginning.
            const int listing = ::openat(current.fd, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
            DIR *folder = listing >= 0 ? ::fdopendir(listing) : nullptr;
            if (!folder) {
                if (listing >= 0)
                    ::close(listing);
                return false;
            }
            std::vector<std::string> &kept = levels.back().kept;
            while (const dirent *entry = ::readdir(folder)) {
                const std::string name = entry->d_name;
                if (name == "." || name == ".." || std::find(kept.cbegin(), kept.cend(), name) != kept.cend())
                    continue;
                if (::unlinkat(current.fd, name.c_str(), 0) == 0)
                    continue;
                if (errno == EISDIR || errno == EPERM) {
                    if (::unlinkat(current.fd, name.c_str(), AT_REMOVEDIR) == 0)
                        continue;
                    if (errno == ENOTEMPTY || errno == EEXIST) {
                        child = name;
                        break;
                    }
                }
                if (errno != ENOENT)
                    kept.push_back(name);
            }
            ::closedir(folder);
        }
        if (!child.empty()) {
            const int next = ::openat(current.fd, child.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
            if (next < 0 || ::fstat(next, &info) != 0) {
                if (next >= 0)
                    ::close(next);
                levels.back().kept.push_back(child);
                continue;
            }
            ::close(current.fd);
            current.fd = next;
            levels.push_back({info.st_dev, info.st_ino, child, {}});
            continue;
        }
        if (levels.size() == 1)
            break;
        const std::string name = levels.back().name;
        const int parent = ::openat(current.fd, "..", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        levels.pop_back();
        if (parent < 0 || ::fstat(parent, &info) != 0 || info.st_dev != levels.back().device
            || info.st_ino != levels.back().inode) {
            if (parent >= 0)
                ::close(parent);
            return false;
        }
        ::close(current.fd);
        current.fd = parent;
        if (::unlinkat(current.fd, name.c_str(), AT_REMOVEDIR) != 0 && errno != ENOENT)
            levels.back().kept.push_back(name);
    }
    ::close(current.fd);
    current.fd = -1;
    return ::rmdir(top.constData()) == 0 || errno == ENOENT;
}

void copyTree(const QString &from, const QString &to)
{
    const fs::path source = nativePath(from);
    const fs::path target = nativePath(to);
    if (::mkdir(target.c_str(), 0755) != 0)
        refuseFiles(QStringLiteral("copie de la nouvelle version impossible"), errno);
    std::error_code error;
    for (fs::recursive_directory_iterator it(source, error); !error && it != fs::recursive_directory_iterator();
         it.increment(error)) {
        const fs::file_status status = it->symlink_status(error);
        const fs::path destination = target / it->path().lexically_relative(source);
        if (fs::is_directory(status)) {
            if (::mkdir(destination.c_str(), 0755) != 0)
                refuseFiles(QStringLiteral("copie de la nouvelle version impossible"), errno);
            continue;
        }
        if (!fs::is_regular_file(status))
            refuseFiles(QStringLiteral("copie de la nouvelle version impossible"), EINVAL);
        const mode_t mode = (status.permissions() & fs::perms::owner_exec) != fs::perms::none ? 0755 : 0644;
        Fd in(::open(it->path().c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC));
        Fd out(::open(destination.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, mode));
        if (in.fd < 0 || out.fd < 0)
            refuseFiles(QStringLiteral("copie de la nouvelle version impossible"), errno);
        char buffer[64 * 1024];
        for (;;) {
            const ssize_t n = ::read(in.fd, buffer, sizeof buffer);
            if (n < 0 && errno == EINTR)
                continue;
            if (n < 0)
                refuseFiles(QStringLiteral("copie de la nouvelle version impossible"), errno);
            if (n == 0)
                break;
            if (!writeAll(out.fd, buffer, n))
                refuseFiles(QStringLiteral("copie de la nouvelle version impossible"), errno);
        }
        ::fchmod(out.fd, mode);
        // A power cut after the swap must not leave a half-written program.
        if (::fsync(out.fd) != 0)
            refuseFiles(QStringLiteral("copie de la nouvelle version impossible"), errno);
    }
    if (error)
        refuseFiles(QStringLiteral("copie de la nouvelle version impossible"), error.value());
}

QString swapIn(const QString &staging, const QString &target)
{
    const QByteArray from = QFile::encodeName(staging);
    const QByteArray to = QFile::encodeName(target);
    const QString parent = QFileInfo(target).absolutePath();
    const auto syncParent = [&parent] {
        Fd folder(::open(QFile::encodeName(parent).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
        if (folder.fd >= 0)
            ::fsync(folder.fd);
    };
    if (::renameat2(AT_FDCWD, from.constData(), AT_FDCWD, to.constData(), RENAME_EXCHANGE) == 0) {
        syncParent();
        return staging;
    }
    if (errno != EINVAL && errno != ENOSYS && errno != ENOTSUP)
        refuseFiles(QStringLiteral("remplacement de l'appli impossible"), errno);

    // No atomic exchange here: move the old copy aside, then the new one in.
    const QString aside = parent + QStringLiteral("/.") + QFileInfo(target).fileName() + QStringLiteral(".ancien");
    removeTree(aside);
    const QByteArray asideName = QFile::encodeName(aside);
    if (::rename(to.constData(), asideName.constData()) != 0)
        refuseFiles(QStringLiteral("remplacement de l'appli impossible"), errno);
    if (::rename(from.constData(), to.constData()) != 0) {
        const int error = errno;
        ::rename(asideName.constData(), to.constData());
        refuseFiles(QStringLiteral("remplacement de l'appli impossible"), error);
    }
    syncParent();
    return aside;
}

} // namespace Bundle
