#include "model/KeyStore.h"

#include "app/Application.h"

#include "model/Store.h"
#include "model/TextUtil.h"

#include <QByteArray>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMutexLocker>
#include <QQmlEngine>

#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// Writes `data` to `path` through an owner-only temporary file in the same
// folder, so the keys are never readable by others, not even for a moment.
bool writePrivately(const QString &path, const QByteArray &data)
{
    const QFileInfo info(path);
    QByteArray tmpl = QFile::encodeName(info.absolutePath() + QStringLiteral("/.keys.json.XXXXXX"));
    const int fd = ::mkostemp(tmpl.data(), O_CLOEXEC);  // mode 0600
    if (fd < 0)
        return false;
    bool ok = ::fchmod(fd, 0600) == 0;
    qsizetype done = 0;
    while (ok && done < data.size()) {
        const ssize_t n = ::write(fd, data.constData() + done, size_t(data.size() - done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            ok = false;
        else
            done += n;
    }
    ok = ok && ::fsync(fd) == 0;
    ok = (::close(fd) == 0) && ok;
    if (ok)
        ok = ::rename(tmpl.constData(), QFile::encodeName(path).constData()) == 0;
    if (!ok) {
        ::unlink(tmpl.constData());
        return false;
    }
    // Make the rename itself durable.
    const int dir = ::open(QFile::encodeName(info.absolutePath()).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir >= 0) {
        ::fsync(dir);
        ::close(dir);
    }
    return true;
}

} // namespace

const char *environmentVariable(APIService service)
{
    return service == APIService::Deepgram ? "DEEPGRAM_API_KEY" : "OPENROUTER_API_KEY";
}

KeyStore *KeyStore::shared()
{
    return Application::root().keys();
}

KeyStore *KeyStore::create(QQmlEngine *, QJSEngine *)
{
    QQmlEngine::setObjectOwnership(shared(), QQmlEngine::CppOwnership);
    return shared();
}

KeyStore::KeyStore(const QString &file, QObject *parent)
    : QObject(parent)
    , file_(file)
{
    // A file that is not one object of strings counts as holding nothing.
    QJsonObject stored;
    QFile f(file_);
    if (f.open(QIODevice::ReadOnly)) {
        const QJsonDocument doc = QJsonDocument::fromJson(f.readAll());
        if (doc.isObject()) {
            stored = doc.object();
            for (auto it = stored.constBegin(); it != stored.constEnd(); ++it)
                if (!it.value().isString()) {
                    stored = {};
                    break;
                }
        }
    }

    bool imported = false;
    for (APIService s : allCases<APIService>()) {
        const QString name = rawValue(s);
        QString text = stored.value(name).toString();
        if (text.isEmpty()) {
            if (const auto former = readFormer(service_, name); former && !former->isEmpty()) {
                text = *former;
                imported = true;
            }
        }
        if (text.isEmpty())
            text = qEnvironmentVariable(environmentVariable(s));
        if (!text.isEmpty())
            keys_.insert(s, text);
    }
    // Only an imported key is written; one from the environment alone never is.
    if (imported)
        persist();
}

std::optional<QString> KeyStore::readFormer(const QString &, const QString &)
{
    return std::nullopt;
}

KeyStore::Keys KeyStore::keys() const
{
    QMutexLocker lock(&mutex_);
    return keys_;
}

void KeyStore::setKeys(const Keys &keys)
{
    Keys clean;
    for (auto it = keys.constBegin(); it != keys.constEnd(); ++it)
        if (!it.value().isEmpty())
            clean.insert(it.key(), it.value());
    {
        QMutexLocker lock(&mutex_);
        if (keys_ == clean)
            return;
        keys_ = clean;
    }
    Q_EMIT keysChanged();
}

std::optional<QString> KeyStore::key(APIService service) const
{
    QMutexLocker lock(&mutex_);
    const auto it = keys_.constFind(service);
    if (it == keys_.constEnd())
        return std::nullopt;
    return *it;
}

void KeyStore::save(const QString &text, APIService service)
{
    const QString trimmed = TextUtil::trimmed(text);
    Keys next = keys();
    if (trimmed.isEmpty())
        next.remove(service);
    else
        next.insert(service, trimmed);
    setKeys(next);
    persist();
}

void KeyStore::forgetAll()
{
    setKeys({});
}

QString KeyStore::keyText(const QString &service) const
{
    const auto s = fromRawValue<APIService>(service);
    return s ? key(*s).value_or(QString()) : QString();
}

void KeyStore::saveText(const QString &text, const QString &service)
{
    if (const auto s = fromRawValue<APIService>(service))
        save(text, *s);
}

QVariantMap KeyStore::keysMap() const
{
    QVariantMap out;
    const Keys held = keys();
    for (auto it = held.constBegin(); it != held.constEnd(); ++it)
        out.insert(rawValue(it.key()), it.value());
    return out;
}

void KeyStore::persist()
{
    QMutexLocker lock(&writeMutex_);
    QJsonObject object;
    const Keys held = keys();
    for (auto it = held.constBegin(); it != held.constEnd(); ++it)
        object.insert(rawValue(it.key()), it.value());
    // A failed write keeps the keys in memory; nothing is reported.
    writePrivately(file_, QJsonDocument(object).toJson(QJsonDocument::Compact));
    ::chmod(QFile::encodeName(file_).constData(), 0600);
}
