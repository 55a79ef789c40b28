// Release archives: reading them safely, and writing them.

#include "update/Bundle.h"

#include "update/Bundle_p.h"

#include <QFile>
#include <QFileInfo>

#include <archive.h>
#include <archive_entry.h>

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

namespace {

struct ArchiveReader
{
    archive *handle = archive_read_new();
    ~ArchiveReader() { archive_read_free(handle); }
};

// Components of a member's name; "./" prefixes and doubled slashes dropped.
// Refuses absolute names and "..".
QList<QByteArray> memberComponents(const QByteArray &name)
{
    if (name.isEmpty())
        refuseArchive(QStringLiteral("membre sans nom"));
    if (name.startsWith('/'))
        refuseArchive(QStringLiteral("chemin absolu dans l'archive"));
    QList<QByteArray> parts;
    for (const QByteArray &part : name.split('/')) {
        if (part.isEmpty() || part == ".")
            continue;
        if (part == "..")
            refuseArchive(QStringLiteral("chemin remontant (« .. ») dans l'archive"));
        if (part.size() > 255)
            refuseArchive(QStringLiteral("nom trop long dans l'archive"));
        parts.append(part);
    }
    return parts;
}

// Opens (creating it when asked) the folder `name` inside `parent`, refusing to
// pass through anything that is not a real folder.
int openFolder(int parent, const QByteArray &name)
{
    if (::mkdirat(parent, name.constData(), 0755) != 0 && errno != EEXIST)
        return -1;
    return ::openat(parent, name.constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
}

} // namespace

QStringList extract(const QString &archivePath, const QString &destination, const Limits &limits)
{
    Fd root(::open(QFile::encodeName(destination).constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    if (root.fd < 0)
        refuseFiles(QStringLiteral("dossier de travail inaccessible"), errno);

    ArchiveReader reader;
    archive_read_support_filter_gzip(reader.handle);
    archive_read_support_format_tar(reader.handle);
    if (archive_read_open_filename(reader.handle, QFile::encodeName(archivePath).constData(), 64 * 1024) != ARCHIVE_OK)
        refuseArchive(QStringLiteral("archive illisible"));

    QStringList topLevel;
    int entries = 0;
    qint64 written = 0;
    std::unique_ptr<char[]> buffer(new char[64 * 1024]);
    archive_entry *entry = nullptr;
    int status = ARCHIVE_OK;
    while ((status = archive_read_next_header(reader.handle, &entry)) == ARCHIVE_OK) {
        if (++entries > limits.maxEntries)
            refuseArchive(QStringLiteral("archive trop grande (trop de membres)"));
        const char *utf8 = archive_entry_pathname_utf8(entry);
        const char *raw = archive_entry_pathname(entry);
        const QByteArray name = utf8 ? QByteArray(utf8) : QByteArray(raw ? raw : "");
        if (name.size() > limits.maxNameBytes)
            refuseArchive(QStringLiteral("chemin trop long dans l'archive"));
        const QList<QByteArray> parts = memberComponents(name);
        if (parts.size() > limits.maxDepth)
            refuseArchive(QStringLiteral("arborescence trop profonde dans l'archive"));
        if (archive_entry_hardlink(entry) || archive_entry_symlink(entry))
            refuseArchive(QStringLiteral("lien dans l'archive"));
        const mode_t type = archive_entry_filetype(entry);
        if (type == AE_IFLNK)
            refuseArchive(QStringLiteral("lien dans l'archive"));
        if (type != AE_IFDIR && type != AE_IFREG)
            refuseArchive(QStringLiteral("membre spécial (périphérique, tube…) dans l'archive"));
        if (parts.isEmpty()) {
            if (type == AE_IFDIR)
                continue; // "./" itself
            refuseArchive(QStringLiteral("membre sans nom"));
        }
        const QString top = QString::fromUtf8(parts.first());
        if (!topLevel.contains(top))
            topLevel.append(top);

        // Walk down the folders, making them, never through a link.
        auto folder = std::make_unique<Fd>(::dup(root.fd));
        const qsizetype folders = type == AE_IFDIR ? parts.size() : parts.size() - 1;
        for (qsizetype i = 0; i < folders; ++i) {
            auto next = std::make_unique<Fd>(openFolder(folder->fd, parts.at(i)));
            if (next->fd < 0)
                refuseArchive(QStringLiteral("arborescence incohérente dans l'archive"));
            folder = std::move(next);
        }
        if (type == AE_IFDIR)
            continue;

        if (archive_entry_size_is_set(entry) && archive_entry_size(entry) > limits.maxBytes - written)
            refuseArchive(QStringLiteral("archive trop grande"));
        const mode_t mode = (archive_entry_perm(entry) & 0111) ? 0755 : 0644;
        Fd file(::openat(folder->fd, parts.last().constData(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, mode));
        if (file.fd < 0) {
            if (errno == EEXIST)
                refuseArchive(QStringLiteral("membre présent deux fois dans l'archive"));
            refuseFiles(QStringLiteral("extraction impossible"), errno);
        }
        for (;;) {
            const la_ssize_t n = archive_read_data(reader.handle, buffer.get(), 64 * 1024);
            if (n == 0)
                break;
            if (n < 0)
                refuseArchive(QStringLiteral("archive endommagée"));
            written += n;
            if (written > limits.maxBytes)
                refuseArchive(QStringLiteral("archive trop grande"));
            if (!writeAll(file.fd, buffer.get(), n))
                refuseFiles(QStringLiteral("extraction impossible"), errno);
        }
        // The umask must not take the executable bit away.
        ::fchmod(file.fd, mode);
    }
    if (status != ARCHIVE_EOF)
        refuseArchive(QStringLiteral("archive endommagée ou illisible"));
    return topLevel;
}

void pack(const QString &folder, const QString &archivePath)
{
    const QString top = QFileInfo(folder).fileName();
    archive *writer = archive_write_new();
    const auto done = qScopeGuard([writer] { archive_write_free(writer); });
    archive_write_add_filter_gzip(writer);
    archive_write_set_format_pax_restricted(writer);
    if (archive_write_open_filename(writer, QFile::encodeName(archivePath).constData()) != ARCHIVE_OK)
        refuseFiles(QStringLiteral("archive impossible à créer"), archive_errno(writer));

    QStringList folders{QString()};
    QStringList files;
    const fs::path root = nativePath(folder);
    std::error_code error;
    for (fs::recursive_directory_iterator it(root, error); !error && it != fs::recursive_directory_iterator();
         it.increment(error)) {
        const fs::file_status status = it->symlink_status(error);
        const QString relative = fromNative(it->path().lexically_relative(root));
        if (fs::is_directory(status))
            folders.append(relative);
        else if (fs::is_regular_file(status))
            files.append(relative);
        else
            refuseFiles(QStringLiteral("élément spécial dans le paquet : ") + relative, EINVAL);
    }
    if (error)
        refuseFiles(QStringLiteral("lecture du paquet impossible"), error.value());
    folders.sort();
    files.sort();

    auto add = [&](const QString &relative, bool isFolder) {
        const QString path = relative.isEmpty() ? folder : folder + QLatin1Char('/') + relative;
        struct stat info {};
        if (::lstat(QFile::encodeName(path).constData(), &info) != 0)
            refuseFiles(QStringLiteral("lecture impossible : ") + relative, errno);
        archive_entry *entry = archive_entry_new();
        const auto freeEntry = qScopeGuard([entry] { archive_entry_free(entry); });
        const QString name = relative.isEmpty() ? top : top + QLatin1Char('/') + relative;
        archive_entry_set_pathname_utf8(entry, name.toUtf8().constData());
        archive_entry_set_filetype(entry, isFolder ? AE_IFDIR : AE_IFREG);
        archive_entry_set_perm(entry, (isFolder || (info.st_mode & S_IXUSR)) ? 0755 : 0644);
        archive_entry_set_size(entry, isFolder ? 0 : info.st_size);
        archive_entry_set_mtime(entry, info.st_mtime, 0);
        if (archive_write_header(writer, entry) != ARCHIVE_OK)
            refuseFiles(QStringLiteral("écriture de l'archive impossible"), archive_errno(writer));
        if (isFolder)
            return;
        QFile in(path);
        if (!in.open(QIODevice::ReadOnly))
            refuseFiles(QStringLiteral("lecture impossible : ") + relative, EIO);
        while (!in.atEnd()) {
            const QByteArray chunk = in.read(64 * 1024);
            if (chunk.isEmpty() || archive_write_data(writer, chunk.constData(), size_t(chunk.size())) != chunk.size())
                refuseFiles(QStringLiteral("écriture de l'archive impossible"), EIO);
        }
    };
    for (const QString &relative : std::as_const(folders))
        add(relative, true);
    for (const QString &relative : std::as_const(files))
        add(relative, false);
    if (archive_write_close(writer) != ARCHIVE_OK)
        refuseFiles(QStringLiteral("écriture de l'archive impossible"), archive_errno(writer));
}

} // namespace Bundle
