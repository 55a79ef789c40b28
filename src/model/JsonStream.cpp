#include "model/JsonStream.h"

#include <QLocale>

#include <cmath>

namespace Json {

void appendString(QByteArray &out, const QString &text)
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

void appendNumber(QByteArray &out, double value)
{
    if (!std::isfinite(value))
        value = 0; // JSON has no NaN or infinity; refusing would make the whole file unwritable
    if (value == std::trunc(value) && std::fabs(value) < 1e15)
        out.append(QByteArray::number(qint64(value)));
    else
        out.append(QByteArray::number(value, 'g', QLocale::FloatingPointShortest));
}

} // namespace Json
