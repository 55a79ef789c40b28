#include "BundleKit.h"

#include "update/Bundle.h"
#include "support/TestEnv.h"

#include <QCryptographicHash>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>

#include <archive.h>
#include <archive_entry.h>

#include <sys/stat.h>
#include <sys/sysmacros.h>

namespace BundleKit {

bool make(const QString &folder, const QString &identifier, const QString &version, const QString &build,
          const QMap<QString, File> &files)
{
    if (!QDir().mkpath(folder))
        return false;
    const QJsonObject info{{QStringLiteral("identifier"), identifier},
                           {QStringLiteral("version"), version},
                           {QStringLiteral("build"), build}};
    if (!TestEnv::writeFile(folder + QStringLiteral("/Info.json"), QJsonDocument(info).toJson()))
        return false;
    for (auto it = files.cbegin(); it != files.cend(); ++it) {
        const QString path = folder + QLatin1Char('/') + it.key();
        if (!TestEnv::writeFile(path, it->content))
            return false;
        if (!QFile::setPermissions(path, it->executable ? QFile::Permissions::fromInt(0x7755) : QFile::Permissions::fromInt(0x6644)))
            return false;
    }
    return true;
}

QByteArray markerProgram()
{
    return QByteArrayLiteral(
        "#!/bin/sh\n"
        "[ -z \"$OMBRY_UPDATE_TRIAL\" ] || rm -f \"$OMBRY_UPDATE_TRIAL\"\n"
        "old=$(cat \"$OMBRY_TEST_PIDFILE\")\n"
        "state=$(sed -n 's/^.*) \\([A-Za-z]\\).*$/\\1/p' \"/proc/$old/stat\" 2>/dev/null)\n"
        "if [ -n \"$state\" ] && [ \"$state\" != Z ]; then echo avant > \"$OMBRY_TEST_MARK\"; "
        "else echo après > \"$OMBRY_TEST_MARK\"; fi\n");
}

QByteArray craft(const QList<Member> &members)
{
    QTemporaryDir dir;
    const QString path = dir.path() + QStringLiteral("/a.tar.gz");
    archive *writer = archive_write_new();
    archive_write_add_filter_gzip(writer);
    archive_write_set_format_pax_restricted(writer);
    archive_write_open_filename(writer, QFile::encodeName(path).constData());
    for (const Member &member : members) {
        archive_entry *entry = archive_entry_new();
        archive_entry_set_pathname(entry, member.name.toUtf8().constData());
        archive_entry_set_perm(entry, member.perm);
        switch (member.type) {
        case Member::File:
            archive_entry_set_filetype(entry, AE_IFREG);
            archive_entry_set_size(entry, member.content.size());
            break;
        case Member::Folder:
            archive_entry_set_filetype(entry, AE_IFDIR);
            break;
        case Member::SymbolicLink:
            archive_entry_set_filetype(entry, AE_IFLNK);
            archive_entry_set_symlink(entry, member.target.toUtf8().constData());
            break;
        case Member::HardLink:
            archive_entry_set_filetype(entry, AE_IFREG);
            archive_entry_set_hardlink(entry, member.target.toUtf8().constData());
            break;
        case Member::CharDevice:
            archive_entry_set_filetype(entry, AE_IFCHR);
            archive_entry_set_rdev(entry, makedev(1, 3));
            break;
        case Member::Fifo:
            archive_entry_set_filetype(entry, AE_IFIFO);
            break;
        }
        archive_write_header(writer, entry);
        if (member.type == Member::File && !member.content.isEmpty())
            archive_write_data(writer, member.content.constData(), size_t(member.content.size()));
        archive_entry_free(entry);
    }
    archive_write_close(writer);
    archive_write_free(writer);
    return TestEnv::readFile(path);
}

QList<Member> membersOf(const QString &folder, const QString &top)
{
    QList<Member> members{{top, Member::Folder, {}, {}, 0755}};
    QStringList paths;
    QDirIterator it(folder, QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot, QDirIterator::Subdirectories);
    while (it.hasNext())
        paths.append(it.next());
    paths.sort();
    for (const QString &path : paths) {
        const QFileInfo info(path);
        const QString name = top + QLatin1Char('/') + QDir(folder).relativeFilePath(path);
        if (info.isDir())
            members.append({name, Member::Folder, {}, {}, 0755});
        else
            members.append({name, Member::File, TestEnv::readFile(path), {}, info.isExecutable() ? 0755 : 0644});
    }
    return members;
}

QByteArray pack(const QString &folder)
{
    QTemporaryDir dir;
    const QString path = dir.path() + QStringLiteral("/release.tar.gz");
    Bundle::pack(folder, path);
    return TestEnv::readFile(path);
}

QByteArray signatureOf(const QByteArray &archive, const QByteArray &secretKey)
{
    QTemporaryDir dir;
    const QString path = dir.path() + QStringLiteral("/release.tar.gz");
    if (!TestEnv::writeFile(path, archive))
        return {};
    return Bundle::signArchive(path, secretKey);
}

QMap<QString, QString> snapshot(const QString &folder)
{
    QMap<QString, QString> items;
    QDirIterator it(folder, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        struct stat info {};
        ::lstat(QFile::encodeName(path).constData(), &info);
        QString description = QString::number(info.st_mode, 8);
        if (S_ISREG(info.st_mode))
            description += QLatin1Char(' ')
                + QString::fromLatin1(QCryptographicHash::hash(TestEnv::readFile(path), QCryptographicHash::Sha256).toHex());
        items.insert(QDir(folder).relativeFilePath(path), description);
    }
    return items;
}

} // namespace BundleKit
