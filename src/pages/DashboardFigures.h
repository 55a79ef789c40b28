#pragma once

#include "model/Records.h"

#include <QDate>
#include <QList>
#include <QLocale>
#include <QString>
#include <QTimeZone>

#include <functional>
#include <optional>

// The dashboard's figures and texts as pure functions: "today", the day look-up and
// the time zone come in as arguments, so that a test can pin them.
namespace DashboardFigures {

// Words dictated on a calendar day.
using WordsOn = std::function<qint64(QDate)>;

// An integer grouped the fr_FR way ("1 250", with a narrow no-break space).
QString grouped(qint64 n);
// Rounds halves away from zero, as the figures ask.
qint64 roundHalfAway(double value);

// Consecutive days with words, ending today or, when today has none yet, yesterday.
qint64 streak(QDate today, const WordsOn &wordsOn);
// Every record counts its fixes, and at least one.
qint64 fixCount(const QList<CorrectionRecord> &records);

// One application's share of the dictated words.
struct Share
{
    QString name;
    QString bundleID; // the first one found, newest first
    double share = 0;
};
// Shares of `total` words per application name of the history (newest first), largest
// first, equal shares in history order; `words` gives each dictation's word count. Empty
// when `total` is below 1.
QList<Share> appShares(const QList<Dictation> &history, const QList<qint64> &words, qint64 total);

// "1 250 mots", "1 mot", "0 mot".
QString wordsText(qint64 words);
// Plain digits: "7 mots" on history and recent rows.
QString plainWordsText(qint64 words);
QString streakLabel(qint64 streak);
QString fixesLabel(qint64 fixes);
// "3,46 $".
QString spentText(double dollars);
// "12 dictées" (always plural).
QString dictationsText(qint64 count);
// "1 h 05 min" from minutes saved.
QString savedText(double minutes);
// "+25 % par rapport à hier"; none when yesterday has no words.
std::optional<QString> deltaText(qint64 yesterday, qint64 today);
// "mardi 8 décembre".
QString headerDate(QDate day);
// "8 déc." under a chart bar.
QString axisLabel(QDate day);
// "42 %".
QString shareText(double share);
// The hour and minute of the locale's short time format, without seconds.
QString hourMinuteFormat(const QLocale &locale);
// The time of day in the user's locale ("14:05" in French), hour and minute only.
QString timeText(const QDateTime &date, const QTimeZone &zone, const QLocale &locale = QLocale::system());

// Round axis marks from 0 up to at least `max`: steps of 1, 2 or 5 times a power of ten,
// about `wanted` of them. At least two marks ({0, 1} when `max` is not above 0).
QList<qint64> niceTicks(qint64 max, int wanted = 4);

} // namespace DashboardFigures
