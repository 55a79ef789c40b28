#include "model/Records.h"

#include "model/TextUtil.h"

#include <QHash>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <cmath>
#include <cstring>
#include <limits>

namespace Records {

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

void appendJsonString(QByteArray &out, const QString &text)
{
    static const char hex[] = "0123456789abcdef";
    const QByteArray utf8 = text.toUtf8();
    out.append('"');
    for (const char c : utf8) {
        const auto u = static_cast<unsigned char>(c);
        switch (u) {
        case '"': out.append("\\\"", 2); break;
        case '\\': out.append("\\\\", 2); break;
        case '\n': out.append("\\n", 2); break;
        case '\r': out.append("\\r", 2); break;
        case '\t': out.append("\\t", 2); break;
        case '\b': out.append("\\b", 2); break;
        case '\f': out.append("\\f", 2); break;
        default:
            if (u < 0x20) {
                const char esc[] = {'\\', 'u', '0', '0', hex[u >> 4], hex[u & 15]};
                out.append(esc, 6);
            } else {
                out.append(c);
            }
        }
    }
    out.append('"');
}

void appendJsonNumber(QByteArray &out, double value)
{
    if (!std::isfinite(value))
        value = 0; // JSON has no NaN or infinity; refusing would make the whole file unwritable
    if (value == std::trunc(value) && std::fabs(value) < 1e15)
        out.append(QByteArray::number(qint64(value)));
    else
        out.append(QByteArray::number(value, 'g', QLocale::FloatingPointShortest));
}

QByteArray encodeArray(const QStringList &list)
{
    QByteArray out;
    out.append('[');
    for (qsizetype i = 0; i < list.size(); ++i) {
        if (i)
            out.append(',');
        appendJsonString(out, list.at(i));
    }
    out.append(']');
    return out;
}

namespace {

// Builds one object in field order.
class ObjectWriter
{
public:
    ObjectWriter() { out_.append('{'); }
    void key(const char *name)
    {
        if (!first_)
            out_.append(',');
        first_ = false;
        out_.append('"').append(name).append("\":");
    }
    void string(const char *name, const QString &value)
    {
        key(name);
        appendJsonString(out_, value);
    }
    void optionalString(const char *name, const std::optional<QString> &value)
    {
        if (value)
            string(name, *value);
    }
    void uuid(const char *name, const QUuid &value) { string(name, uuidText(value)); }
    void date(const char *name, const QDateTime &value) { string(name, dateText(value)); }
    void number(const char *name, double value)
    {
        key(name);
        appendJsonNumber(out_, value);
    }
    void raw(const char *name, const QByteArray &json)
    {
        key(name);
        out_.append(json);
    }
    QByteArray finish()
    {
        out_.append('}');
        return std::move(out_);
    }

private:
    QByteArray out_;
    bool first_ = true;
};

// Reads one object strictly; `ok` turns false at the first missing or mistyped key.
class ObjectReader
{
public:
    explicit ObjectReader(const QJsonValue &value)
        : ok_(value.isObject())
        , object_(value.toObject())
    {
    }
    bool ok() const { return ok_; }

    QString string(const char *name)
    {
        const QJsonValue v = object_.value(QLatin1String(name));
        if (!v.isString()) {
            ok_ = false;
            return {};
        }
        return v.toString();
    }
    std::optional<QString> optionalString(const char *name)
    {
        const QJsonValue v = object_.value(QLatin1String(name));
        if (v.isUndefined() || v.isNull())
            return std::nullopt;
        if (!v.isString()) {
            ok_ = false;
            return std::nullopt;
        }
        return v.toString();
    }
    QUuid uuid(const char *name)
    {
        const QString text = string(name);
        const QUuid id = QUuid::fromString(text);
        if (text.size() != 36 || id.isNull())
            ok_ = false;
        return id;
    }
    QDateTime date(const char *name)
    {
        const auto parsed = parseDate(string(name));
        if (!parsed) {
            ok_ = false;
            return {};
        }
        return *parsed;
    }
    double number(const char *name)
    {
        const QJsonValue v = object_.value(QLatin1String(name));
        if (!v.isDouble()) {
            ok_ = false;
            return 0;
        }
        return v.toDouble();
    }
    QJsonArray array(const char *name)
    {
        const QJsonValue v = object_.value(QLatin1String(name));
        if (!v.isArray())
            ok_ = false;
        return v.toArray();
    }

private:
    bool ok_;
    QJsonObject object_;
};

QByteArray fixJson(const Fix &fix)
{
    ObjectWriter w;
    w.uuid("id", fix.id);
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
    QJsonParseError error;
    const QJsonDocument doc = QJsonDocument::fromJson(data, &error);
    if (error.error != QJsonParseError::NoError || !doc.isArray())
        return std::nullopt;
    const QJsonArray array = doc.array();
    QList<T> out;
    out.reserve(array.size());
    for (const QJsonValue &value : array) {
        auto record = T::fromJson(value);
        if (!record)
            return std::nullopt;
        out.append(std::move(*record));
    }
    return out;
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
    QJsonParseError error;
    const QJsonDocument doc = QJsonDocument::fromJson(data, &error);
    if (error.error != QJsonParseError::NoError || !doc.isArray())
        return std::nullopt;
    const QJsonArray array = doc.array();
    QStringList out;
    out.reserve(array.size());
    for (const QJsonValue &value : array) {
        if (!value.isString())
            return std::nullopt;
        out.append(value.toString());
    }
    return out;
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
    ObjectWriter w;
    w.uuid("id", id);
    w.date("date", date);
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
    ObjectReader r(value);
    Dictation d;
    d.id = r.uuid("id");
    d.date = r.date("date");
    d.appName = r.string("appName");
    d.bundleID = r.optionalString("bundleID");
    d.finalText = r.string("finalText");
    d.rawText = r.string("rawText");
    d.duration = r.number("duration");
    d.audioFile = r.optionalString("audioFile");
    if (!r.ok())
        return std::nullopt;
    return d;
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
    ObjectWriter w;
    w.uuid("id", id);
    w.string("heard", heard);
    w.string("written", written);
    return w.finish();
}

std::optional<Correction> Correction::fromJson(const QJsonValue &value)
{
    ObjectReader r(value);
    Correction c;
    c.id = r.uuid("id");
    c.heard = r.string("heard");
    c.written = r.string("written");
    if (!r.ok())
        return std::nullopt;
    return c;
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
    ObjectWriter w;
    w.uuid("id", id);
    w.date("date", date);
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
    ObjectReader r(value);
    CorrectionRecord c;
    c.id = r.uuid("id");
    c.date = r.date("date");
    c.appName = r.string("appName");
    c.bundleID = r.optionalString("bundleID");
    c.action = r.string("action");
    c.original = r.string("original");
    c.result = r.string("result");
    const QJsonArray list = r.array("fixes");
    if (!r.ok())
        return std::nullopt;
    c.fixes.reserve(list.size());
    for (const QJsonValue &v : list) {
        auto fix = Fix::fromJson(v);
        if (!fix)
            return std::nullopt;
        c.fixes.append(std::move(*fix));
    }
    return c;
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
    ObjectWriter w;
    w.uuid("id", id);
    w.string("trigger", trigger);
    w.string("text", text);
    return w.finish();
}

std::optional<Snippet> Snippet::fromJson(const QJsonValue &value)
{
    ObjectReader r(value);
    Snippet s;
    s.id = r.uuid("id");
    s.trigger = r.string("trigger");
    s.text = r.string("text");
    if (!r.ok())
        return std::nullopt;
    return s;
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
    ObjectWriter w;
    w.date("date", date);
    w.number("amount", amount);
    return w.finish();
}

std::optional<CostEntry> CostEntry::fromJson(const QJsonValue &value)
{
    ObjectReader r(value);
    CostEntry c;
    c.date = r.date("date");
    c.amount = r.number("amount");
    if (!r.ok())
        return std::nullopt;
    return c;
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
    ObjectWriter w;
    w.uuid("id", id);
    w.date("date", date);
    w.number("duration", duration);
    w.string("title", title);
    w.string("transcript", transcript);
    w.string("summary", summary);
    w.raw("tasks", encodeArray(tasks));
    return w.finish();
}

std::optional<Meeting> Meeting::fromJson(const QJsonValue &value)
{
    ObjectReader r(value);
    Meeting m;
    m.id = r.uuid("id");
    m.date = r.date("date");
    m.duration = r.number("duration");
    m.title = r.string("title");
    m.transcript = r.string("transcript");
    m.summary = r.string("summary");
    const QJsonArray list = r.array("tasks");
    if (!r.ok())
        return std::nullopt;
    m.tasks.reserve(list.size());
    for (const QJsonValue &v : list) {
        if (!v.isString())
            return std::nullopt;
        m.tasks.append(v.toString());
    }
    return m;
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
