// The store's statistics (local calendar and time zone).

#include "model/Store.h"

#include "model/Store_p.h"
#include "model/TextUtil.h"

#include <algorithm>
#include <cmath>
#include <limits>

using namespace StoreDetail;

void Store::rebuildStats()
{
    qint64 words = 0;
    double duration = 0;
    QHash<QDate, qint64> byDay;
    LocalDays days;
    qint64 transcribed = 0;
    for (const Dictation &d : std::as_const(dictations_)) {
        // A kept recording counts once it has its text.
        if (d.untranscribed())
            continue;
        const qint64 n = TextUtil::wordCount(d.finalText);
        words += n;
        duration += d.duration;
        byDay[days.dayOf(d.date)] += n;
        ++transcribed;
    }
    const bool countChanged = transcribed != transcribedCount_;
    transcribedCount_ = transcribed;
    const bool wordsChanged = words != totalWords_;
    const bool durationChanged = duration != totalDuration_;
    const bool daysChanged = byDay != wordsByDay_;
    totalWords_ = words;
    totalDuration_ = duration;
    wordsByDay_ = std::move(byDay);
    if (wordsChanged)
        Q_EMIT totalWordsChanged();
    if (durationChanged)
        Q_EMIT totalDurationChanged();
    if (wordsChanged || durationChanged || daysChanged || countChanged)
        Q_EMIT statisticsChanged();
}

qint64 Store::wordsOn(QDate day) const
{
    return wordsByDay_.value(day, 0);
}

qint64 Store::averageWPM() const
{
    if (!(totalDuration_ > 0))
        return 0;
    const double wpm = double(totalWords_) / (totalDuration_ / 60.0);
    if (!std::isfinite(wpm) || wpm >= 9.2e18)
        return std::numeric_limits<qint64>::max();
    return std::llround(wpm);
}

double Store::minutesSaved(qint64 typingWPM) const
{
    if (typingWPM < 1)
        return 0;
    const double saved = double(totalWords_) / double(typingWPM) - totalDuration_ / 60.0;
    return saved < 0 ? 0 : saved;
}

QList<DayWords> Store::lastDays(qint64 n) const
{
    QList<DayWords> out;
    if (n <= 0)
        return out;
    const QDate today = QDate::currentDate();
    out.reserve(qsizetype(std::min<qint64>(n, 100000)));
    for (qint64 k = -(n - 1); k <= 0; ++k) {
        const QDate day = today.addDays(k);
        if (!day.isValid())
            continue;
        out.append(DayWords{day, wordsOn(day)});
    }
    return out;
}

QList<AppShare> Store::appShares() const
{
    QList<AppShare> out;
    if (totalWords_ < 1)
        return out;
    QHash<QString, qsizetype> index;
    QList<qint64> counts;
    for (const Dictation &d : std::as_const(dictations_)) {
        if (d.untranscribed())
            continue;
        auto it = index.constFind(d.appName);
        qsizetype i;
        if (it == index.constEnd()) {
            i = out.size();
            index.insert(d.appName, i);
            out.append(AppShare{d.appName, d.bundleID, 0});
            counts.append(0);
        } else {
            i = *it;
            if (!out[i].bundleID)
                out[i].bundleID = d.bundleID;
        }
        counts[i] += TextUtil::wordCount(d.finalText);
    }
    for (qsizetype i = 0; i < out.size(); ++i)
        out[i].share = double(counts[i]) / double(totalWords_);
    std::stable_sort(out.begin(), out.end(), [](const AppShare &a, const AppShare &b) { return a.share > b.share; });
    return out;
}

double Store::spentThisMonth() const
{
    const QDate today = QDate::currentDate();
    LocalDays days;
    double sum = 0;
    for (const CostEntry &c : costs_) {
        const QDate day = days.dayOf(c.date);
        if (day.year() == today.year() && day.month() == today.month())
            sum += c.amount;
    }
    return sum;
}
