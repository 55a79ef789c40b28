#include "calls/CallTranslator.h"
#include "calls/CallsSource.h"
#include "calls/MeetingsSource.h"
#include "model/Store.h"
#include "support/TestEnv.h"

#include <QAbstractItemModelTester>
#include <QSignalSpy>
#include <QtTest>

namespace {

QStringList column(const QAbstractItemModel *model, const QByteArray &role)
{
    const int r = model->roleNames().key(role, -1);
    QStringList out;
    for (int row = 0; row < model->rowCount(); ++row)
        out << model->index(row, 0).data(r).toString();
    return out;
}

Meeting meeting(const QString &title)
{
    Meeting m;
    m.date = QDateTime::currentDateTime();
    m.duration = 60;
    m.title = title;
    m.transcript = title;
    return m;
}

} // namespace

// The lists that the calls tab and the meetings page hand to their views.
class TestPageSources : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init() { TestEnv::isolate(); }

    void callLines_data()
    {
        QTest::addColumn<int>("lines");
        QTest::addColumn<int>("shown");
        QTest::addColumn<QString>("top");
        QTest::addColumn<QString>("bottom");
        QTest::newRow("none") << 0 << 0 << QString() << QString();
        QTest::newRow("one") << 1 << 1 << "line 1" << "line 1";
        QTest::newRow("forty") << 40 << 40 << "line 40" << "line 1";
        QTest::newRow("forty-five: the newest forty") << 45 << 40 << "line 45" << "line 6";
    }

    void callLines()
    {
        QFETCH(int, lines);
        QFETCH(int, shown);
        QFETCH(QString, top);
        QFETCH(QString, bottom);
        CallLinesModel source;
        CallsSource calls(CallAppsModel::Sources{}, &source);
        auto *model = qobject_cast<QAbstractItemModel *>(calls.property("lines").value<QObject *>());
        QVERIFY(model);
        QAbstractItemModelTester tester(model, QAbstractItemModelTester::FailureReportingMode::QtTest);
        QSignalSpy counted(&calls, &CallsSource::lineCountChanged);
        for (int i = 1; i <= lines; ++i)
            source.append({i, QStringLiteral("line %1").arg(i), QString(), false});
        QCOMPARE(calls.lineCount(), shown);
        QCOMPARE(calls.property("lineCount").toInt(), shown);
        QCOMPARE(counted.isEmpty(), lines == 0);
        const QStringList en = column(model, "en");
        QCOMPARE(en.value(0), top);
        QCOMPARE(en.isEmpty() ? QString() : en.last(), bottom);
        // A translation that arrives shows in the row of its line.
        if (lines > 0) {
            source.update(lines - 1, {lines, QStringLiteral("line %1").arg(lines), QStringLiteral("ligne"), true});
            QCOMPARE(column(model, "fr").value(0), QStringLiteral("ligne"));
        }
        // A new run clears the lines: the view hears of it.
        counted.clear();
        source.clear();
        QCOMPARE(calls.lineCount(), 0);
        QCOMPARE(counted.isEmpty(), lines == 0);
    }

    void appsFollowTheView()
    {
        int reads = 0;
        CallAppsModel::Sources s;
        s.running = [&reads] {
            ++reads;
            return QList<RunningApp>();
        };
        s.installed = [](QString) { return std::optional<FrontmostApp::DesktopEntry>(); };
        CallLinesModel source;
        CallsSource calls(s, &source);
        auto *apps = qobject_cast<QAbstractItemModel *>(calls.property("apps").value<QObject *>());
        QVERIFY(apps);
        QSignalSpy changed(&calls, &CallsSource::activeChanged);
        QVERIFY(!calls.property("active").toBool());
        QCOMPARE(reads, 0);
        QVERIFY(calls.setProperty("active", true));
        QCOMPARE(changed.size(), 1);
        QVERIFY(reads >= 1);
        // The whole computer, whatever runs.
        QCOMPARE(column(apps, "name"), QStringList{QStringLiteral("Tout l'ordinateur")});
        QVERIFY(calls.setProperty("active", false));
        QCOMPARE(changed.size(), 2);
        QVERIFY(!calls.active());
    }

    void meetingsCount_data()
    {
        QTest::addColumn<QStringList>("titles");
        QTest::addColumn<int>("removed");
        QTest::newRow("none") << QStringList{} << 0;
        QTest::newRow("two, one deleted") << QStringList{"A", "B"} << 1;
        QTest::newRow("the last one deleted") << QStringList{"A"} << 1;
    }

    void meetingsCount()
    {
        QFETCH(QStringList, titles);
        QFETCH(int, removed);
        QTemporaryDir folder;
        Store store(folder.path());
        MeetingsSource source(&store);
        auto *model = qobject_cast<QAbstractItemModel *>(source.meetings());
        QVERIFY(model);
        QSignalSpy counted(&source, &MeetingsSource::countChanged);
        QList<QUuid> ids;
        for (const QString &title : titles) {
            const Meeting m = meeting(title);
            ids << m.id;
            store.addMeeting(m);
        }
        QCOMPARE(source.count(), int(titles.size()));
        QCOMPARE(counted.size(), int(titles.size()));
        // Newest first.
        QStringList newestFirst = titles;
        std::reverse(newestFirst.begin(), newestFirst.end());
        QCOMPARE(column(model, "title"), newestFirst);
        for (int i = 0; i < removed; ++i)
            QVERIFY(store.removeMeeting(ids.at(i)));
        QCOMPARE(source.property("count").toInt(), int(titles.size()) - removed);
    }
};

OMBRY_TEST_MAIN(TestPageSources)
#include "tst_pagesources.moc"
