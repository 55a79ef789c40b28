#include "model/Records.h"

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
    const char *p = utf8.constData();
    const char *end = p + utf8.size();
    out.append('"');
    while (p < end) {
        // Copy the run that needs no escape at once.
        const char *run = p;
        while (p < end && uchar(*p) >= 0x20 && *p != '"' && *p != '\\')
            ++p;
        out.append(run, p - run);
        if (p == end)
            break;
        const auto u = uchar(*p++);
        switch (u) {
        case '"': out.append("\\\"", 2); break;
        case '\\': out.append("\\\\", 2); break;
        case '\n': out.append("\\n", 2); break;
        case '\r': out.append("\\r", 2); break;
        case '\t': out.append("\\t", 2); break;
        case '\b': out.append("\\b", 2); break;
        case '\f': out.append("\\f", 2); break;
        default: {
            const char esc[] = {'\\', 'u', '0', '0', hex[u >> 4], hex[u & 15]};
            out.append(esc, 6);
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

// A strict pull parser over UTF-8 JSON (RFC 8259): the files are read straight into
// records, without an intermediate document. Any fault makes the whole read fail.
class JsonReader
{
public:
    JsonReader(const char *begin, const char *end)
        : p_(begin)
        , end_(end)
    {
        // A byte-order mark written by an editor.
        if (end_ - p_ >= 3 && uchar(p_[0]) == 0xEF && uchar(p_[1]) == 0xBB && uchar(p_[2]) == 0xBF)
            p_ += 3;
    }

    bool ok() const { return ok_; }
    bool fail() { return ok_ = false; }

    // Whitespace, then the next byte (0 at the end).
    char peek()
    {
        while (p_ < end_ && (*p_ == ' ' || *p_ == '\n' || *p_ == '\r' || *p_ == '\t'))
            ++p_;
        return p_ < end_ ? *p_ : 0;
    }
    bool atEnd() { return peek() == 0 && p_ == end_; }
    bool consume(char c)
    {
        if (peek() != c)
            return false;
        ++p_;
        return true;
    }

    bool null()
    {
        if (peek() != 'n')
            return false;
        if (end_ - p_ < 4 || std::memcmp(p_, "null", 4) != 0)
            return fail();
        p_ += 4;
        return true;
    }

    bool string(QString &out)
    {
        std::string_view raw;
        std::string buffer;
        if (!stringBytes(raw, buffer))
            return false;
        if (!validUtf8(raw))
            return fail();
        out = QString::fromUtf8(raw.data(), qsizetype(raw.size()));
        return true;
    }

    // A key as UTF-8 bytes, escapes resolved.
    bool key(std::string &out)
    {
        std::string_view raw;
        std::string buffer;
        if (!stringBytes(raw, buffer) || !validUtf8(raw))
            return fail();
        out.assign(raw);
        return consume(':') || fail();
    }

    bool number(double &out)
    {
        peek();
        const char *start = p_;
        const char *q = p_;
        if (q < end_ && *q == '-')
            ++q;
        if (q < end_ && *q == '0') {
            ++q;
        } else if (q < end_ && *q >= '1' && *q <= '9') {
            while (q < end_ && isDigit(*q))
                ++q;
        } else {
            return fail();
        }
        if (q < end_ && *q == '.') {
            ++q;
            if (!(q < end_ && isDigit(*q)))
                return fail();
            while (q < end_ && isDigit(*q))
                ++q;
        }
        if (q < end_ && (*q == 'e' || *q == 'E')) {
            ++q;
            if (q < end_ && (*q == '+' || *q == '-'))
                ++q;
            if (!(q < end_ && isDigit(*q)))
                return fail();
            while (q < end_ && isDigit(*q))
                ++q;
        }
        const auto result = std::from_chars(start, q, out);
        if (result.ec != std::errc() || result.ptr != q || !std::isfinite(out))
            return fail();
        p_ = q;
        return true;
    }

    // Calls onKey(key) for each member; onKey reads the value and returns false to stop.
    template<typename F>
    bool object(F &&onKey)
    {
        if (!consume('{'))
            return fail();
        if (consume('}'))
            return true;
        std::string name;
        do {
            if (peek() != '"' || !key(name) || !onKey(name) || !ok_)
                return fail();
        } while (consume(','));
        return consume('}') || fail();
    }

    template<typename F>
    bool array(F &&onElement)
    {
        if (!consume('['))
            return fail();
        if (consume(']'))
            return true;
        do {
            if (!onElement() || !ok_)
                return fail();
        } while (consume(','));
        return consume(']') || fail();
    }

    bool skipValue(int depth = 0)
    {
        if (depth > 256)
            return fail();
        switch (peek()) {
        case '{':
            return object([&](const std::string &) { return skipValue(depth + 1); });
        case '[':
            return array([&] { return skipValue(depth + 1); });
        case '"': {
            QString ignored;
            return string(ignored);
        }
        case 't': return literal("true");
        case 'f': return literal("false");
        case 'n': return null();
        default: {
            double ignored;
            return number(ignored);
        }
        }
    }

private:
    static bool isDigit(char c) { return c >= '0' && c <= '9'; }

    bool literal(const char *word)
    {
        const size_t n = std::strlen(word);
        if (size_t(end_ - p_) < n || std::memcmp(p_, word, n) != 0)
            return fail();
        p_ += n;
        return true;
    }

    static int hexValue(char c)
    {
        if (c >= '0' && c <= '9')
            return c - '0';
        if (c >= 'a' && c <= 'f')
            return c - 'a' + 10;
        if (c >= 'A' && c <= 'F')
            return c - 'A' + 10;
        return -1;
    }

    bool hex4(uint &out)
    {
        if (end_ - p_ < 4)
            return false;
        out = 0;
        for (int i = 0; i < 4; ++i) {
            const int v = hexValue(p_[i]);
            if (v < 0)
                return false;
            out = out * 16 + uint(v);
        }
        p_ += 4;
        return true;
    }

    static void appendUtf8(std::string &out, uint c)
    {
        if (c < 0x80) {
            out += char(c);
        } else if (c < 0x800) {
            out += char(0xC0 | (c >> 6));
            out += char(0x80 | (c & 0x3F));
        } else if (c < 0x10000) {
            out += char(0xE0 | (c >> 12));
            out += char(0x80 | ((c >> 6) & 0x3F));
            out += char(0x80 | (c & 0x3F));
        } else {
            out += char(0xF0 | (c >> 18));
            out += char(0x80 | ((c >> 12) & 0x3F));
            out += char(0x80 | ((c >> 6) & 0x3F));
            out += char(0x80 | (c & 0x3F));
        }
    }

    // The bytes of a string value: a view into the input, or `buffer` when it had escapes.
    bool stringBytes(std::string_view &out, std::string &buffer)
    {
        if (!consume('"'))
            return fail();
        const char *start = p_;
        while (p_ < end_ && *p_ != '"' && *p_ != '\\') {
            if (uchar(*p_) < 0x20)
                return fail();
            ++p_;
        }
        if (p_ >= end_)
            return fail();
        if (*p_ == '"') {
            out = std::string_view(start, size_t(p_ - start));
            ++p_;
            return true;
        }
        buffer.assign(start, size_t(p_ - start));
        while (p_ < end_ && *p_ != '"') {
            const char c = *p_++;
            if (uchar(c) < 0x20)
                return fail();
            if (c != '\\') {
                buffer += c;
                continue;
            }
            if (p_ >= end_)
                return fail();
            switch (*p_++) {
            case '"': buffer += '"'; break;
            case '\\': buffer += '\\'; break;
            case '/': buffer += '/'; break;
            case 'b': buffer += '\b'; break;
            case 'f': buffer += '\f'; break;
            case 'n': buffer += '\n'; break;
            case 'r': buffer += '\r'; break;
            case 't': buffer += '\t'; break;
            case 'u': {
                uint c1;
                if (!hex4(c1))
                    return fail();
                if (c1 >= 0xD800 && c1 <= 0xDBFF) {
                    uint c2;
                    if (end_ - p_ < 2 || p_[0] != '\\' || p_[1] != 'u')
                        return fail();
                    p_ += 2;
                    if (!hex4(c2) || c2 < 0xDC00 || c2 > 0xDFFF)
                        return fail();
                    c1 = 0x10000 + ((c1 - 0xD800) << 10) + (c2 - 0xDC00);
                } else if (c1 >= 0xDC00 && c1 <= 0xDFFF) {
                    return fail();
                }
                appendUtf8(buffer, c1);
                break;
            }
            default:
                return fail();
            }
        }
        if (p_ >= end_)
            return fail();
        ++p_;
        out = buffer;
        return true;
    }

    static bool validUtf8(std::string_view s)
    {
        const auto *p = reinterpret_cast<const uchar *>(s.data());
        const auto *end = p + s.size();
        while (p < end) {
            const uchar c = *p;
            if (c < 0x80) {
                ++p;
                continue;
            }
            int extra;
            uint cp;
            if (c >= 0xC2 && c <= 0xDF) {
                extra = 1;
                cp = c & 0x1F;
            } else if (c >= 0xE0 && c <= 0xEF) {
                extra = 2;
                cp = c & 0x0F;
            } else if (c >= 0xF0 && c <= 0xF4) {
                extra = 3;
                cp = c & 0x07;
            } else {
                return false;
            }
            if (end - p <= extra)
                return false;
            for (int i = 1; i <= extra; ++i) {
                if ((p[i] & 0xC0) != 0x80)
                    return false;
                cp = (cp << 6) | (p[i] & 0x3F);
            }
            if ((extra == 2 && (cp < 0x800 || (cp >= 0xD800 && cp <= 0xDFFF))) || (extra == 3 && (cp < 0x10000 || cp > 0x10FFFF)))
                return false;
            p += extra + 1;
        }
        return true;
    }

    const char *p_;
    const char *end_;
    bool ok_ = true;
};

// Field readers for one object: each returns false (failing the reader) on a wrong type.
struct Fields
{
    JsonReader &r;
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

bool readRecord(JsonReader &r, Fix &f)
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

bool readRecord(JsonReader &r, Dictation &d)
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

bool readRecord(JsonReader &r, Correction &c)
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

bool readRecord(JsonReader &r, CorrectionRecord &c)
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

bool readRecord(JsonReader &r, Snippet &s)
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

bool readRecord(JsonReader &r, CostEntry &c)
{
    Fields in{r};
    const bool ok = r.object([&](const std::string &key) {
        if (key == "date") return in.date(c.date, 1);
        if (key == "amount") return in.number(c.amount, 2);
        return r.skipValue();
    });
    return ok && in.done(3);
}

bool readRecord(JsonReader &r, Meeting &m)
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

bool readRecord(JsonReader &r, QString &s)
{
    return r.peek() == '"' ? r.string(s) : r.fail();
}

template<typename T>
std::optional<QList<T>> readArray(const char *begin, const char *end)
{
    JsonReader r(begin, end);
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
    JsonReader r(json.constData(), json.constData() + json.size());
    T record;
    if (!readRecord(r, record) || !r.atEnd())
        return std::nullopt;
    return record;
}

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
    ObjectWriter w;
    w.uuid("id", id);
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
    ObjectWriter w;
    w.uuid("id", id);
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
    ObjectWriter w;
    w.date("date", date);
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
