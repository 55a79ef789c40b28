#include "model/Defaults.h"

#include "core/Log.h"
#include "core/PrivateFiles.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QLocale>
#include <QSaveFile>
#include <QStandardPaths>

#include <cmath>
#include <optional>

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
    if (readFile(cache_) == FileState::Unreadable) {
        // The former identity's file is only read, then removed: no lock of that name.
        std::optional<FileLock> fileLock;
        if (domain_ != QLatin1String(kFormerDomain))
            fileLock.emplace(filePath());
        // Another process may have replaced it meanwhile.
        if (readFile(cache_) == FileState::Unreadable)
            setAside();
    }
}

QString Defaults::filePath() const
{
    return folder_ + QLatin1Char('/') + domain_ + QStringLiteral(".json");
}

bool Defaults::exists() const
{
    return QFileInfo::exists(filePath());
}

Defaults::FileState Defaults::readFile(QJsonObject &out) const
{
    out = {};
    const QFileInfo info(filePath());
    if (!info.exists() && !info.isSymLink())
        return FileState::Missing;
    // Only a regular file: a FIFO or a device in its place would hang the start.
    const std::optional<QByteArray> data = PrivateFiles::readData(filePath());
    if (!data)
        return FileState::Unreadable;
    QJsonParseError error;
    const QJsonDocument doc = QJsonDocument::fromJson(*data, &error);
    if (error.error != QJsonParseError::NoError || !doc.isObject())
        return FileState::Unreadable;
    out = doc.object();
    return FileState::Read;
}

void Defaults::setAside()
{
    const QString path = filePath();
    const QString name = QFileInfo(path).fileName();
    const QString target = PrivateFiles::setAsideName(path);
    if (QFile::rename(path, target)) {
        Log::write(QStringLiteral("réglages: %1 illisible, mis de côté sous %2, réglages par défaut")
                       .arg(name, QFileInfo(target).fileName()));
    } else {
        // Keep the user's bytes rather than a file holding only the next change.
        held_ = true;
        Log::write(QStringLiteral("réglages: %1 illisible et impossible à mettre de côté, il ne sera pas réécrit")
                       .arg(name));
    }
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
    if (removal)
        cache_.remove(key);
    else
        cache_.insert(key, value);
    if (held_)
        return;
    const auto written = [&] {
        if (!QDir().mkpath(folder_))
            return false;
        FileLock fileLock(filePath());
        // Merge into what is on disk now: another process may have written meanwhile.
        QJsonObject fresh;
        if (readFile(fresh) == FileState::Unreadable) {
            setAside();
            if (held_)
                return true; // already said
        }
        if (removal)
            fresh.remove(key);
        else
            fresh.insert(key, value);
        QSaveFile out(filePath());
        if (!out.open(QIODevice::WriteOnly))
            return false;
        const QByteArray data = QJsonDocument(fresh).toJson(QJsonDocument::Indented);
        if (out.write(data) != data.size()) {
            out.cancelWriting();
            return false;
        }
        return out.commit();
    }();
    // Said once per run of failures: a slider may write many times in a row.
    if (!written && !failing_)
        Log::write(QStringLiteral("réglages: %1.json non écrit").arg(domain_));
    failing_ = !written;
}

void Defaults::removeDomain()
{
    QMutexLocker lock(&mutex_);
    // Nothing is merged, so no lock: taking one would create a file of the
    // domain's name at the very moment the domain goes away.
    QFile::remove(filePath());
    QFile::remove(filePath() + QStringLiteral(".lock"));
    cache_ = {};
    held_ = false;
}
