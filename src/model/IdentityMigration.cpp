#include "model/IdentityMigration.h"

#include "model/Defaults.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonObject>
#include <QStandardPaths>

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

} // namespace

void run()
{
    Defaults former(QString::fromLatin1(Defaults::kFormerDomain));
    run(Defaults::standard(), former,
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
    QDir().rename(source, target);
    const QString oldLog = target + QStringLiteral("/murel.log");
    const QString newLog = target + QStringLiteral("/journal.log");
    if (QFileInfo::exists(oldLog) && !QFileInfo::exists(newLog))
        QDir().rename(oldLog, newLog);
}

} // namespace IdentityMigration
