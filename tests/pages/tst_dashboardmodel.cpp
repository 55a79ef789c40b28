#include "PageSeed.h"
#include "model/AppSettings.h"
#include "model/Defaults.h"
#include "pages/DashboardModel.h"
#include "support/TestEnv.h"

#include <QSignalSpy>
#include <QTemporaryDir>

using namespace Qt::StringLiterals;
using namespace PageSeed;

namespace {

const QString kGroup = QString(QChar(0x202F));
const QDate kToday(2026, 12, 8);

// The acceptance history: five dictations, three correction records, three costs.
void seed(Store &store)
{
    QList<Dictation> list;
    list << dictation(at(kToday, QTime(14, 5)), u"Firefox"_s, words(1000), 300)
         << dictation(at(kToday, QTime(9, 30)), u"Zoom"_s, words(250), 60)
         << dictation(at(kToday.addDays(-1), QTime(23, 59)), u"Firefox"_s, words(1000), 240)
         << dictation(at(kToday.addDays(-2), QTime(8, 0)), u"Zoom"_s, words(500), 100)
         << dictation(at(kToday.addDays(-4), QTime(8, 0)), u"Terminal"_s, words(250), 60);
    store.setDictations(list);
    store.setFixes({record(at(kToday, QTime(10, 0)), u"Firefox"_s, u"texte"_s, 5),
                    record(at(kToday, QTime(9, 0)), u"Firefox"_s, u"text"_s, 0, u"Traduire en anglais"_s),
                    record(at(kToday, QTime(8, 0)), u"Firefox"_s, u"plus court"_s, 0, u"Concis"_s)});
    store.setCosts({CostEntry{at(QDate(2026, 12, 1), QTime(0, 30)), 1.2},
                    CostEntry{at(kToday, QTime(8, 0)), 2.256},
                    // the last evening of November in Paris is already December in UTC+0
                    CostEntry{at(QDate(2026, 11, 30), QTime(23, 30)), 10}});
}

} // namespace

class TestDashboardModel : public QObject
{
    Q_OBJECT

    QTemporaryDir dir_;
    std::unique_ptr<AppSettings> settings_;

    std::unique_ptr<DashboardModel> model(Store &store)
    {
        auto m = std::make_unique<DashboardModel>(&store, settings_.get());
        m->setTimeZone(zone());
        m->setNow(at(kToday, QTime(15, 0)));
        return m;
    }

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY(dir_.isValid());
        settings_ = std::make_unique<AppSettings>(Defaults::standard());
        settings_->setTypingWPM(40);
    }

    void figures_data()
    {
        QTest::addColumn<bool>("seeded");
        QTest::addColumn<QByteArray>("property");
        QTest::addColumn<QVariant>("expected");
        auto row = [](bool seeded, const char *property, const QVariant &value) {
            QTest::addRow("%s %s", seeded ? "seeded" : "empty", property) << seeded << QByteArray(property) << value;
        };
        row(false, "headerDate", u"mardi 8 décembre"_s);
        row(false, "todayWordsText", u"0 mot"_s);
        row(false, "streakValue", u"0"_s);
        row(false, "streakLabel", u"jour de suite"_s);
        row(false, "fixesValue", u"0"_s);
        row(false, "fixesLabel", u"faute corrigée"_s);
        row(false, "spentText", u"0,00 $"_s);
        row(false, "totalWordsText", u"0"_s);
        row(false, "dictationsText", u"0 dictées"_s);
        row(false, "deltaText", QString());
        row(false, "speedText", u"0"_s);
        row(false, "savedText", u"0 h 00 min"_s);
        row(true, "todayWordsText", QString(u"1"_s + kGroup + u"250 mots"_s));
        row(true, "streakValue", u"3"_s);
        row(true, "streakLabel", u"jours de suite"_s);
        row(true, "fixesValue", u"7"_s);
        row(true, "fixesLabel", u"fautes corrigées"_s);
        row(true, "spentText", u"3,46 $"_s);
        row(true, "totalWordsText", QString(u"3"_s + kGroup + u"000"_s));
        row(true, "dictationsText", u"5 dictées"_s);
        row(true, "todayText", QString(u"1"_s + kGroup + u"250"_s));
        row(true, "deltaText", u"+25 % par rapport à hier"_s);
        row(true, "speedText", u"237"_s);
        row(true, "savedText", u"1 h 02 min"_s);
        row(true, "chartTop", 1500.0);
    }

    void figures()
    {
        QFETCH(bool, seeded);
        QFETCH(QByteArray, property);
        QFETCH(QVariant, expected);
        QTemporaryDir dir;
        Store store(dir.path());
        if (seeded)
            seed(store);
        const auto m = model(store);
        QCOMPARE(m->property(property.constData()), expected);
    }

    void lists_data()
    {
        QTest::addColumn<bool>("seeded");
        QTest::addColumn<QString>("list");
        QTest::addColumn<QStringList>("expected");
        QTest::newRow("empty apps") << false << u"apps"_s << QStringList{};
        QTest::newRow("empty recent") << false << u"recent"_s << QStringList{};
        QTest::newRow("empty chart has fourteen days")
            << false << u"chart"_s
            << QStringList{u"25 nov.:0:1"_s, u"26 nov.:0:0"_s, u"27 nov.:0:1"_s, u"28 nov.:0:0"_s, u"29 nov.:0:1"_s,
                           u"30 nov.:0:0"_s, u"1 déc.:0:1"_s,  u"2 déc.:0:0"_s,  u"3 déc.:0:1"_s,  u"4 déc.:0:0"_s,
                           u"5 déc.:0:1"_s,  u"6 déc.:0:0"_s,  u"7 déc.:0:1"_s,  u"8 déc.:0:0"_s};
        QTest::newRow("seeded apps") << true << u"apps"_s
                                     << QStringList{u"Firefox:67 %"_s, u"Zoom:25 %"_s, u"Terminal:8 %"_s};
        QTest::newRow("seeded recent") << true << u"recent"_s
                                       << QStringList{u"14:05:Firefox:1000 mots"_s, u"09:30:Zoom:250 mots"_s,
                                                      u"23:59:Firefox:1000 mots"_s, u"08:00:Zoom:500 mots"_s};
        QTest::newRow("seeded chart tail") << true << u"chart"_s
                                           << QStringList{u"30 nov.:0:0"_s,   u"1 déc.:0:1"_s,  u"2 déc.:0:0"_s,
                                                          u"3 déc.:0:1"_s,    u"4 déc.:250:0"_s, u"5 déc.:0:1"_s,
                                                          u"6 déc.:500:0"_s,  u"7 déc.:1000:1"_s,
                                                          u"8 déc.:1250:0"_s};
    }

    void lists()
    {
        QFETCH(bool, seeded);
        QFETCH(QString, list);
        QFETCH(QStringList, expected);
        QTemporaryDir dir;
        Store store(dir.path());
        if (seeded)
            seed(store);
        const auto m = model(store);
        QStringList got;
        for (const QVariant &v : m->property(list.toUtf8().constData()).toList()) {
            const QVariantMap e = v.toMap();
            if (list == u"apps"_s)
                got << e.value(u"name"_s).toString() + u":"_s + e.value(u"percent"_s).toString();
            else if (list == u"recent"_s)
                got << e.value(u"time"_s).toString() + u":"_s + e.value(u"appName"_s).toString() + u":"_s
                           + e.value(u"words"_s).toString();
            else
                got << e.value(u"label"_s).toString() + u":"_s + e.value(u"words"_s).toString() + u":"_s
                           + QString::number(e.value(u"showLabel"_s).toBool());
        }
        if (list == u"chart"_s && seeded) {
            QCOMPARE(got.size(), 14);
            got = got.mid(14 - expected.size());
        }
        QCOMPARE(got, expected);
    }

    // At most six applications and four recent rows, whatever the history holds; only
    // the last row shown goes without a divider.
    void caps_data()
    {
        QTest::addColumn<int>("dictations");
        QTest::addColumn<QStringList>("apps");
        QTest::addColumn<QStringList>("recent"); // "words:last"
        QTest::addColumn<QString>("count");
        QTest::newRow("one") << 1 << QStringList{u"A:100 %"_s} << QStringList{u"1 mot:1"_s} << u"1 dictées"_s;
        QTest::newRow("seven applications")
            << 7 << QStringList{u"G:25 %"_s, u"F:21 %"_s, u"E:18 %"_s, u"D:14 %"_s, u"C:11 %"_s, u"B:7 %"_s}
            << QStringList{u"7 mots:0"_s, u"6 mots:0"_s, u"5 mots:0"_s, u"4 mots:1"_s} << u"7 dictées"_s;
        // A kept recording without text, newest: no blank row, and the rows
        // agree with the count.
        QTest::newRow("a kept recording") << 0 << QStringList{} << QStringList{} << u"0 dictées"_s;
        QTest::newRow("a kept recording before two") << 2 << QStringList{u"B:67 %"_s, u"A:33 %"_s}
                                                     << QStringList{u"2 mots:0"_s, u"1 mot:1"_s} << u"2 dictées"_s;
    }

    void caps()
    {
        QFETCH(int, dictations);
        QFETCH(QStringList, apps);
        QFETCH(QStringList, recent);
        QFETCH(QString, count);
        QTemporaryDir dir;
        Store store(dir.path());
        QList<Dictation> list;
        if (QByteArray(QTest::currentDataTag()).startsWith("a kept"))
            list << dictation(at(kToday, QTime(9, 0)), u"Kate"_s, QString());
        // Application "A" dictates 1 word, "B" 2 words… the newest first.
        for (int i = dictations; i >= 1; --i)
            list << dictation(at(kToday, QTime(8, i)), QString(QChar(u'A' + i - 1)), words(i));
        store.setDictations(list);
        const auto m = model(store);
        QStringList gotApps, gotRecent;
        for (const QVariant &v : m->apps())
            gotApps << v.toMap().value(u"name"_s).toString() + u":"_s + v.toMap().value(u"percent"_s).toString();
        for (const QVariant &v : m->recent())
            gotRecent << v.toMap().value(u"words"_s).toString() + u":"_s
                             + QString::number(v.toMap().value(u"last"_s).toBool());
        QCOMPARE(gotApps, apps);
        QCOMPARE(gotRecent, recent);
        QCOMPARE(m->property("dictationsText").toString(), count);
    }

    // A new dictation, record, cost or typing speed shows at once.
    void follows_data()
    {
        QTest::addColumn<QString>("change");
        QTest::addColumn<QByteArray>("property");
        QTest::addColumn<QString>("expected");
        QTest::newRow("dictation") << u"dictation"_s << QByteArray("todayWordsText") << u"102 mots"_s;
        QTest::newRow("dictation count") << u"dictation"_s << QByteArray("dictationsText") << u"2 dictées"_s;
        QTest::newRow("record") << u"record"_s << QByteArray("fixesValue") << u"3"_s;
        QTest::newRow("cost") << u"cost"_s << QByteArray("spentText") << u"0,25 $"_s;
        QTest::newRow("typing speed") << u"speed"_s << QByteArray("savedText") << u"0 h 00 min"_s;
    }

    void follows()
    {
        QFETCH(QString, change);
        QFETCH(QByteArray, property);
        QFETCH(QString, expected);
        QTemporaryDir dir;
        Store store(dir.path());
        AppSettings settings(Defaults::standard());
        DashboardModel m(&store, &settings);
        m.setTimeZone(zone());
        m.setNow(QDateTime::currentDateTimeUtc());
        store.add(dictation(QDateTime::currentDateTimeUtc(), u"Kate"_s, words(100), 60));
        QCOMPARE(m.savedText(), u"0 h 02 min"_s);
        QSignalSpy changed(&m, &DashboardModel::changed);
        if (change == u"dictation"_s)
            store.add(dictation(QDateTime::currentDateTimeUtc(), u"Kate"_s, u"deux mots"_s, 1));
        else if (change == u"record"_s)
            store.addFix(record(QDateTime::currentDateTimeUtc(), u"Kate"_s, u"x"_s, 3));
        else if (change == u"cost"_s)
            store.addCost(0.25);
        else
            settings.setTypingWPM(0);
        QVERIFY(changed.count() >= 1);
        QCOMPARE(m.property(property.constData()).toString(), expected);
    }
};

OMBRY_PAGES_TEST_MAIN(TestDashboardModel, QCoreApplication)
#include "tst_dashboardmodel.moc"
