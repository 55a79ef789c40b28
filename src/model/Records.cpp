#include "model/Records.h"

#include "model/JsonStream.h"

#include "model/TextUtil.h"

#include <QHash>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <charconv>
#include <cmath>
#include <cstring>
#include <limits>
#include <string>
#include <string_view>

namespace Records {

bool isPlainFileName(const QString &name)
{
    return !name.isEmpty() && name != QLatin1String(".") && name != QLatin1String("..")
           && !name.contains(QLatin1Char('/')) && !name.contains(QLatin1Char('\\')) && !name.contains(QChar(0));
}

bool hasText(const Dictation &dictation)
{
    return !TextUtil::trimmed(dictation.finalText).isEmpty();
}

std::optional<Dictation> newestWithText(const QList<Dictation> &history)
{
    for (const Dictation &d : history)
        if (hasText(d))
            return d;
    return std::nullopt;
}

QString dateText(const QDateTime &date)
{
    if (!date.isValid())
        return QStringLiteral("1970-01-01T00:00:00Z");
    QDateTime utc = date.toUTC();
    const qint64 ms = utc.toMSecsSinceEpoch();
    // Floor to the second, also before 1970.
    const qint64 whole = ms - ((ms % 1000) + 1000) % 1000;
    utc = QDateTime::fromMSecsSinceEpoch(whole, Qt::UTC);
    return utc.toString(Qt::ISODate);
}

std::optional<QDateTime> parseDate(const QString &text)
{
    // yyyy-MM-ddTHH:mm:ss followed by Z or ±hh:mm; nothing else.
    const auto digits = [&](qsizetype from, qsizetype count) {
        for (qsizetype i = from; i < from + count; ++i)
            if (i >= text.size() || text.at(i) < QLatin1Char('0') || text.at(i) > QLatin1Char('9'))
                return false;
        return true;
    };
    const auto at = [&](qsizetype i, char c) { return i < text.size() && text.at(i) == QLatin1Char(c); };
    if (!(digits(0, 4) && at(4, '-') && digits(5, 2) && at(7, '-') && digits(8, 2)
          && (at(10, 'T') || at(10, 't')) && digits(11, 2) && at(13, ':') && digits(14, 2) && at(16, ':')
          && digits(17, 2)))
        return std::nullopt;
    int offsetSeconds = 0;
    if (text.size() == 20 && (at(19, 'Z') || at(19, 'z'))) {
        offsetSeconds = 0;
    } else if (text.size() == 25 && (at(19, '+') || at(19, '-')) && digits(20, 2) && at(22, ':') && digits(23, 2)) {
        const int hours = text.mid(20, 2).toInt();
        const int minutes = text.mid(23, 2).toInt();
        if (hours > 23 || minutes > 59)
            return std::nullopt;
        offsetSeconds = (hours * 3600 + minutes * 60) * (at(19, '-') ? -1 : 1);
    } else {
        return std::nullopt;
    }
    const QDate day(text.mid(0, 4).toInt(), text.mid(5, 2).toInt(), text.mid(8, 2).toInt());
    const QTime time(text.mid(11, 2).toInt(), text.mid(14, 2).toInt(), text.mid(17, 2).toInt());
    if (!day.isValid() || !time.isValid())
        return std::nullopt;
    const QDateTime local(day, time, Qt::OffsetFromUTC, offsetSeconds);
    if (!local.isValid())
        return std::nullopt;
    return local.toUTC();
}

QByteArray encodeArray(const QStringList &list)
{
    QByteArray out;
    out.append('[');
    for (qsizetype i = 0; i < list.size(); ++i) {
        if (i)
            out.append(',');
        Json::appendString(out, list.at(i));
    }
    out.append(']');
    return out;
}

namespace {

// Field readers for one object: each returns false (failing the reader) on a wrong type.
struct Fields
{
    Json::Reader &r;
    quint32 seen = 0;

    bool string(QString &out, quint32 bit)
    {
        seen |= bit;
        return r.peek() == '"' ? r.string(out) : r.fail();
    }
    bool optionalString(std::optional<QString> &out)
    {
        if (r.null()) {
            out.reset();
            return true;
        }
        QString s;
        if (r.peek() != '"' || !r.string(s))
            return r.fail();
        out = std::move(s);
        return true;
    }
    bool uuid(QUuid &out, quint32 bit)
    {
        QString text;
        if (!string(text, bit))
            return false;
        out = QUuid::fromString(text);
        return (text.size() == 36 && !out.isNull()) || r.fail();
    }
    bool date(QDateTime &out, quint32 bit)
    {
        QString text;
        if (!string(text, bit))
            return false;
        const auto parsed = parseDate(text);
        if (!parsed)
            return r.fail();
        out = *parsed;
        return true;
    }
    bool number(double &out, quint32 bit)
    {
        seen |= bit;
        const char c = r.peek();
        return (c == '-' || (c >= '0' && c <= '9')) ? r.number(out) : r.fail();
    }
    bool strings(QStringList &out, quint32 bit)
    {
        seen |= bit;
        out.clear();
        return r.array([&] {
            QString s;
            if (r.peek() != '"' || !r.string(s))
                return false;
            out.append(std::move(s));
            return true;
        });
    }
    bool done(quint32 required) const { return r.ok() && (seen & required) == required; }
};

bool readRecord(Json::Reader &r, Fix &f)
{
    Fields in{r};
    const bool ok = r.object([&](const std::string &key) {
        if (key == "id") return in.uuid(f.id, 1);
        if (key == "original") return in.string(f.original, 2);
        if (key == "correction") return in.string(f.correction, 4);
        if (key == "kind") return in.string(f.kind, 8);
        if (key == "explanation") return in.string(f.explanation, 16);
        return r.skipValue();
    });
    return ok && in.done(31);
}

bool readRecord(Json::Reader &r, Dictation &d)
{
    Fields in{r};
    const bool ok = r.object([&](const std::string &key) {
        if (key == "id") return in.uuid(d.id, 1);
        if (key == "date") return in.date(d.date, 2);
        if (key == "appName") return in.string(d.appName, 4);
        if (key == "bundleID") return in.optionalString(d.bundleID);
        if (key == "finalText") return in.string(d.finalText, 8);
        if (key == "rawText") return in.string(d.rawText, 16);
        if (key == "duration") return in.number(d.duration, 32);
        if (key == "audioFile") return in.optionalString(d.audioFile);
        return r.skipValue();
    });
    // A recording name that leads out of the audio folder names no recording of ours.
    if (d.audioFile && !Records::isPlainFileName(*d.audioFile))
        d.audioFile.reset();
    return ok && in.done(63);
}

bool readRecord(Json::Reader &r, Correction &c)
{
    Fields in{r};
    const bool ok = r.object([&](const std::string &key) {
        if (key == "id") return in.uuid(c.id, 1);
        if (key == "heard") return in.string(c.heard, 2);
        if (key == "written") return in.string(c.written, 4);
        return r.skipValue();
    });
    return ok && in.done(7);
}

bool readRecord(Json::Reader &r, CorrectionRecord &c)
{
    Fields in{r};
    const bool ok = r.object([&](const std::string &key) {
        if (key == "id") return in.uuid(c.id, 1);
        if (key == "date") return in.date(c.date, 2);
        if (key == "appName") return in.string(c.appName, 4);
        if (key == "bundleID") return in.optionalString(c.bundleID);
        if (key == "action") return in.string(c.action, 8);
        if (key == "original") return in.string(c.original, 16);
        if (key == "result") return in.string(c.result, 32);
        if (key == "fixes") {
            in.seen |= 64;
            c.fixes.clear();
            return r.array([&] {
                Fix fix;
                if (!readRecord(r, fix))
                    return false;
                c.fixes.append(std::move(fix));
                return true;
            });
        }
        return r.skipValue();
    });
    return ok && in.done(127);
}

bool readRecord(Json::Reader &r, Snippet &s)
{
    Fields in{r};
    const bool ok = r.object([&](const std::string &key) {
        if (key == "id") return in.uuid(s.id, 1);
        if (key == "trigger") return in.string(s.trigger, 2);
        if (key == "text") return in.string(s.text, 4);
        return r.skipValue();
    });
    return ok && in.done(7);
}

bool readRecord(Json::Reader &r, CostEntry &c)
{
    Fields in{r};
    const bool ok = r.object([&](const std::string &key) {
        if (key == "date") return in.date(c.date, 1);
        if (key == "amount") return in.number(c.amount, 2);
        return r.skipValue();
    });
    return ok && in.done(3);
}

bool readRecord(Json::Reader &r, Meeting &m)
{
    Fields in{r};
    const bool ok = r.object([&](const std::string &key) {
        if (key == "id") return in.uuid(m.id, 1);
        if (key == "date") return in.date(m.date, 2);
        if (key == "duration") return in.number(m.duration, 4);
        if (key == "title") return in.string(m.title, 8);
        if (key == "transcript") return in.string(m.transcript, 16);
        if (key == "summary") return in.string(m.summary, 32);
        if (key == "tasks") return in.strings(m.tasks, 64);
        return r.skipValue();
    });
    return ok && in.done(127);
}

bool readRecord(Json::Reader &r, QString &s)
{
    return r.peek() == '"' ? r.string(s) : r.fail();
}

template<typename T>
std::optional<QList<T>> readArray(const char *begin, const char *end)
{
    Json::Reader r(begin, end);
    QList<T> out;
    const bool ok = r.array([&] {
        T record;
        if (!readRecord(r, record))
            return false;
        out.append(std::move(record));
        return true;
    });
    if (!ok || !r.ok() || !r.atEnd())
        return std::nullopt;
    return out;
}

// One element given as a JSON value (for callers that already hold a document).
template<typename T>
std::optional<T> readValue(const QJsonValue &value)
{
    if (!value.isObject())
        return std::nullopt;
    const QByteArray json = QJsonDocument(value.toObject()).toJson(QJsonDocument::Compact);
    Json::Reader r(json.constData(), json.constData() + json.size());
    T record;
    if (!readRecord(r, record) || !r.atEnd())
        return std::nullopt;
    return record;
}

QByteArray fixJson(const Fix &fix)
{
    Json::ObjectWriter w;
    w.string("id", uuidText(fix.id));
    w.string("original", fix.original);
    w.string("correction", fix.correction);
    w.string("kind", fix.kind);
    w.string("explanation", fix.explanation);
    return w.finish();
}

size_t hashText(const QString &text, size_t seed)
{
    return qHash(text.normalized(QString::NormalizationForm_C), seed);
}

size_t hashDouble(double value, size_t seed)
{
    if (value == 0)
        value = 0; // -0.0 hashes as 0.0
    quint64 bits;
    std::memcpy(&bits, &value, sizeof bits);
    return qHash(bits, seed);
}

size_t hashDate(const QDateTime &date, size_t seed)
{
    return qHash(date.isValid() ? date.toMSecsSinceEpoch() : std::numeric_limits<qint64>::min(), seed);
}

size_t hashOptional(const std::optional<QString> &value, size_t seed)
{
    seed = qHash(value ? 1 : 0, seed);
    return value ? hashText(*value, seed) : seed;
}

bool sameOptional(const std::optional<QString> &a, const std::optional<QString> &b)
{
    return a.has_value() == b.has_value() && (!a || TextUtil::sameText(*a, *b));
}

bool sameDate(const QDateTime &a, const QDateTime &b)
{
    return a == b; // by instant; two invalid dates are equal
}

} // namespace

template<typename T>
std::optional<QList<T>> decodeArray(const QByteArray &data)
{
    return readArray<T>(data.constData(), data.constData() + data.size());
}

template std::optional<QList<Dictation>> decodeArray<Dictation>(const QByteArray &);
template std::optional<QList<Correction>> decodeArray<Correction>(const QByteArray &);
template std::optional<QList<CorrectionRecord>> decodeArray<CorrectionRecord>(const QByteArray &);
template std::optional<QList<Snippet>> decodeArray<Snippet>(const QByteArray &);
template std::optional<QList<CostEntry>> decodeArray<CostEntry>(const QByteArray &);
template std::optional<QList<Meeting>> decodeArray<Meeting>(const QByteArray &);

template<>
std::optional<QList<QString>> decodeArray<QString>(const QByteArray &data)
{
    return readArray<QString>(data.constData(), data.constData() + data.size());
}

} // namespace Records

using namespace Records;

// --- Dictation

qint64 Dictation::wordsPerMinute() const
{
    if (!(duration > 0))
        return 0;
    const double wpm = double(TextUtil::wordCount(finalText)) / (duration / 60.0);
    if (!std::isfinite(wpm) || wpm >= 9.2e18)
        return std::numeric_limits<qint64>::max();
    return std::llround(wpm);
}

bool Dictation::operator==(const Dictation &o) const
{
    return id == o.id && sameDate(date, o.date) && TextUtil::sameText(appName, o.appName)
           && sameOptional(bundleID, o.bundleID) && TextUtil::sameText(finalText, o.finalText)
           && TextUtil::sameText(rawText, o.rawText) && duration == o.duration && sameOptional(audioFile, o.audioFile);
}

QByteArray Dictation::toJson() const
{
    Json::ObjectWriter w;
    w.string("id", uuidText(id));
    w.string("date", dateText(date));
    w.string("appName", appName);
    w.optionalString("bundleID", bundleID);
    w.string("finalText", finalText);
    w.string("rawText", rawText);
    w.number("duration", duration);
    w.optionalString("audioFile", audioFile);
    return w.finish();
}

std::optional<Dictation> Dictation::fromJson(const QJsonValue &value)
{
    return readValue<Dictation>(value);
}

size_t qHash(const Dictation &r, size_t seed)
{
    seed = qHash(r.id, seed);
    seed = hashDate(r.date, seed);
    seed = hashText(r.appName, seed);
    seed = hashOptional(r.bundleID, seed);
    seed = hashText(r.finalText, seed);
    seed = hashText(r.rawText, seed);
    seed = hashDouble(r.duration, seed);
    return hashOptional(r.audioFile, seed);
}

// --- Correction

bool Correction::operator==(const Correction &o) const
{
    return id == o.id && TextUtil::sameText(heard, o.heard) && TextUtil::sameText(written, o.written);
}

QByteArray Correction::toJson() const
{
    Json::ObjectWriter w;
    w.string("id", uuidText(id));
    w.string("heard", heard);
    w.string("written", written);
    return w.finish();
}

std::optional<Correction> Correction::fromJson(const QJsonValue &value)
{
    return readValue<Correction>(value);
}

size_t qHash(const Correction &r, size_t seed)
{
    seed = qHash(r.id, seed);
    seed = hashText(r.heard, seed);
    return hashText(r.written, seed);
}

// --- CorrectionRecord

bool CorrectionRecord::operator==(const CorrectionRecord &o) const
{
    return id == o.id && sameDate(date, o.date) && TextUtil::sameText(appName, o.appName)
           && sameOptional(bundleID, o.bundleID) && TextUtil::sameText(action, o.action)
           && TextUtil::sameText(original, o.original) && TextUtil::sameText(result, o.result) && fixes == o.fixes;
}

QByteArray CorrectionRecord::toJson() const
{
    Json::ObjectWriter w;
    w.string("id", uuidText(id));
    w.string("date", dateText(date));
    w.string("appName", appName);
    w.optionalString("bundleID", bundleID);
    w.string("action", action);
    w.string("original", original);
    w.string("result", result);
    QByteArray list("[");
    for (qsizetype i = 0; i < fixes.size(); ++i) {
        if (i)
            list.append(',');
        list.append(fixJson(fixes.at(i)));
    }
    list.append(']');
    w.raw("fixes", list);
    return w.finish();
}

std::optional<CorrectionRecord> CorrectionRecord::fromJson(const QJsonValue &value)
{
    return readValue<CorrectionRecord>(value);
}

size_t qHash(const CorrectionRecord &r, size_t seed)
{
    seed = qHash(r.id, seed);
    seed = hashDate(r.date, seed);
    seed = hashText(r.appName, seed);
    seed = hashOptional(r.bundleID, seed);
    seed = hashText(r.action, seed);
    seed = hashText(r.original, seed);
    seed = hashText(r.result, seed);
    seed = qHash(qsizetype(r.fixes.size()), seed);
    for (const Fix &fix : r.fixes)
        seed = qHash(fix, seed);
    return seed;
}

// --- Snippet

bool Snippet::operator==(const Snippet &o) const
{
    return id == o.id && TextUtil::sameText(trigger, o.trigger) && TextUtil::sameText(text, o.text);
}

QByteArray Snippet::toJson() const
{
    Json::ObjectWriter w;
    w.string("id", uuidText(id));
    w.string("trigger", trigger);
    w.string("text", text);
    return w.finish();
}

std::optional<Snippet> Snippet::fromJson(const QJsonValue &value)
{
    return readValue<Snippet>(value);
}

size_t qHash(const Snippet &r, size_t seed)
{
    seed = qHash(r.id, seed);
    seed = hashText(r.trigger, seed);
    return hashText(r.text, seed);
}

// --- CostEntry

bool CostEntry::operator==(const CostEntry &o) const
{
    return sameDate(date, o.date) && amount == o.amount;
}

QByteArray CostEntry::toJson() const
{
    Json::ObjectWriter w;
    w.string("date", dateText(date));
    w.number("amount", amount);
    return w.finish();
}

std::optional<CostEntry> CostEntry::fromJson(const QJsonValue &value)
{
    return readValue<CostEntry>(value);
}

size_t qHash(const CostEntry &r, size_t seed)
{
    seed = hashDate(r.date, seed);
    return hashDouble(r.amount, seed);
}

// --- Meeting

bool Meeting::operator==(const Meeting &o) const
{
    if (!(id == o.id && sameDate(date, o.date) && duration == o.duration && TextUtil::sameText(title, o.title)
          && TextUtil::sameText(transcript, o.transcript) && TextUtil::sameText(summary, o.summary)
          && tasks.size() == o.tasks.size()))
        return false;
    for (qsizetype i = 0; i < tasks.size(); ++i)
        if (!TextUtil::sameText(tasks.at(i), o.tasks.at(i)))
            return false;
    return true;
}

QByteArray Meeting::toJson() const
{
    Json::ObjectWriter w;
    w.string("id", uuidText(id));
    w.string("date", dateText(date));
    w.number("duration", duration);
    w.string("title", title);
    w.string("transcript", transcript);
    w.string("summary", summary);
    w.raw("tasks", encodeArray(tasks));
    return w.finish();
}

std::optional<Meeting> Meeting::fromJson(const QJsonValue &value)
{
    return readValue<Meeting>(value);
}

size_t qHash(const Meeting &r, size_t seed)
{
    seed = qHash(r.id, seed);
    seed = hashDate(r.date, seed);
    seed = hashDouble(r.duration, seed);
    seed = hashText(r.title, seed);
    seed = hashText(r.transcript, seed);
    seed = hashText(r.summary, seed);
    seed = qHash(qsizetype(r.tasks.size()), seed);
    for (const QString &task : r.tasks)
        seed = hashText(task, seed);
    return seed;
}
