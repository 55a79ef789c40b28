#include "pages/DashboardFigures.h"

#include <QHash>
#include <QLocale>

#include <cmath>
#include <limits>

using namespace Qt::StringLiterals;

namespace DashboardFigures {

namespace {

const QLocale &french()
{
    static const QLocale locale(QLocale::French, QLocale::France);
    return locale;
}

} // namespace

QString grouped(qint64 n)
{
    const QString text = french().toString(n);
    return text.isEmpty() ? QString::number(n) : text;
}

qint64 roundHalfAway(double value)
{
    if (!std::isfinite(value))
        return 0;
    if (value >= 9.2e18)
        return std::numeric_limits<qint64>::max();
    if (value <= -9.2e18)
        return std::numeric_limits<qint64>::min();
    return std::llround(value); // llround rounds halves away from zero
}

qint64 streak(QDate today, const WordsOn &wordsOn)
{
    QDate day = today;
    if (wordsOn(day) == 0)
        day = day.addDays(-1);
    qint64 count = 0;
    while (day.isValid() && wordsOn(day) >= 1) {
        ++count;
        day = day.addDays(-1);
    }
    return count;
}

qint64 fixCount(const QList<CorrectionRecord> &records)
{
    qint64 sum = 0;
    for (const CorrectionRecord &r : records)
        sum += std::max<qint64>(r.fixes.size(), 1);
    return sum;
}

QList<Share> appShares(const QList<Dictation> &history, const QList<qint64> &words, qint64 total)
{
    QList<Share> out;
    if (total < 1)
        return out;
    QHash<QString, qsizetype> index;
    QList<qint64> counts;
    for (qsizetype i = 0; i < history.size() && i < words.size(); ++i) {
        const Dictation &d = history.at(i);
        // A kept recording has no words: it takes no place among the applications.
        if (words.at(i) <= 0)
            continue;
        auto it = index.constFind(d.appName);
        if (it == index.constEnd()) {
            it = index.insert(d.appName, out.size());
            out.append(Share{d.appName, d.bundleIDText(), 0});
            counts.append(0);
        } else if (out[*it].bundleID.isEmpty()) {
            out[*it].bundleID = d.bundleIDText();
        }
        counts[*it] += words.at(i);
    }
    for (qsizetype i = 0; i < out.size(); ++i)
        out[i].share = double(counts.at(i)) / double(total);
    std::stable_sort(out.begin(), out.end(), [](const Share &a, const Share &b) { return a.share > b.share; });
    return out;
}

QString wordsText(qint64 words)
{
    return grouped(words) + u" mot"_s + (words > 1 ? u"s"_s : QString());
}

QString plainWordsText(qint64 words)
{
    return QString::number(words) + u" mot"_s + (words > 1 ? u"s"_s : QString());
}

QString streakLabel(qint64 streak)
{
    return streak > 1 ? u"jours de suite"_s : u"jour de suite"_s;
}

QString fixesLabel(qint64 fixes)
{
    return fixes > 1 ? u"fautes corrigées"_s : u"faute corrigée"_s;
}

QString spentText(double dollars)
{
    QString text = QString::asprintf("%.2f $", dollars);
    text.replace(u'.', u',');
    return text;
}

QString dictationsText(qint64 count)
{
    return grouped(count) + u" dictées"_s;
}

QString savedText(double minutes)
{
    const qint64 m = roundHalfAway(minutes);
    const qint64 h = m / 60;
    return QString::number(h) + u" h "_s + QString::asprintf("%02lld", m - 60 * h) + u" min"_s;
}

std::optional<QString> deltaText(qint64 yesterday, qint64 today)
{
    if (yesterday < 1)
        return std::nullopt;
    const qint64 p = roundHalfAway(double(today - yesterday) / double(yesterday) * 100.0);
    return (p >= 0 ? u"+"_s : QString()) + QString::number(p) + u" % par rapport à hier"_s;
}

QString headerDate(QDate day)
{
    return french().toString(day, u"dddd d MMMM"_s);
}

QString axisLabel(QDate day)
{
    return french().toString(day, u"d MMM"_s);
}

QString shareText(double share)
{
    return QString::number(roundHalfAway(share * 100.0)) + u" %"_s;
}

QString hourMinuteFormat(const QLocale &locale)
{
    // The locale's short time format, less its seconds, milliseconds and zone (the C
    // locale's is "HH:mm:ss"), each with the separator before it; quoted text stays.
    const QString format = locale.timeFormat(QLocale::ShortFormat);
    QString out;
    for (qsizetype i = 0; i < format.size();) {
        const QChar c = format.at(i);
        if (c == u'\'') {
            const qsizetype end = format.indexOf(u'\'', i + 1);
            const qsizetype stop = end < 0 ? format.size() : end + 1;
            out += format.mid(i, stop - i);
            i = stop;
            continue;
        }
        if (c == u's' || c == u'z' || c == u't') {
            while (!out.isEmpty() && !out.back().isLetter() && out.back() != u'\'')
                out.chop(1);
            while (i < format.size() && format.at(i) == c)
                ++i;
            continue;
        }
        out += c;
        ++i;
    }
    return out.trimmed().isEmpty() ? u"HH:mm"_s : out.trimmed();
}

QString timeText(const QDateTime &date, const QTimeZone &zone, const QLocale &locale)
{
    return locale.toString(date.toTimeZone(zone).time(), hourMinuteFormat(locale));
}

QList<qint64> niceTicks(qint64 max, int wanted)
{
    if (max <= 0)
        return {0, 1};
    wanted = std::max(wanted, 1);
    const double raw = double(max) / wanted;
    const double power = std::pow(10.0, std::floor(std::log10(raw)));
    qint64 step = 1;
    for (const double f : {1.0, 2.0, 5.0, 10.0}) {
        step = std::max<qint64>(1, qint64(f * power));
        if (f * power >= raw)
            break;
    }
    QList<qint64> ticks;
    for (qint64 v = 0;; v += step) {
        ticks.append(v);
        if (v >= max)
            break;
    }
    return ticks;
}

} // namespace DashboardFigures
