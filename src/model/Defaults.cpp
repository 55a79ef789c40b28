#include "model/Defaults.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QLocale>
#include <QSaveFile>
#include <QStandardPaths>

#include <cmath>

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

namespace {

// Serialises read-merge-write cycles between processes on one domain file.
class FileLock
{
public:
    explicit FileLock(const QString &path)
    {
        fd_ = ::open(QFile::encodeName(path + QStringLiteral(".lock")).constData(),
                     O_RDWR | O_CREAT | O_CLOEXEC, 0600);
        if (fd_ >= 0)
            ::flock(fd_, LOCK_EX);
    }
    ~FileLock()
    {
        if (fd_ >= 0) {
            ::flock(fd_, LOCK_UN);
            ::close(fd_);
        }
    }

private:
    int fd_ = -1;
};

} // namespace

Defaults &Defaults::standard()
{
    static Defaults *instance = new Defaults(QString::fromLatin1(kAppDomain));
    return *instance;
}

QString Defaults::folder()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation)
           + QStringLiteral("/Ombry Voice");
}

Defaults::Defaults(const QString &domain, const QString &folder)
    : domain_(domain)
    , folder_(folder)
{
    cache_ = readFile();
}

QString Defaults::filePath() const
{
    return folder_ + QLatin1Char('/') + domain_ + QStringLiteral(".json");
}

bool Defaults::exists() const
{
    return QFileInfo::exists(filePath());
}

QJsonObject Defaults::readFile() const
{
    QFile f(filePath());
    if (!f.open(QIODevice::ReadOnly))
        return {};
    return QJsonDocument::fromJson(f.readAll()).object();
}

QJsonValue Defaults::object(const QString &key) const
{
    QMutexLocker lock(&mutex_);
    return cache_.value(key);
}

QJsonObject Defaults::all() const
{
    QMutexLocker lock(&mutex_);
    return cache_;
}

std::optional<bool> Defaults::boolean(const QString &key) const
{
    const QJsonValue v = object(key);
    if (v.isBool())
        return v.toBool();
    if (v.isDouble()) {
        const double d = v.toDouble();
        if (d == 0 || d == 1)
            return d == 1;
    }
    return std::nullopt;
}

std::optional<qint64> Defaults::integer(const QString &key) const
{
    const QJsonValue v = object(key);
    if (!v.isDouble())
        return std::nullopt;
    const double d = v.toDouble();
    if (std::trunc(d) != d || std::abs(d) > 9.2e18)
        return std::nullopt;
    return v.toInteger(qint64(d));
}

std::optional<double> Defaults::number(const QString &key) const
{
    const QJsonValue v = object(key);
    if (!v.isDouble())
        return std::nullopt;
    return v.toDouble();
}

std::optional<QString> Defaults::string(const QString &key) const
{
    const QJsonValue v = object(key);
    if (v.isString())
        return v.toString();
    if (v.isDouble()) {
        const double d = v.toDouble();
        if (std::trunc(d) == d && std::abs(d) < 9.2e18)
            return QString::number(v.toInteger(qint64(d)));
        return QString::number(d, 'g', QLocale::FloatingPointShortest);
    }
    return std::nullopt;
}

std::optional<QStringList> Defaults::stringArray(const QString &key) const
{
    const QJsonValue v = object(key);
    if (!v.isArray())
        return std::nullopt;
    QStringList out;
    for (const QJsonValue &item : v.toArray()) {
        if (!item.isString())
            return std::nullopt;
        out.append(item.toString());
    }
    return out;
}

void Defaults::set(const QString &key, const QJsonValue &value)
{
    write(key, value, false);
}

void Defaults::remove(const QString &key)
{
    write(key, {}, true);
}

void Defaults::write(const QString &key, const QJsonValue &value, bool removal)
{
    QMutexLocker lock(&mutex_);
    QDir().mkpath(folder_);
    FileLock fileLock(filePath());
    // Merge into what is on disk now: another process may have written meanwhile.
    QJsonObject fresh = readFile();
    if (removal) {
        fresh.remove(key);
        cache_.remove(key);
    } else {
        fresh.insert(key, value);
        cache_.insert(key, value);
    }
    QSaveFile out(filePath());
    if (!out.open(QIODevice::WriteOnly))
        return;
    out.write(QJsonDocument(fresh).toJson(QJsonDocument::Indented));
    out.commit();
}

void Defaults::removeDomain()
{
    QMutexLocker lock(&mutex_);
    FileLock fileLock(filePath());
    QFile::remove(filePath());
    cache_ = {};
}
