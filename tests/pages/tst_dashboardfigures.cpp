#include "pages/DashboardFigures.h"
#include "pages/HistoryFilter.h"
#include "support/TestEnv.h"

#include <QSet>

using namespace Qt::StringLiterals;
namespace F = DashboardFigures;
using HistoryFilter::Range;

Q_DECLARE_METATYPE(Range)

namespace {

// fr_FR groups thousands with a narrow no-break space.
const QString kGroup = QString(QChar(0x202F));

QDateTime paris(QDate day, QTime time)
{
    return QDateTime(day, time, QTimeZone("Europe/Paris"));
}

} // namespace

class TestDashboardFigures : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void wordsText_data()
    {
        QTest::addColumn<qint64>("words");
        QTest::addColumn<QString>("grouped");
        QTest::addColumn<QString>("plain");
        QTest::newRow("none is singular") << qint64(0) << u"0 mot"_s << u"0 mot"_s;
        QTest::newRow("one") << qint64(1) << u"1 mot"_s << u"1 mot"_s;
        QTest::newRow("two") << qint64(2) << u"2 mots"_s << u"2 mots"_s;
        QTest::newRow("thousands grouped") << qint64(1250) << (u"1"_s + kGroup + u"250 mots"_s) << u"1250 mots"_s;
        QTest::newRow("millions") << qint64(1234567) << (u"1"_s + kGroup + u"234"_s + kGroup + u"567 mots"_s)
                                  << u"1234567 mots"_s;
    }

    void wordsText()
    {
        QFETCH(qint64, words);
        QFETCH(QString, grouped);
        QFETCH(QString, plain);
        QCOMPARE(F::wordsText(words), grouped);
        QCOMPARE(F::plainWordsText(words), plain);
    }

    void streak_data()
    {
        QTest::addColumn<QList<int>>("days"); // offsets from today with words
        QTest::addColumn<qint64>("expected");
        QTest::newRow("nothing") << QList<int>{} << qint64(0);
        QTest::newRow("today only") << QList<int>{0} << qint64(1);
        QTest::newRow("yesterday and before, none today") << QList<int>{-1, -2} << qint64(2);
        QTest::newRow("today and three before") << QList<int>{0, -1, -2, -3} << qint64(4);
        QTest::newRow("gap ends the count") << QList<int>{0, -1, -3, -4} << qint64(2);
        QTest::newRow("today after a gap") << QList<int>{0, -2} << qint64(1);
        QTest::newRow("two days ago only") << QList<int>{-2} << qint64(0);
    }

    void streak()
    {
        QFETCH(QList<int>, days);
        QFETCH(qint64, expected);
        const QDate today(2026, 3, 1); // across a month end
        QSet<QDate> with;
        for (int d : days)
            with.insert(today.addDays(d));
        QCOMPARE(F::streak(today, [&](QDate day) { return with.contains(day) ? qint64(10) : qint64(0); }), expected);
    }

    void fixCount_data()
    {
        QTest::addColumn<QList<int>>("fixes"); // fixes per record
        QTest::addColumn<qint64>("expected");
        QTest::addColumn<QString>("label");
        QTest::newRow("none") << QList<int>{} << qint64(0) << u"faute corrigée"_s;
        QTest::newRow("a record without fixes") << QList<int>{0} << qint64(1) << u"faute corrigée"_s;
        QTest::newRow("five and two translations") << QList<int>{5, 0, 0} << qint64(7) << u"fautes corrigées"_s;
        QTest::newRow("two single fixes") << QList<int>{1, 1} << qint64(2) << u"fautes corrigées"_s;
    }

    void fixCount()
    {
        QFETCH(QList<int>, fixes);
        QFETCH(qint64, expected);
        QFETCH(QString, label);
        QList<CorrectionRecord> records;
        for (int n : fixes) {
            CorrectionRecord r;
            r.fixes.resize(n);
            records.append(r);
        }
        QCOMPARE(F::fixCount(records), expected);
        QCOMPARE(F::fixesLabel(expected), label);
    }

    void streakLabel_data()
    {
        QTest::addColumn<qint64>("streak");
        QTest::addColumn<QString>("label");
        QTest::newRow("0") << qint64(0) << u"jour de suite"_s;
        QTest::newRow("1") << qint64(1) << u"jour de suite"_s;
        QTest::newRow("2") << qint64(2) << u"jours de suite"_s;
    }

    void streakLabel()
    {
        QFETCH(qint64, streak);
        QFETCH(QString, label);
        QCOMPARE(F::streakLabel(streak), label);
    }

    void spentText_data()
    {
        QTest::addColumn<double>("dollars");
        QTest::addColumn<QString>("text");
        QTest::newRow("nothing") << 0.0 << u"0,00 $"_s;
        QTest::newRow("rounded up") << 3.456 << u"3,46 $"_s;
        QTest::newRow("sum of two") << (1.2 + 2.256) << u"3,46 $"_s;
        QTest::newRow("one decimal") << 3.5 << u"3,50 $"_s;
        QTest::newRow("no grouping") << 1234.5 << u"1234,50 $"_s;
    }

    void spentText()
    {
        QFETCH(double, dollars);
        QFETCH(QString, text);
        QCOMPARE(F::spentText(dollars), text);
    }

    void savedText_data()
    {
        QTest::addColumn<double>("minutes");
        QTest::addColumn<QString>("text");
        QTest::newRow("zero") << 0.0 << u"0 h 00 min"_s;
        QTest::newRow("65") << 65.0 << u"1 h 05 min"_s;
        QTest::newRow("1500 never days") << 1500.0 << u"25 h 00 min"_s;
        QTest::newRow("half rounds up") << 0.5 << u"0 h 01 min"_s;
        QTest::newRow("62.33") << (3000.0 / 40 - 760.0 / 60) << u"1 h 02 min"_s;
        QTest::newRow("59.6 carries into the hour") << 59.6 << u"1 h 00 min"_s;
    }

    void savedText()
    {
        QFETCH(double, minutes);
        QFETCH(QString, text);
        QCOMPARE(F::savedText(minutes), text);
    }

    void deltaText_data()
    {
        QTest::addColumn<qint64>("yesterday");
        QTest::addColumn<qint64>("today");
        QTest::addColumn<QString>("text"); // empty: no line
        QTest::newRow("yesterday empty") << qint64(0) << qint64(100) << QString();
        QTest::newRow("+25") << qint64(200) << qint64(250) << u"+25 % par rapport à hier"_s;
        QTest::newRow("-100") << qint64(200) << qint64(0) << u"-100 % par rapport à hier"_s;
        QTest::newRow("equal") << qint64(5) << qint64(5) << u"+0 % par rapport à hier"_s;
        QTest::newRow("half up") << qint64(8) << qint64(9) << u"+13 % par rapport à hier"_s;
        QTest::newRow("half down") << qint64(8) << qint64(7) << u"-13 % par rapport à hier"_s;
        QTest::newRow("a third") << qint64(3) << qint64(4) << u"+33 % par rapport à hier"_s;
        QTest::newRow("no grouping") << qint64(1) << qint64(150) << u"+14900 % par rapport à hier"_s;
    }

    void deltaText()
    {
        QFETCH(qint64, yesterday);
        QFETCH(qint64, today);
        QFETCH(QString, text);
        QCOMPARE(F::deltaText(yesterday, today).value_or(QString()), text);
        QCOMPARE(F::deltaText(yesterday, today).has_value(), !text.isEmpty());
    }

    void dates_data()
    {
        QTest::addColumn<QDate>("day");
        QTest::addColumn<QString>("header");
        QTest::addColumn<QString>("axis");
        QTest::newRow("december") << QDate(2026, 12, 8) << u"mardi 8 décembre"_s << u"8 déc."_s;
        QTest::newRow("march") << QDate(2025, 3, 1) << u"samedi 1 mars"_s << u"1 mars"_s;
    }

    void dates()
    {
        QFETCH(QDate, day);
        QFETCH(QString, header);
        QFETCH(QString, axis);
        QCOMPARE(F::headerDate(day), header);
        QCOMPARE(F::axisLabel(day), axis);
    }

    void shareText_data()
    {
        QTest::addColumn<double>("share");
        QTest::addColumn<QString>("text");
        QTest::newRow("an eighth") << 0.125 << u"13 %"_s;
        QTest::newRow("all") << 1.0 << u"100 %"_s;
        QTest::newRow("two thirds") << 2000.0 / 3000 << u"67 %"_s;
        QTest::newRow("a twelfth") << 250.0 / 3000 << u"8 %"_s;
    }

    void shareText()
    {
        QFETCH(double, share);
        QFETCH(QString, text);
        QCOMPARE(F::shareText(share), text);
    }

    // Hour and minute only, in the locale's own way.
    void timeText_data()
    {
        QTest::addColumn<QLocale>("locale");
        QTest::addColumn<QTime>("time");
        QTest::addColumn<QString>("expected");
        QTest::newRow("French") << QLocale(QLocale::French, QLocale::France) << QTime(14, 5, 59) << "14:05";
        QTest::newRow("French morning") << QLocale(QLocale::French, QLocale::France) << QTime(9, 5) << "09:05";
        QTest::newRow("C keeps no seconds") << QLocale::c() << QTime(14, 5, 59) << "14:05";
        QTest::newRow("American") << QLocale(QLocale::English, QLocale::UnitedStates) << QTime(14, 5, 30) << "2:05 PM";
        QTest::newRow("German") << QLocale(QLocale::German, QLocale::Germany) << QTime(0, 0, 1) << "00:00";
        QTest::newRow("Canadian French, quoted h") << QLocale(QLocale::French, QLocale::Canada) << QTime(14, 5, 59) << "14 h 05";
    }
    void timeText()
    {
        QFETCH(QLocale, locale);
        QFETCH(QTime, time);
        QFETCH(QString, expected);
        const QTimeZone zone("Europe/Paris");
        const QDateTime date = QDateTime(QDate(2026, 3, 1), time, zone).toUTC();
        QString shown = DashboardFigures::timeText(date, zone, locale);
        // CLDR versions differ on the space before the AM/PM mark.
        shown.replace(QChar(0x202F), QLatin1Char(' ')).replace(QChar(0xA0), QLatin1Char(' '));
        QCOMPARE(shown, expected);
    }

    void niceTicks_data()
    {
        QTest::addColumn<qint64>("max");
        QTest::addColumn<QList<qint64>>("ticks");
        QTest::newRow("empty chart") << qint64(0) << QList<qint64>{0, 1};
        QTest::newRow("small") << qint64(3) << QList<qint64>{0, 1, 2, 3};
        QTest::newRow("seven") << qint64(7) << QList<qint64>{0, 2, 4, 6, 8};
        QTest::newRow("1250") << qint64(1250) << QList<qint64>{0, 500, 1000, 1500};
        QTest::newRow("exact top") << qint64(1000) << QList<qint64>{0, 500, 1000};
        QTest::newRow("large") << qint64(98765) << QList<qint64>{0, 50000, 100000};
    }

    void niceTicks()
    {
        QFETCH(qint64, max);
        QFETCH(QList<qint64>, ticks);
        QCOMPARE(F::niceTicks(max), ticks);
    }

    void appShares_data()
    {
        QTest::addColumn<QStringList>("apps");   // "name/bundle" per dictation, newest first
        QTest::addColumn<QList<qint64>>("words");
        QTest::addColumn<QStringList>("expected"); // "name/bundle share%"
        QTest::newRow("largest first") << QStringList{u"Kate/"_s, u"Zoom/z"_s, u"Zoom/z"_s}
                                       << QList<qint64>{1, 2, 1} << QStringList{u"Zoom/z 75 %"_s, u"Kate/ 25 %"_s};
        QTest::newRow("bundle id: the newest one given")
            << QStringList{u"Zoom/"_s, u"Zoom/new"_s, u"Zoom/old"_s} << QList<qint64>{1, 1, 1}
            << QStringList{u"Zoom/new 100 %"_s};
        QTest::newRow("equal shares in history order")
            << QStringList{u"b/"_s, u"a/"_s} << QList<qint64>{4, 4} << QStringList{u"b/ 50 %"_s, u"a/ 50 %"_s};
        QTest::newRow("no words, no shares") << QStringList{u"Kate/"_s} << QList<qint64>{0} << QStringList{};
    }

    void appShares()
    {
        QFETCH(QStringList, apps);
        QFETCH(QList<qint64>, words);
        QFETCH(QStringList, expected);
        QList<Dictation> history;
        qint64 total = 0;
        for (qsizetype i = 0; i < apps.size(); ++i) {
            Dictation d;
            d.appName = apps.at(i).section(u'/', 0, 0);
            const QString bundle = apps.at(i).section(u'/', 1);
            if (!bundle.isEmpty())
                d.bundleID = bundle;
            history.append(d);
            total += words.at(i);
        }
        QStringList got;
        for (const F::Share &s : F::appShares(history, words, total))
            got << s.name + u"/"_s + s.bundleID + u" "_s + F::shareText(s.share);
        QCOMPARE(got, expected);
    }

    void dayTitle_data()
    {
        QTest::addColumn<QDate>("day");
        QTest::addColumn<QDate>("today");
        QTest::addColumn<QString>("title");
        QTest::newRow("today") << QDate(2025, 3, 3) << QDate(2025, 3, 3) << u"Aujourd'hui"_s;
        QTest::newRow("yesterday across a month") << QDate(2025, 2, 28) << QDate(2025, 3, 1) << u"Hier"_s;
        QTest::newRow("older, capitalised") << QDate(2025, 3, 1) << QDate(2025, 3, 10) << u"Samedi 1 Mars 2025"_s;
        QTest::newRow("monday") << QDate(2025, 3, 3) << QDate(2025, 3, 10) << u"Lundi 3 Mars 2025"_s;
        QTest::newRow("accented month") << QDate(2024, 12, 25) << QDate(2025, 3, 10) << u"Mercredi 25 Décembre 2024"_s;
        QTest::newRow("a future day") << QDate(2025, 3, 11) << QDate(2025, 3, 10) << u"Mardi 11 Mars 2025"_s;
    }

    void dayTitle()
    {
        QFETCH(QDate, day);
        QFETCH(QDate, today);
        QFETCH(QString, title);
        QCOMPARE(HistoryFilter::dayTitle(day, today), title);
    }

    void search_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("search");
        QTest::addColumn<bool>("found");
        QTest::newRow("capitals find lower case") << u"Un été chaud"_s << u"ÉTÉ"_s << true;
        QTest::newRow("accents are not ignored") << u"Un été chaud"_s << u"ete"_s << false;
        QTest::newRow("decomposed accents") << u"Un e\u0301te\u0301"_s << u"été"_s << true;
        QTest::newRow("empty finds all") << u"abc"_s << QString() << true;
        QTest::newRow("a blank is a search") << u"abc"_s << u" "_s << false;
        QTest::newRow("a blank finds blanks") << u"a b"_s << u" "_s << true;
        QTest::newRow("sharp s folds") << u"Straße"_s << u"STRASSE"_s << true;
    }

    void search()
    {
        QFETCH(QString, text);
        QFETCH(QString, search);
        QFETCH(bool, found);
        QCOMPARE(HistoryFilter::matches(HistoryFilter::searchKey(text), HistoryFilter::searchKey(search)), found);
    }

    // The quick fold agrees with the general one on every character it takes on itself.
    void quickFoldAgrees_data()
    {
        QTest::addColumn<int>("first");
        QTest::addColumn<int>("last");
        QTest::newRow("latin") << 0 << 0x24F;
        QTest::newRow("punctuation") << 0x2000 << 0x206F;
        QTest::newRow("currency") << 0x20A0 << 0x20CF;
    }

    void quickFoldAgrees()
    {
        QFETCH(int, first);
        QFETCH(int, last);
        int direct = 0;
        for (int c = first; c <= last; ++c) {
            if (!HistoryFilter::foldsDirectly(char16_t(c)))
                continue;
            ++direct;
            const QString text = u"Aé"_s + QChar(c) + u"z"_s;
            QCOMPARE(HistoryFilter::searchKey(text), HistoryFilter::fullSearchKey(text));
        }
        QVERIFY(direct > (last - first) / 2);
    }

    void range_data()
    {
        QTest::addColumn<QDateTime>("date");
        QTest::addColumn<Range>("range");
        QTest::addColumn<bool>("kept");
        const QDateTime now = paris(QDate(2025, 3, 10), QTime(10, 0));
        QTest::newRow("today keeps this morning") << paris(QDate(2025, 3, 10), QTime(0, 0)) << Range::Today << true;
        QTest::newRow("today drops yesterday 23:59") << paris(QDate(2025, 3, 9), QTime(23, 59)) << Range::Today
                                                     << false;
        QTest::newRow("week keeps exactly seven days") << now.addDays(-7) << Range::Week << true;
        QTest::newRow("week drops a second older") << now.addDays(-7).addSecs(-1) << Range::Week << false;
        QTest::newRow("all keeps old days") << paris(QDate(2001, 1, 1), QTime(0, 0)) << Range::All << true;
    }

    void range()
    {
        QFETCH(QDateTime, date);
        QFETCH(Range, range);
        QFETCH(bool, kept);
        const QDateTime now = paris(QDate(2025, 3, 10), QTime(10, 0));
        QCOMPARE(HistoryFilter::inRange(date.toUTC(), range, now.toUTC(), QTimeZone("Europe/Paris")), kept);
    }

    // Seven calendar days across the change to summer time are 7 × 24 h − 1 h.
    void weekAcrossSummerTime()
    {
        const QTimeZone zone("Europe/Paris");
        const QDateTime now = paris(QDate(2025, 4, 2), QTime(12, 0));
        const QDateTime sameClockTime = paris(QDate(2025, 3, 26), QTime(12, 0));
        QVERIFY(HistoryFilter::inRange(sameClockTime.toUTC(), Range::Week, now.toUTC(), zone));
        QVERIFY(!HistoryFilter::inRange(sameClockTime.addSecs(-1).toUTC(), Range::Week, now.toUTC(), zone));
        QCOMPARE(sameClockTime.secsTo(now), 7 * 86400 - 3600);
    }
};

OMBRY_TEST_MAIN(TestDashboardFigures)
#include "tst_dashboardfigures.moc"
