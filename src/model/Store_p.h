#pragma once

// What the store's source files share.

#include <QDate>
#include <QDateTime>
#include <QHash>
#include <QString>

#include <optional>

namespace StoreDetail {

inline constexpr const char *kHistory = "history.json";
inline constexpr const char *kWords = "words.json";
inline constexpr const char *kCorrections = "corrections.json";
inline constexpr const char *kFixes = "fixes.json";
inline constexpr const char *kSnippets = "snippets.json";
inline constexpr const char *kCosts = "costs.json";
inline constexpr const char *kMeetings = "meetings.json";

inline QString name(const char *file)
{
    return QString::fromLatin1(file);
}

// Whether an erase removes the file of the data folder of this name.
bool isRemovableByErase(const QString &fileName);
// Whether a file of the data folder of this name is the program's own: one of those,
// a recording spool, one set aside after a failed load, or a temporary file of a
// cut write of any of these.
bool isProgramFile(const QString &fileName);

// The local calendar day of instants, with the zone's offset looked up once per UTC
// day (exact unless the offset changes twice within one UTC day).
class LocalDays
{
public:
    QDate dayOf(const QDateTime &date)
    {
        if (!date.isValid())
            return {};
        const qint64 secs = date.toSecsSinceEpoch();
        const qint64 utcDay = floorDiv(secs, 86400);
        auto it = offsets_.constFind(utcDay);
        if (it == offsets_.constEnd()) {
            const int first = QDateTime::fromSecsSinceEpoch(utcDay * 86400, Qt::LocalTime).offsetFromUtc();
            const int last = QDateTime::fromSecsSinceEpoch(utcDay * 86400 + 86399, Qt::LocalTime).offsetFromUtc();
            it = offsets_.insert(utcDay, first == last ? std::optional<int>(first) : std::nullopt);
        }
        if (!*it)
            return date.toLocalTime().date();
        return QDate::fromJulianDay(floorDiv(secs + **it, 86400) + 2440588); // 1970-01-01
    }

private:
    static qint64 floorDiv(qint64 a, qint64 b) { return a / b - ((a % b != 0) && ((a < 0) != (b < 0))); }
    QHash<qint64, std::optional<int>> offsets_;
};

} // namespace StoreDetail
