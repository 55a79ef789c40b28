#include "model/KeyStore.h"

#include "core/Log.h"
#include "core/PrivateFiles.h"
#include "model/Store.h"
#include "model/TextUtil.h"

#include <QByteArray>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMutexLocker>
#include <QTextBoundaryFinder>

#include <cerrno>
#include <sys/stat.h>

const char *environmentVariable(APIService service)
{
    return service == APIService::Deepgram ? "DEEPGRAM_API_KEY" : "OPENROUTER_API_KEY";
}

KeyStore::KeyStore(const QString &file, QObject *parent)
    : QObject(parent)
    , file_(file)
{
    // A file that is not one object of strings is set aside whole, never written
    // over: it may hold a key the user has nowhere else. Its string members are
    // still used.
    QJsonObject stored;
    int readError = 0;
    const std::optional<QByteArray> content = PrivateFiles::readData(file_, &readError);
    if (content || readError != ENOENT) {
        bool readable = content.has_value();
        if (readable) {
            QJsonParseError error;
            const QJsonDocument doc = QJsonDocument::fromJson(*content, &error);
            readable = error.error == QJsonParseError::NoError && doc.isObject();
            if (doc.isObject()) {
                const QJsonObject object = doc.object();
                for (auto it = object.constBegin(); it != object.constEnd(); ++it) {
                    if (it.value().isString())
                        stored.insert(it.key(), it.value());
                    else
                        readable = false;
                }
            }
        }
        if (!readable)
            setAside();
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
        if (text.isEmpty()) {
            text = qEnvironmentVariable(environmentVariable(s));
            if (!text.isEmpty())
                environment_.insert(s, text);
        }
        if (!text.isEmpty())
            keys_.insert(s, text);
    }
    // Only an imported key is written; one from the environment never is.
    if (imported && !persist())
        Log::write(QStringLiteral("clés: clé importée non écrite dans keys.json"));
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

bool KeyStore::save(const QString &text, APIService service)
{
    const QString trimmed = TextUtil::trimmed(text);
    Keys next = keys();
    if (trimmed.isEmpty())
        next.remove(service);
    else
        next.insert(service, trimmed);
    {
        // The user's own choice replaces what the environment gave, also when equal.
        QMutexLocker lock(&mutex_);
        environment_.remove(service);
    }
    setKeys(next);
    return persist();
}

bool KeyStore::fromEnvironment(APIService service) const
{
    QMutexLocker lock(&mutex_);
    const auto held = keys_.constFind(service);
    const auto given = environment_.constFind(service);
    return held != keys_.constEnd() && given != environment_.constEnd() && *held == *given;
}

QString KeyStore::maskedForm(const QString &key)
{
    const QString dots = QStringLiteral("••••");
    // Characters are grapheme clusters.
    QTextBoundaryFinder finder(QTextBoundaryFinder::Grapheme, key);
    finder.toEnd();
    qsizetype start = key.size();
    int count = 0;
    while (count < 8 && finder.toPreviousBoundary() >= 0) {
        ++count;
        if (count == 4)
            start = finder.position();
        if (finder.position() == 0)
            break;
    }
    if (count < 8)
        return dots;
    return dots + key.mid(start);
}

void KeyStore::forgetAll()
{
    setKeys({});
}

bool KeyStore::isSet(const QString &service) const
{
    const auto s = fromRawValue<APIService>(service);
    return s && key(*s).has_value();
}

QString KeyStore::masked(const QString &service) const
{
    const auto s = fromRawValue<APIService>(service);
    const std::optional<QString> held = s ? key(*s) : std::nullopt;
    return held ? maskedForm(*held) : QString();
}

bool KeyStore::fromEnvironment(const QString &service) const
{
    const auto s = fromRawValue<APIService>(service);
    return s && fromEnvironment(*s);
}

bool KeyStore::write(const QString &text, const QString &service)
{
    const auto s = fromRawValue<APIService>(service);
    return s && save(text, *s);
}

QVariantMap KeyStore::maskedKeys() const
{
    QVariantMap out;
    const Keys held = keys();
    for (auto it = held.constBegin(); it != held.constEnd(); ++it)
        out.insert(rawValue(it.key()), maskedForm(it.value()));
    return out;
}

void KeyStore::setAside()
{
    const QString name = QFileInfo(file_).fileName();
    const QString target = PrivateFiles::setAsideName(file_);
    if (QFile::rename(file_, target)) {
        Log::write(QStringLiteral("clés: %1 illisible, mis de côté sous %2").arg(name, QFileInfo(target).fileName()));
        unreadableNotice_ = QStringLiteral("Le fichier des clés était illisible : mis de côté dans ")
                            + QFileInfo(target).fileName() + QStringLiteral(". Les clés qui n'y étaient pas lisibles sont à saisir de nouveau.");
    } else {
        held_ = true;
        unreadableNotice_ = QStringLiteral("Le fichier des clés est illisible et impossible à mettre de côté : aucune clé n'y sera écrite.");
        Log::write(QStringLiteral("clés: %1 illisible et impossible à mettre de côté, il ne sera pas réécrit").arg(name));
    }
}

bool KeyStore::persist()
{
    QMutexLocker lock(&writeMutex_);
    if (held_) {
        Log::write(QStringLiteral("clés: keys.json illisible gardé tel quel, clé non écrite"));
        return false;
    }
    QJsonObject object;
    {
        QMutexLocker keysLock(&mutex_);
        for (auto it = keys_.constBegin(); it != keys_.constEnd(); ++it) {
            const auto given = environment_.constFind(it.key());
            if (given == environment_.constEnd() || *given != it.value())
                object.insert(rawValue(it.key()), it.value());
        }
    }
    const bool written = PrivateFiles::write(file_, QJsonDocument(object).toJson(QJsonDocument::Compact));
    // Never through a link: the file's own mode only.
    const QFileInfo info(file_);
    PrivateFiles::tightenOwned(info.absolutePath(), info.fileName());
    if (!written)
        Log::write(QStringLiteral("clés: keys.json non écrit"));
    return written;
}
