#include "pages/HistoryFilter.h"

#include <QLocale>

using namespace Qt::StringLiterals;

namespace HistoryFilter {

QString fullSearchKey(const QString &text)
{
    // Upper case first: its full mappings ("ß" → "SS") fold where simple folding does not.
    return text.normalized(QString::NormalizationForm_C).toUpper().toCaseFolded().normalized(
        QString::NormalizationForm_C);
}

bool foldsDirectly(char16_t c)
{
    // Latin letters below the combining marks (none of them changes under NFC), but
    // those whose full case mappings expand or depend on the language; then the general
    // punctuation (past the two spaces NFC replaces) and the currency signs, which fold
    // to themselves.
    if (c < 0x250)
        return c != 0xDF && c != 0x130 && c != 0x131 && c != 0x149 && c != 0x1F0;
    return (c >= 0x2002 && c < 0x2070) || (c >= 0x20A0 && c < 0x20D0);
}

QString searchKey(const QString &text)
{
    QString key(text.size(), Qt::Uninitialized);
    char16_t *out = reinterpret_cast<char16_t *>(key.data());
    const char16_t *in = reinterpret_cast<const char16_t *>(text.constData());
    for (qsizetype i = 0, n = text.size(); i < n; ++i) {
        const char16_t c = in[i];
        if (c < 0x80)
            out[i] = (c >= u'A' && c <= u'Z') ? char16_t(c + 32) : c;
        else if (foldsDirectly(c))
            out[i] = char16_t(QChar::toCaseFolded(char32_t(c)));
        else
            return fullSearchKey(text);
    }
    return key;
}

bool matches(const QString &key, const QString &search)
{
    return search.isEmpty() || key.contains(search);
}

bool inRange(const QDateTime &date, Range range, const QDateTime &now, const QTimeZone &zone)
{
    switch (range) {
    case Range::Today:
        return date.toTimeZone(zone).date() == now.toTimeZone(zone).date();
    case Range::Week:
        return date >= now.toTimeZone(zone).addDays(-7);
    case Range::All:
        break;
    }
    return true;
}

QString dayTitle(QDate day, QDate today)
{
    if (day == today)
        return u"Aujourd'hui"_s;
    if (day == today.addDays(-1))
        return u"Hier"_s;
    static const QLocale french(QLocale::French, QLocale::France);
    const QStringList words = french.toString(day, u"dddd d MMMM yyyy"_s).split(u' ');
    QStringList out;
    out.reserve(words.size());
    for (const QString &w : words)
        out.append(w.isEmpty() ? w : french.toUpper(w.left(1)) + french.toLower(w.mid(1)));
    return out.join(u' ');
}

} // namespace HistoryFilter
