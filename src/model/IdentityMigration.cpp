#include "model/IdentityMigration.h"

#include <QDir>
#include <QFileInfo>

namespace IdentityMigration {

void moveDataFolder(const QString &target)
{
    const QFileInfo targetInfo(target);
    const QString source = targetInfo.absolutePath() + QStringLiteral("/Murel");
    if (!QFileInfo::exists(source) || targetInfo.exists())
        return;
    QDir().rename(source, target);
    const QString oldLog = target + QStringLiteral("/murel.log");
    const QString newLog = target + QStringLiteral("/journal.log");
    if (QFileInfo::exists(oldLog) && !QFileInfo::exists(newLog))
        QDir().rename(oldLog, newLog);
}

} // namespace IdentityMigration
