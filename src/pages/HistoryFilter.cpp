#include "pages/HistoryFilter.h"

#include <QLocale>

using namespace Qt::StringLiterals;

namespace HistoryFilter {

QString searchKey(const QString &text)
{
    // Upper case first: its full mappings ("ß" → "SS") fold where simple folding does not.
    return text.normalized(QString::NormalizationForm_C).toUpper().toCaseFolded().normalized(
        QString::NormalizationForm_C);
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
