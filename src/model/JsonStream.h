#pragma once

#include <QByteArray>
#include <QString>

#include <charconv>
#include <cmath>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>

// Compact JSON written and read straight from and into records, without an
// intermediate document: the history files are large and saved often.
namespace Json {

// A JSON string literal, quotes included.
void appendString(QByteArray &out, const QString &text);
// A JSON number in its shortest form; a non-finite value is written as 0.
void appendNumber(QByteArray &out, double value);

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
        appendString(out_, value);
    }
    void optionalString(const char *name, const std::optional<QString> &value)
    {
        if (value)
            string(name, *value);
    }
    void number(const char *name, double value)
    {
        key(name);
        appendNumber(out_, value);
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
class Reader
{
public:
    Reader(const char *begin, const char *end)
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

} // namespace Json
