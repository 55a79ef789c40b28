#pragma once

#include "model/Fix.h"

#include <QByteArray>
#include <QDateTime>
#include <QJsonValue>
#include <QList>
#include <QMetaType>
#include <QString>
#include <QStringList>
#include <QUuid>

#include <optional>

// The records the store keeps, each an element of one JSON array file.
//
// JSON form: the keys equal the field names and are written in field order;
// UUIDs in upper case; dates ISO 8601 UTC with whole seconds ("2026-03-01T08:00:00Z");
// an absent optional is omitted. Decoding is strict: a missing required key, a wrong
// JSON type, a bad UUID or a date in any other form (fractional seconds included)
// fails, and the caller treats the whole file as unreadable. Unknown keys are ignored.
//
// Equality compares every field (texts after NFC, dates by instant); qHash agrees.

// One dictation of the history.
struct Dictation
{
    Q_GADGET
    Q_PROPERTY(QUuid id MEMBER id)
    Q_PROPERTY(QDateTime date MEMBER date)
    Q_PROPERTY(QString appName MEMBER appName)
    Q_PROPERTY(QString bundleID READ bundleIDText)
    Q_PROPERTY(QString finalText MEMBER finalText)
    Q_PROPERTY(QString rawText MEMBER rawText)
    Q_PROPERTY(double duration MEMBER duration)
    Q_PROPERTY(QString audioFile READ audioFileText)
    Q_PROPERTY(qint64 wordsPerMinute READ wordsPerMinute)

public:
    QUuid id = QUuid::createUuid();
    QDateTime date;
    QString appName;
    std::optional<QString> bundleID;
    QString finalText;
    QString rawText;
    double duration = 0;              // seconds
    std::optional<QString> audioFile; // plain file name inside the audio folder

    // Words of finalText per minute of recording; 0 without a positive duration.
    qint64 wordsPerMinute() const;
    // A recording kept without any text yet ("Dictée non transcrite"): every
    // transcribed dictation has its raw transcript.
    bool untranscribed() const { return rawText.isEmpty() && finalText.isEmpty(); }

    QString bundleIDText() const { return bundleID.value_or(QString()); }
    QString audioFileText() const { return audioFile.value_or(QString()); }

    bool operator==(const Dictation &other) const;
    QByteArray toJson() const;
    static std::optional<Dictation> fromJson(const QJsonValue &value);
};

// One heard-to-written dictionary entry.
struct Correction
{
    Q_GADGET
    Q_PROPERTY(QUuid id MEMBER id)
    Q_PROPERTY(QString heard MEMBER heard)
    Q_PROPERTY(QString written MEMBER written)

public:
    QUuid id = QUuid::createUuid();
    QString heard;
    QString written;

    bool operator==(const Correction &other) const;
    QByteArray toJson() const;
    static std::optional<Correction> fromJson(const QJsonValue &value);
};

// One correction, rewrite, translation or voice command applied to a text.
struct CorrectionRecord
{
    Q_GADGET
    Q_PROPERTY(QUuid id MEMBER id)
    Q_PROPERTY(QDateTime date MEMBER date)
    Q_PROPERTY(QString appName MEMBER appName)
    Q_PROPERTY(QString bundleID READ bundleIDText)
    Q_PROPERTY(QString action MEMBER action)
    Q_PROPERTY(QString original MEMBER original)
    Q_PROPERTY(QString result MEMBER result)

public:
    QUuid id = QUuid::createUuid();
    QDateTime date;
    QString appName;
    std::optional<QString> bundleID;
    QString action; // short French label: "Corriger", "Traduire", "Commande : …"
    QString original;
    QString result;
    QList<Fix> fixes;

    QString bundleIDText() const { return bundleID.value_or(QString()); }

    bool operator==(const CorrectionRecord &other) const;
    QByteArray toJson() const;
    static std::optional<CorrectionRecord> fromJson(const QJsonValue &value);
};

// One voice snippet: saying `trigger` inserts `text`.
struct Snippet
{
    Q_GADGET
    Q_PROPERTY(QUuid id MEMBER id)
    Q_PROPERTY(QString trigger MEMBER trigger)
    Q_PROPERTY(QString text MEMBER text)

public:
    QUuid id = QUuid::createUuid();
    QString trigger;
    QString text;

    bool operator==(const Snippet &other) const;
    QByteArray toJson() const;
    static std::optional<Snippet> fromJson(const QJsonValue &value);
};

// One spending record of the user's own key. No identity: entries are told apart by position.
struct CostEntry
{
    Q_GADGET
    Q_PROPERTY(QDateTime date MEMBER date)
    Q_PROPERTY(double amount MEMBER amount)

public:
    QDateTime date;
    double amount = 0; // US dollars

    bool operator==(const CostEntry &other) const;
    QByteArray toJson() const;
    static std::optional<CostEntry> fromJson(const QJsonValue &value);
};

// One recorded meeting.
struct Meeting
{
    Q_GADGET
    Q_PROPERTY(QUuid id MEMBER id)
    Q_PROPERTY(QDateTime date MEMBER date)
    Q_PROPERTY(double duration MEMBER duration)
    Q_PROPERTY(QString title MEMBER title)
    Q_PROPERTY(QString transcript MEMBER transcript)
    Q_PROPERTY(QString summary MEMBER summary)
    Q_PROPERTY(QStringList tasks MEMBER tasks)

public:
    QUuid id = QUuid::createUuid();
    QDateTime date;
    double duration = 0; // seconds
    QString title;
    QString transcript;
    QString summary;
    QStringList tasks;

    bool operator==(const Meeting &other) const;
    QByteArray toJson() const;
    static std::optional<Meeting> fromJson(const QJsonValue &value);
};

size_t qHash(const Dictation &r, size_t seed = 0);
size_t qHash(const Correction &r, size_t seed = 0);
size_t qHash(const CorrectionRecord &r, size_t seed = 0);
size_t qHash(const Snippet &r, size_t seed = 0);
size_t qHash(const CostEntry &r, size_t seed = 0);
size_t qHash(const Meeting &r, size_t seed = 0);

namespace Records {

// A name that stays inside the folder it is joined to: not empty, not "." or "..",
// no separator ("/" or "\\") and no NUL. A dictation's `audioFile` that is not one
// is dropped when decoded and never used.
bool isPlainFileName(const QString &name);

// Whether a dictation has a text to paste or show; a kept recording that no
// engine could transcribe has none.
bool hasText(const Dictation &dictation);
// The first dictation of `history` (newest first) with a text; none when no
// dictation has one.
std::optional<Dictation> newestWithText(const QList<Dictation> &history);

// "2026-03-01T08:00:00Z": UTC, whole seconds (a fraction is dropped).
QString dateText(const QDateTime &date);
// Accepts the internet date-time form without fractional seconds ("Z" or "+hh:mm").
std::optional<QDateTime> parseDate(const QString &text);

// Encodes a list as one compact JSON array, elements in list order.
template<typename T>
QByteArray encodeArray(const QList<T> &list)
{
    QByteArray out;
    out.reserve(list.size() * 256 + 2);
    out.append('[');
    for (qsizetype i = 0; i < list.size(); ++i) {
        if (i)
            out.append(',');
        out.append(list.at(i).toJson());
    }
    out.append(']');
    return out;
}
QByteArray encodeArray(const QStringList &list);

// Decodes a whole file; nothing when it is not a JSON array of valid elements.
template<typename T>
std::optional<QList<T>> decodeArray(const QByteArray &data);
template<>
std::optional<QList<QString>> decodeArray<QString>(const QByteArray &data);

} // namespace Records
