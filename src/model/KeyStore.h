#pragma once

#include "model/SettingsTypes.h"

#include <QMap>
#include <QMutex>
#include <QObject>
#include <QString>
#include <QVariantMap>
#include <QtQml/qqmlregistration.h>

#include <optional>

class QJSEngine;
class QQmlEngine;

// The outside services for which the user may store a key of their own.
enum class APIService { Deepgram, OpenRouter };

template<> struct RawValues<APIService> { static constexpr const char *list[] = {"deepgram", "openRouter"}; };

// The environment variable that may hold the service's key.
const char *environmentVariable(APIService service);

// The user's API keys, kept in memory and mirrored to "keys.json" in the data
// folder (owner-only). key() may be called from any thread.
class KeyStore final : public QObject
{
    Q_OBJECT
    QML_ELEMENT
    QML_SINGLETON

    // Raw service value → key text.
    Q_PROPERTY(QVariantMap keys READ keysMap NOTIFY keysChanged)

public:
    using Keys = QMap<APIService, QString>;

    static KeyStore *shared();
    static KeyStore *create(QQmlEngine *, QJSEngine *);

    // Reads `file`, then the environment for what it lacks. The shared instance
    // uses the data folder's "keys.json".
    explicit KeyStore(const QString &file, QObject *parent = nullptr);

    QString filePath() const { return file_; }

    Keys keys() const;
    // Replaces the map without writing the file; an equal map notifies nobody.
    void setKeys(const Keys &keys);
    std::optional<QString> key(APIService service) const;
    // Trims the text; an empty one removes the key. Writes the file.
    void save(const QString &text, APIService service);
    // Empties the keys in memory, writes nothing (the caller deletes the file).
    void forgetAll();

    // The same for views, by raw service value; "" when there is no key.
    Q_INVOKABLE QString keyText(const QString &service) const;
    Q_INVOKABLE void saveText(const QString &text, const QString &service);

Q_SIGNALS:
    void keysChanged();

private:
    QVariantMap keysMap() const;
    void persist();
    // The former identity's keychain item; no such store exists here.
    static std::optional<QString> readFormer(const QString &service, const QString &account);

    const QString service_ = QStringLiteral("com.corvanel.murel");
    const QString file_;
    mutable QMutex mutex_;
    QMutex writeMutex_;
    Keys keys_;
};
