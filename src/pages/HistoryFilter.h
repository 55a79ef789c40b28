#pragma once

#include <QDate>
#include <QDateTime>
#include <QString>
#include <QTimeZone>

// The history page's filter and day titles as pure functions (now and zone given).
namespace HistoryFilter {

enum class Range { Today, Week, All };

// The form both sides of a search are compared in: NFC, case folded (full mappings:
// "ß" and "SS" agree). Accents stay. Equal to fullSearchKey(), faster on the usual
// French text.
QString searchKey(const QString &text);
// The same by the general route, for any text.
QString fullSearchKey(const QString &text);
// Whether searchKey() folds `c` by itself, without the general route.
bool foldsDirectly(char16_t c);
// Whether `key` (a searchKey) holds the search (a searchKey); an empty search matches.
bool matches(const QString &key, const QString &search);
// Whether `date` falls in the range as seen at `now` in `zone`: today's calendar day,
// or not earlier than the same clock time seven calendar days before.
bool inRange(const QDateTime &date, Range range, const QDateTime &now, const QTimeZone &zone);
// "Aujourd'hui", "Hier", else "Samedi 1 Mars 2025".
QString dayTitle(QDate day, QDate today);

} // namespace HistoryFilter
