#include "model/Store.h"

#include "model/IdentityMigration.h"

#include <QDir>
#include <QStandardPaths>

QString Store::folder()
{
    static const QString path = [] {
        const QString base = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
        const QString dir = base + QStringLiteral("/Ombry Voice");
        IdentityMigration::moveDataFolder(dir);
        QDir().mkpath(dir);
        return dir;
    }();
    return path;
}

QString Store::audioFolder()
{
    static const QString path = [] {
        const QString dir = folder() + QStringLiteral("/Audio");
        QDir().mkpath(dir);
        return dir;
    }();
    return path;
}
