#include "model/Store.h"
#include "model/TextUtil.h"
#include "support/TestEnv.h"

#include <QSignalSpy>
#include <QTemporaryDir>

#include <ctime>

namespace {

// Before any date is used: a zone with daylight saving, whatever the machine's.
const bool kZoneSet = [] {
    qputenv("TZ", "Europe/Paris");
    tzset();
    return true;
}();

QString words(int n)
{
    QStringList list;
    for (int i = 0; i < n; ++i)
        list << QStringLiteral("mot");
    return list.join(QLatin1Char(' '));
}

Dictation dictation(int n, const QDateTime &date, const QString &app = QStringLiteral("Notes"), double duration = 10,
                    std::optional<QString> bundle = std::nullopt)
{
    Dictation d;
    d.date = date;
    d.appName = app;
    d.bundleID = bundle;
    d.finalText = words(n);
    d.rawText = words(n + 7); // never counted
    d.duration = duration;
    return d;
}

QDateTime local(QDate day, int hour, int minute)
{
    return QDateTime(day, QTime(hour, minute), Qt::LocalTime);
}

// The most recent day before today whose local length is not 24 hours.
QDate lastClockChange()
{
    for (QDate day = QDate::currentDate().addDays(-1);; day = day.addDays(-1))
        if (day.startOfDay().secsTo(day.addDays(1).startOfDay()) != 86400)
            return day;
}

} // namespace

class TestStoreStats : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY(kZoneSet);
        // The zone really has a clock change (the machine has its rules).
        QVERIFY(QDateTime(QDate(2026, 1, 15), QTime(12, 0)).offsetFromUtc()
                != QDateTime(QDate(2026, 7, 15), QTime(12, 0)).offsetFromUtc());
    }

    void emptyStore()
    {
        QTemporaryDir tmp;
        Store store(tmp.path());
        QCOMPARE(store.averageWPM(), qint64(0));
        QCOMPARE(store.minutesSaved(40), 0.0);
        QVERIFY(store.appShares().isEmpty());
        QCOMPARE(store.spentThisMonth(), 0.0);
        QCOMPARE(store.wordsOn(QDate::currentDate()), qint64(0));
        QVERIFY(store.lastDays(0).isEmpty());
    }

    void totalsSpeedAndTimeSaved()
    {
        QTemporaryDir tmp;
        Store store(tmp.path());
        QSignalSpy totals(&store, &Store::totalWordsChanged);
        const QDateTime now = QDateTime::currentDateTime();
        store.add(dictation(100, now, QStringLiteral("Notes"), 50));
        store.add(dictation(200, now, QStringLiteral("Notes"), 70));
        QCOMPARE(totals.count(), 2);
        QCOMPARE(store.totalWords(), qint64(300));
        QCOMPARE(store.totalDuration(), 120.0);
        QCOMPARE(store.averageWPM(), qint64(150));
        QCOMPARE(store.minutesSaved(40), 5.5);
        QCOMPARE(store.minutesSaved(0), 0.0);
        QCOMPARE(store.minutesSaved(1000), 0.0); // slower than typing: never negative
        QCOMPARE(store.wordsOn(QDate::currentDate()), qint64(300));

        // Reassigning the same history changes no total.
        store.setDictations(store.dictations());
        QCOMPARE(totals.count(), 2);
    }

    // A recording kept without its text is in the history but in no figure
    // until it is transcribed.
    void keptRecordingCountsOnceTranscribed_data()
    {
        QTest::addColumn<QString>("text"); // given to the kept entry; empty: still without text
        QTest::addColumn<qint64>("count");
        QTest::addColumn<double>("duration");
        QTest::addColumn<int>("shares");
        QTest::newRow("without text") << QString() << qint64(1) << 60.0 << 1;
        QTest::newRow("transcribed") << QStringLiteral("un deux trois") << qint64(2) << 90.0 << 2;
    }
    void keptRecordingCountsOnceTranscribed()
    {
        QFETCH(QString, text);
        QFETCH(qint64, count);
        QFETCH(double, duration);
        QFETCH(int, shares);
        QTemporaryDir tmp;
        Store store(tmp.path());
        const QDateTime now = QDateTime::currentDateTime();
        store.add(dictation(120, now, QStringLiteral("Notes"), 60));
        Dictation kept;
        kept.date = now;
        kept.appName = QStringLiteral("Terminal");
        kept.duration = 30;
        kept.audioFile = QStringLiteral("kept.wav");
        store.add(kept);
        QVERIFY(store.dictations().first().untranscribed());
        if (!text.isEmpty()) {
            kept.finalText = text;
            kept.rawText = text;
            QVERIFY(store.updateDictation(kept));
        }
        QCOMPARE(store.transcribedCount(), count);
        QCOMPARE(store.totalDuration(), duration);
        QCOMPARE(store.totalWords(), qint64(120 + TextUtil::wordCount(text)));
        QCOMPARE(store.averageWPM(), qint64(std::llround(double(store.totalWords()) / (duration / 60))));
        QCOMPARE(store.appShares().size(), shares);
    }

    void daysFollowTheLocalCalendarAcrossAClockChange()
    {
        const QDate change = lastClockChange();
        const QDate before = change.addDays(-1);
        QTemporaryDir tmp;
        Store store(tmp.path());
        store.setDictations({
            dictation(3, local(change, 23, 30)),
            dictation(2, local(change, 0, 30)),
            dictation(5, local(before, 23, 30)),
            dictation(7, local(before, 0, 10)),
        });
        QCOMPARE(store.wordsOn(before), qint64(12));
        QCOMPARE(store.wordsOn(change), qint64(5));
        QCOMPARE(store.wordsOn(change.addDays(1)), qint64(0));

        const qint64 n = before.daysTo(QDate::currentDate()) + 1;
        const QList<DayWords> days = store.lastDays(n);
        QCOMPARE(days.size(), qsizetype(n));
        QCOMPARE(days.first().day, before);
        QCOMPARE(days.first().words, qint64(12));
        QCOMPARE(days.at(1).day, change);
        QCOMPARE(days.at(1).words, qint64(5));
        QCOMPARE(days.last().day, QDate::currentDate());
        for (qsizetype i = 1; i < days.size(); ++i)
            QCOMPARE(days.at(i - 1).day.addDays(1), days.at(i).day);

        // The same history read back from its file gives the same days.
        store.flush();
        Store again(tmp.path());
        QCOMPARE(again.lastDays(n), days);
    }

    void lastThreeDaysEndToday()
    {
        QTemporaryDir tmp;
        Store store(tmp.path());
        const QDate today = QDate::currentDate();
        store.setDictations({
            dictation(4, local(today, 0, 5)),
            dictation(6, local(today.addDays(-2), 12, 0)),
            dictation(9, local(today.addDays(-3), 12, 0)),
        });
        const QList<DayWords> days = store.lastDays(3);
        QCOMPARE(days, (QList<DayWords>{{today.addDays(-2), 6}, {today.addDays(-1), 0}, {today, 4}}));
    }

    void applicationShares()
    {
        QTemporaryDir tmp;
        Store store(tmp.path());
        const QDateTime now = QDateTime::currentDateTime();
        store.setDictations({
            dictation(10, now, QStringLiteral("Notes")),
            dictation(30, now.addSecs(-60), QStringLiteral("Notes"), 10, QStringLiteral("org.gnome.Notes")),
            dictation(0, now.addSecs(-120), QStringLiteral("Vide")),
            dictation(20, now.addSecs(-180), QStringLiteral("Firefox"), 10, QStringLiteral("firefox")),
            dictation(20, now.addSecs(-240), QStringLiteral("Notes"), 10, QStringLiteral("ancien.id")),
        });
        const QList<AppShare> shares = store.appShares();
        QCOMPARE(shares.size(), 3);
        QCOMPARE(shares.at(0).name, QStringLiteral("Notes"));
        QCOMPARE(shares.at(0).bundleID, std::optional<QString>(QStringLiteral("org.gnome.Notes")));
        QCOMPARE(shares.at(0).share, 60.0 / 80.0);
        QCOMPARE(shares.at(1).name, QStringLiteral("Firefox"));
        QCOMPARE(shares.at(1).share, 0.25);
        QCOMPARE(shares.at(2).name, QStringLiteral("Vide"));
        QCOMPARE(shares.at(2).share, 0.0);
        QCOMPARE(shares.at(2).bundleID, std::nullopt);

        store.setDictations({dictation(10, now, QStringLiteral("Notes")),
                             dictation(30, now.addSecs(-60), QStringLiteral("Notes"), 10, QStringLiteral("n.id"))});
        QCOMPARE(store.appShares().size(), 1);
        QCOMPARE(store.appShares().first().share, 1.0);
        QCOMPARE(store.appShares().first().bundleID, std::optional<QString>(QStringLiteral("n.id")));
    }

    void spendingOfTheLocalMonth()
    {
        QTemporaryDir tmp;
        Store store(tmp.path());
        const QDate first(QDate::currentDate().year(), QDate::currentDate().month(), 1);
        const QDate lastOfPrevious = first.addDays(-1);
        store.setCosts({
            {local(first.addYears(-1), 12, 0), 100},   // same month, last year
            {local(lastOfPrevious, 23, 30), 10},       // previous month, local time
            {local(first, 0, 30), 0.25},               // the day before in UTC, this month here
            {QDateTime::currentDateTimeUtc(), 0.5},
        });
        QCOMPARE(store.spentThisMonth(), 0.75);
        QSignalSpy changed(&store, &Store::costsChanged);
        store.addCost(1.25);
        QCOMPARE(changed.count(), 1);
        QCOMPARE(store.spentThisMonth(), 2.0);
        QCOMPARE(store.costs().last().amount, 1.25);
    }
};

OMBRY_TEST_MAIN(TestStoreStats)
#include "tst_store_stats.moc"
