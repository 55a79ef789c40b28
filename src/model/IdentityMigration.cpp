#include "model/IdentityMigration.h"

#include "model/Defaults.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonObject>
#include <QStandardPaths>

#include <cerrno>
#include <cstdio>
#include <fcntl.h>

namespace IdentityMigration {

namespace {

// Removes a file or a whole folder; a link is removed itself, never followed.
void removeEntry(const QString &path)
{
    const QFileInfo info(path);
    if (info.isSymLink() || !info.isDir())
        QFile::remove(path);
    else
        QDir(path).removeRecursively();
}

// Renames without ever replacing what is at `to` (another copy of the program
// may create the data folder at the same moment).
bool renameNoReplace(const QString &from, const QString &to)
{
    const QByteArray f = QFile::encodeName(from), t = QFile::encodeName(to);
    if (::renameat2(AT_FDCWD, f.constData(), AT_FDCWD, t.constData(), RENAME_NOREPLACE) == 0)
        return true;
    if (errno != EINVAL && errno != ENOSYS)
        return false;
    // A file system without the flag: check, then rename.
    return !QFileInfo::exists(to) && !QFileInfo(to).isSymLink() && ::rename(f.constData(), t.constData()) == 0;
}

} // namespace

void run(Defaults &standard)
{
    Defaults former(QString::fromLatin1(Defaults::kFormerDomain));
    run(standard, former,
        QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation));
}

void run(Defaults &standard, Defaults &former, const QString &cacheHome)
{
    const QString migrated = QStringLiteral("identityMigrated");
    if (standard.boolean(migrated) != true) {
        if (former.exists()) {
            const QJsonObject values = former.all();
            for (auto it = values.constBegin(); it != values.constEnd(); ++it)
                if (!standard.contains(it.key()))
                    standard.set(it.key(), it.value());
        }
        // The domain's file is the former preference file too: gone either way.
        former.removeDomain();
        // Copied from the former identity or not, launch at login is set up again.
        standard.remove(QStringLiteral("loginItemSetOmbry"));
        standard.set(migrated, true);
    }
    // The former identity's HTTP storage and saved window state have no
    // counterpart here; only its caches exist.
    if (!cacheHome.isEmpty()) {
        const QString caches = cacheHome + QStringLiteral("/com.corvanel.murel");
        if (QFileInfo(caches).exists() || QFileInfo(caches).isSymLink())
            removeEntry(caches);
    }
}

void moveDataFolder(const QString &target)
{
    const QFileInfo targetInfo(target);
    const QString source = targetInfo.absolutePath() + QStringLiteral("/Murel");
    // Only a folder is moved: a stray file of that name must not take the data
    // folder's place.
    if (!QFileInfo(source).isDir() || targetInfo.exists() || targetInfo.isSymLink())
        return;
    renameNoReplace(source, target);
    // An existing "journal.log" is kept, and "murel.log" then stays.
    const QString oldLog = target + QStringLiteral("/murel.log");
    if (QFileInfo::exists(oldLog))
        renameNoReplace(oldLog, target + QStringLiteral("/journal.log"));
}

} // namespace IdentityMigration
