#pragma once

#include <QJsonObject>
#include <QJsonValue>
#include <QMutex>
#include <QString>
#include <QStringList>

#include <optional>

// A typed key-value store, one JSON file per domain in $XDG_CONFIG_HOME/Ombry Voice/.
// Values keep their JSON types (bool, number, string, array, object). Every write
// merges the changed key into a fresh read of the file and replaces the file
// atomically, so another process's keys are never lost. Usable from any thread.
//
// A file that exists but is not a JSON object (edited by hand, damaged) is renamed
// "<file>.illisible-<UTC time>" (logged) and the domain starts empty, so no later
// write destroys the user's values. A write that fails is logged; the value stays
// in memory for the run.
class Defaults
{
public:
    static constexpr const char *kAppDomain = "com.corvanel.ombryvoice";
    static constexpr const char *kFormerDomain = "com.corvanel.murel";

    // The application's own domain.
    static Defaults &standard();
    // The folder that holds the domain files.
    static QString folder();

    explicit Defaults(const QString &domain, const QString &folder = Defaults::folder());

    QString domain() const { return domain_; }
    QString filePath() const;
    // Whether the domain has a file.
    bool exists() const;

    // The stored value, or an undefined QJsonValue when there is none.
    QJsonValue object(const QString &key) const;
    bool contains(const QString &key) const { return !object(key).isUndefined(); }
    QJsonObject all() const;

    // Typed look-ups in the platform's manner.
    // A Boolean, or a number equal to 0 or 1.
    std::optional<bool> boolean(const QString &key) const;
    // A number that is an exact integer.
    std::optional<qint64> integer(const QString &key) const;
    // Any number.
    std::optional<double> number(const QString &key) const;
    // A string; a stored number reads as its text.
    std::optional<QString> string(const QString &key) const;
    // An array of strings only; anything else gives none.
    std::optional<QStringList> stringArray(const QString &key) const;

    void set(const QString &key, const QJsonValue &value);
    void remove(const QString &key);
    // Deletes the domain's file and its lock file, and forgets every key.
    void removeDomain();

private:
    enum class FileState { Missing, Read, Unreadable };
    FileState readFile(QJsonObject &out) const;
    // With the file lock held: moves an unreadable file out of the way.
    void setAside();
    void write(const QString &key, const QJsonValue &value, bool removal);

    QString domain_;
    QString folder_;
    mutable QMutex mutex_;
    QJsonObject cache_;
    // An unreadable file that could not be moved: never written over this run.
    bool held_ = false;
    bool failing_ = false;
};
