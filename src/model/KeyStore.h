#pragma once

#include "model/SettingsTypes.h"

#include <QMap>
#include <QMutex>
#include <QObject>
#include <QString>
#include <QVariantMap>

#include <optional>

// The outside services for which the user may store a key of their own.
enum class APIService { Deepgram, OpenRouter };

template<> struct RawValues<APIService> { static constexpr const char *list[] = {"deepgram", "openRouter"}; };

// The environment variable that may hold the service's key.
const char *environmentVariable(APIService service);

// The user's API keys, kept in memory and mirrored to "keys.json" in the data
// folder (owner-only). key() may be called from any thread.
//
// A key taken from the environment at creation is used but never written: the
// file holds only keys the user saved (or imported from the former identity), so
// the environment keeps deciding while it supplies the key.
//
// Views never get a key's text: they learn whether it is set, see its masked form
// and write a new one.
class KeyStore final : public QObject
{
    Q_OBJECT

    // Raw service value → masked key ("••••abcd"), for the services that have a key.
    Q_PROPERTY(QVariantMap masked READ maskedKeys NOTIFY keysChanged)
    // What the settings say when the key file could not be read at start and was
    // set aside (or kept as it was); "" when it was read.
    Q_PROPERTY(QString unreadableNotice READ unreadableNotice CONSTANT)

public:
    using Keys = QMap<APIService, QString>;

    // Reads `file`, then the environment for what it lacks. The program's
    // uses the data folder's "keys.json".
    explicit KeyStore(const QString &file, QObject *parent = nullptr);

    QString filePath() const { return file_; }

    Keys keys() const;
    // Replaces the map without writing the file; an equal map notifies nobody.
    void setKeys(const Keys &keys);
    std::optional<QString> key(APIService service) const;
    // Trims the text; an empty one removes the key. Writes the file; false when it
    // could not be written (the key is held in memory all the same).
    [[nodiscard]] bool save(const QString &text, APIService service);
    // Empties the keys in memory, writes nothing (the caller deletes the file).
    void forgetAll();
    // Whether the service's key is the one the environment gave at creation.
    bool fromEnvironment(APIService service) const;

    // "••••" and the key's last four characters; a key shorter than eight
    // characters shows none of them.
    static QString maskedForm(const QString &key);

    QString unreadableNotice() const { return unreadableNotice_; }

    // For views, by raw service value ("deepgram", "openRouter").
    Q_INVOKABLE bool isSet(const QString &service) const;
    // The masked form; "" without a key.
    Q_INVOKABLE QString masked(const QString &service) const;
    Q_INVOKABLE bool fromEnvironment(const QString &service) const;
    // save() by raw service value; false for an unknown service or a failed write.
    Q_INVOKABLE bool write(const QString &text, const QString &service);

Q_SIGNALS:
    void keysChanged();

private:
    QVariantMap maskedKeys() const;
    bool persist();
    // Moves an unreadable key file to "keys.json.illisible-…"; when it cannot be
    // moved, it is never written over.
    void setAside();
    // The former identity's keychain item; no such store exists here.
    static std::optional<QString> readFormer(const QString &service, const QString &account);

    const QString service_ = QStringLiteral("com.corvanel.murel");
    const QString file_;
    mutable QMutex mutex_;
    QMutex writeMutex_;
    Keys keys_;
    // The keys taken from the environment, as taken; never written.
    Keys environment_;
    bool held_ = false;
    QString unreadableNotice_;
};
