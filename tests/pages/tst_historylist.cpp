#include "PageSeed.h"
#include "pages/HistoryListModel.h"
#include "pages/RecordingPlayer.h"
#include "support/TestEnv.h"

#include <QAbstractItemModelTester>
#include <QDir>
#include <QSignalSpy>
#include <QTemporaryDir>

using namespace Qt::StringLiterals;
using namespace PageSeed;

namespace {

const QDate kToday(2025, 3, 10);
const QDateTime kNow = at(kToday, QTime(15, 0));

// Dictations named by their text; "tie-a" and "tie-b" share one date (store order a, b).
void seed(Store &store)
{
    store.setDictations({
        dictation(at(kToday, QTime(14, 5)), u"Zoom"_s, u"un été chaud"_s, 3.5, u"euh un été chaud"_s),
        dictation(at(kToday, QTime(9, 0)), u"mail"_s, u"bonjour à tous"_s, 60),
        dictation(at(kToday.addDays(-1), QTime(23, 59)), u"Zoom"_s, u"tard hier soir"_s, 0),
        dictation(at(kToday.addDays(-7), QTime(15, 0)), u"mail"_s, u"tie-a"_s, 1),
        dictation(at(kToday.addDays(-7), QTime(15, 0)), u"Zoom"_s, u"tie-b"_s, 1),
        dictation(at(QDate(2025, 3, 1), QTime(10, 0)), u"mail"_s, u"au début de mars"_s, 1, u"brut Été"_s),
        // out of order in the file: still listed by date
        dictation(at(kToday, QTime(12, 0)), u"Kate"_s, u"midi"_s, 1),
    });
    store.setFixes({
        record(at(kToday, QTime(10, 0)), u"Kate"_s, u"corrigé"_s, 3),
        record(at(kToday.addDays(-1), QTime(10, 0)), u"Zoom"_s, u"translated"_s, 0, u"Traduire en anglais"_s,
               u"traduit l'été"_s),
        record(at(kToday.addDays(-9), QTime(10, 0)), u"Kate"_s, u"une faute"_s, 1),
    });
}

QStringList texts(const HistoryListModel &m)
{
    QStringList out;
    for (int i = 0; i < m.rowCount(); ++i)
        out << m.get(i, u"text"_s).toString();
    return out;
}

// The model's structural signals, in order.
QStringList *record(QAbstractItemModel &model)
{
    auto *log = new QStringList;
    QObject::connect(&model, &QObject::destroyed, [log] { delete log; });
    QObject::connect(&model, &QAbstractItemModel::rowsInserted, [log](const QModelIndex &, int a, int b) {
        log->append(u"inserted %1-%2"_s.arg(a).arg(b));
    });
    QObject::connect(&model, &QAbstractItemModel::rowsRemoved, [log](const QModelIndex &, int a, int b) {
        log->append(u"removed %1-%2"_s.arg(a).arg(b));
    });
    QObject::connect(&model, &QAbstractItemModel::modelReset, [log] { log->append(u"reset"_s); });
    QObject::connect(&model, &QAbstractItemModel::layoutChanged, [log] { log->append(u"layout"_s); });
    return log;
}

} // namespace

class TestHistoryList : public QObject
{
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> dir_;
    std::unique_ptr<Store> store_;
    std::unique_ptr<HistoryListModel> model_;
    std::unique_ptr<QAbstractItemModelTester> tester_;

private Q_SLOTS:
    void init()
    {
        dir_ = std::make_unique<QTemporaryDir>();
        store_ = std::make_unique<Store>(dir_->path());
        seed(*store_);
        model_ = std::make_unique<HistoryListModel>(store_.get(), nullptr, nullptr, nullptr);
        model_->setTimeZone(zone());
        model_->setNow(kNow);
        tester_ = std::make_unique<QAbstractItemModelTester>(model_.get(),
                                                             QAbstractItemModelTester::FailureReportingMode::QtTest);
    }

    void cleanup()
    {
        tester_.reset();
        model_.reset();
        store_.reset();
        dir_.reset();
    }

    void filters_data()
    {
        QTest::addColumn<int>("kind");
        QTest::addColumn<QString>("search");
        QTest::addColumn<QString>("range");
        QTest::addColumn<QString>("app");
        QTest::addColumn<QStringList>("expected");
        const QString all = u"all"_s;
        QTest::newRow("everything, newest first, ties in store order")
            << 0 << QString() << all << QString()
            << QStringList{u"un été chaud"_s, u"midi"_s, u"bonjour à tous"_s, u"tard hier soir"_s, u"tie-a"_s,
                           u"tie-b"_s, u"au début de mars"_s};
        QTest::newRow("today drops yesterday 23:59") << 0 << QString() << u"today"_s << QString()
                                                     << QStringList{u"un été chaud"_s, u"midi"_s, u"bonjour à tous"_s};
        QTest::newRow("week keeps exactly seven days")
            << 0 << QString() << u"week"_s << QString()
            << QStringList{u"un été chaud"_s, u"midi"_s, u"bonjour à tous"_s, u"tard hier soir"_s, u"tie-a"_s,
                           u"tie-b"_s};
        QTest::newRow("capitals find lower case, raw text too")
            << 0 << u"ÉTÉ"_s << all << QString() << QStringList{u"un été chaud"_s, u"au début de mars"_s};
        QTest::newRow("raw text searched when the final text fails")
            << 0 << u"brut"_s << all << QString() << QStringList{u"au début de mars"_s};
        QTest::newRow("no accent, no match") << 0 << u"ete"_s << all << QString() << QStringList{};
        QTest::newRow("a blank is a search") << 0 << u" "_s << all << QString()
                                             << QStringList{u"un été chaud"_s, u"bonjour à tous"_s,
                                                            u"tard hier soir"_s, u"au début de mars"_s};
        QTest::newRow("application, exact case") << 0 << QString() << all << u"Zoom"_s
                                                 << QStringList{u"un été chaud"_s, u"tard hier soir"_s, u"tie-b"_s};
        QTest::newRow("application in lower case is another") << 0 << QString() << all << u"zoom"_s << QStringList{};
        QTest::newRow("all three") << 0 << u"T"_s << u"week"_s << u"mail"_s << QStringList{u"bonjour à tous"_s,
                                                                                          u"tie-a"_s};
        QTest::newRow("corrections") << 1 << QString() << all << QString()
                                     << QStringList{u"corrigé"_s, u"translated"_s, u"une faute"_s};
        QTest::newRow("corrections search the original")
            << 1 << u"été"_s << all << QString() << QStringList{u"translated"_s};
        QTest::newRow("corrections in a week") << 1 << QString() << u"week"_s << QString()
                                               << QStringList{u"corrigé"_s, u"translated"_s};
        QTest::newRow("an application without records") << 1 << QString() << all << u"mail"_s << QStringList{};
    }

    // Set one filter at a time from the full list, and all at once from the end state:
    // the same rows either way.
    void filters()
    {
        QFETCH(int, kind);
        QFETCH(QString, search);
        QFETCH(QString, range);
        QFETCH(QString, app);
        QFETCH(QStringList, expected);
        const QStringList *log = record(*model_);
        model_->setKind(kind);
        model_->setSearch(search);
        model_->setRange(range);
        model_->setApp(app);
        QCOMPARE(texts(*model_), expected);
        QCOMPARE(model_->count(), expected.size());
        QVERIFY2(!log->contains(u"reset"_s) && !log->contains(u"layout"_s), qPrintable(log->join(u", "_s)));

        HistoryListModel fresh(store_.get(), nullptr, nullptr, nullptr);
        fresh.setTimeZone(zone());
        fresh.setNow(kNow);
        fresh.setApp(app);
        fresh.setRange(range);
        fresh.setSearch(search);
        fresh.setKind(kind);
        QCOMPARE(texts(fresh), expected);
        // and back to everything
        model_->setSearch(QString());
        model_->setRange(u"all"_s);
        model_->setApp(QString());
        QCOMPARE(model_->count(), kind == 0 ? 7 : 3);
    }

    void rowTexts_data()
    {
        QTest::addColumn<int>("kind");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("role");
        QTest::addColumn<QString>("expected");
        QTest::newRow("words") << 0 << u"un été chaud"_s << u"words"_s << u"3 mots"_s;
        QTest::newRow("one word") << 0 << u"midi"_s << u"words"_s << u"1 mot"_s;
        QTest::newRow("speed") << 0 << u"bonjour à tous"_s << u"speed"_s << u"3 mots/min"_s;
        QTest::newRow("speed rounds") << 0 << u"un été chaud"_s << u"speed"_s << u"51 mots/min"_s;
        QTest::newRow("no duration") << 0 << u"tard hier soir"_s << u"speed"_s << u"0 mots/min"_s;
        QTest::newRow("time") << 0 << u"un été chaud"_s << u"time"_s << u"14:05"_s;
        QTest::newRow("raw text") << 0 << u"un été chaud"_s << u"secondText"_s << u"euh un été chaud"_s;
        QTest::newRow("today") << 0 << u"midi"_s << u"dayTitle"_s << u"Aujourd'hui"_s;
        QTest::newRow("yesterday 23:59") << 0 << u"tard hier soir"_s << u"dayTitle"_s << u"Hier"_s;
        QTest::newRow("older day") << 0 << u"au début de mars"_s << u"dayTitle"_s << u"Samedi 1 Mars 2025"_s;
        QTest::newRow("three fixes") << 1 << u"corrigé"_s << u"fixCount"_s << u"3 corrections"_s;
        QTest::newRow("one fix") << 1 << u"une faute"_s << u"fixCount"_s << u"1 correction"_s;
        QTest::newRow("no fixes, no count") << 1 << u"translated"_s << u"fixCount"_s << QString();
        QTest::newRow("action") << 1 << u"translated"_s << u"action"_s << u"Traduire en anglais"_s;
        QTest::newRow("original") << 1 << u"translated"_s << u"secondText"_s << u"traduit l'été"_s;
    }

    void rowTexts()
    {
        QFETCH(int, kind);
        QFETCH(QString, text);
        QFETCH(QString, role);
        QFETCH(QString, expected);
        model_->setKind(kind);
        const int row = int(texts(*model_).indexOf(text));
        QVERIFY(row >= 0);
        QCOMPARE(model_->get(row, role).toString(), expected);
    }

    void appNames_data()
    {
        QTest::addColumn<int>("kind");
        QTest::addColumn<QStringList>("names");
        QTest::newRow("dictations, code-point order") << 0 << QStringList{u"Kate"_s, u"Zoom"_s, u"mail"_s};
        QTest::newRow("records") << 1 << QStringList{u"Kate"_s, u"Zoom"_s};
    }

    void appNames()
    {
        QFETCH(int, kind);
        QFETCH(QStringList, names);
        model_->setKind(kind);
        QCOMPARE(model_->appNames(), names);
    }

    // The application menu always reads what the list is filtered by: a chosen
    // application stays chosen, and listed, in a list where none of its entries is;
    // erasing everything lets every application show again.
    void appFilterAndMenu_data()
    {
        QTest::addColumn<QString>("app");
        QTest::addColumn<QStringList>("steps"); // "corrections", "dictations", "clear"
        QTest::addColumn<QString>("shown");     // the menu's chosen entry afterwards
        QTest::addColumn<QStringList>("menu");
        QTest::addColumn<bool>("newEntryShown"); // a new "Kate" entry of the list shown
        const QString all = u"Toutes les applis"_s;
        QTest::newRow("nothing chosen") << QString() << QStringList{} << all
                                        << QStringList{all, u"Kate"_s, u"Zoom"_s, u"mail"_s} << true;
        QTest::newRow("chosen") << u"mail"_s << QStringList{} << u"mail"_s
                                << QStringList{all, u"Kate"_s, u"Zoom"_s, u"mail"_s} << false;
        QTest::newRow("kept in corrections, where it has no entry")
            << u"mail"_s << QStringList{u"corrections"_s} << u"mail"_s << QStringList{all, u"Kate"_s, u"Zoom"_s, u"mail"_s}
            << false;
        QTest::newRow("erased: every application")
            << u"mail"_s << QStringList{u"clear"_s} << all << QStringList{all} << true;
    }

    void appFilterAndMenu()
    {
        QFETCH(QString, app);
        QFETCH(QStringList, steps);
        QFETCH(QString, shown);
        QFETCH(QStringList, menu);
        QFETCH(bool, newEntryShown);
        model_->setAppIndex(int(model_->appChoices().indexOf(app)));
        QCOMPARE(model_->app(), app);
        for (const QString &step : std::as_const(steps)) {
            if (step == u"clear"_s)
                model_->clearAll();
            else
                model_->setKind(step == u"corrections"_s ? 1 : 0);
        }
        QCOMPARE(model_->appChoices(), menu);
        QCOMPARE(model_->appChoices().at(model_->appIndex()), shown);
        QCOMPARE(model_->app(), shown == u"Toutes les applis"_s ? QString() : shown);

        const int before = model_->count();
        if (model_->kind() == 0)
            store_->add(dictation(kNow.addSecs(60), u"Kate"_s, u"une nouvelle"_s, 1));
        else
            store_->addFix(record(kNow.addSecs(60), u"Kate"_s, u"une nouvelle"_s, 0));
        QCOMPARE(model_->count(), before + (newEntryShown ? 1 : 0));
        QCOMPARE(model_->appChoices().at(model_->appIndex()), shown);
    }

    // A change of the store while the page is open: rows come and go one by one, in place.
    void storeChanges_data()
    {
        QTest::addColumn<QString>("change");
        QTest::addColumn<QString>("search");
        QTest::addColumn<QStringList>("log");
        QTest::addColumn<int>("count");
        QTest::newRow("new dictation on top") << u"add"_s << QString() << QStringList{u"inserted 0-0"_s} << 8;
        QTest::newRow("new dictation not searched for") << u"add"_s << u"chaud"_s << QStringList{} << 1;
        QTest::newRow("removal") << u"remove"_s << QString() << QStringList{u"removed 2-2"_s} << 6;
        QTest::newRow("edit keeps the row") << u"edit"_s << QString() << QStringList{} << 7;
        QTest::newRow("edit out of the search") << u"edit"_s << u"bonjour"_s << QStringList{u"removed 0-0"_s} << 0;
        QTest::newRow("redate moves the row") << u"redate"_s << QString()
                                              << QStringList{u"removed 6-6"_s, u"inserted 0-0"_s} << 7;
        QTest::newRow("clear removes, never resets") << u"clear"_s << QString() << QStringList{u"removed 0-6"_s} << 0;
    }

    void storeChanges()
    {
        QFETCH(QString, change);
        QFETCH(QString, search);
        QFETCH(QStringList, log);
        QFETCH(int, count);
        model_->setSearch(search);
        const QStringList *seen = record(*model_);
        if (change == u"add"_s) {
            store_->add(dictation(kNow.addSecs(60), u"Kate"_s, u"une nouvelle"_s, 1));
        } else if (change == u"remove"_s) {
            QVERIFY(store_->removeDictation(store_->dictations().at(1).id)); // "bonjour à tous"
        } else if (change == u"edit"_s || change == u"redate"_s) {
            Dictation d = store_->dictations().at(1);
            d.finalText = u"bonsoir"_s;
            d.rawText = u"bonsoir"_s;
            if (change == u"redate"_s) {
                d = store_->dictations().at(5);
                d.date = kNow.addSecs(30);
            }
            QVERIFY(store_->updateDictation(d));
        } else {
            model_->clearAll();
            QVERIFY(!model_->canClear());
        }
        QCOMPARE(*seen, log);
        QCOMPARE(model_->count(), count);
        if (change == u"edit"_s && search.isEmpty())
            QCOMPARE(model_->get(2, u"text"_s).toString(), u"bonsoir"_s);
        if (change == u"redate"_s)
            QCOMPARE(model_->get(0, u"text"_s).toString(), u"au début de mars"_s);
    }

    // Folds belong to entries, not to rows: they survive rows coming and going.
    void foldsFollowEntries()
    {
        const QString id = model_->get(2, u"id"_s).toString(); // "bonjour à tous"
        model_->setExpanded(2, true);
        QVERIFY(model_->get(2, u"expanded"_s).toBool());
        store_->add(dictation(kNow.addSecs(60), u"Kate"_s, u"une nouvelle"_s, 1));
        QCOMPARE(model_->indexOf(id), 3);
        QVERIFY(model_->get(3, u"expanded"_s).toBool());
        QVERIFY(!model_->get(2, u"expanded"_s).toBool());
        model_->setSearch(u"zzz"_s);
        model_->setSearch(QString());
        QVERIFY(model_->get(model_->indexOf(id), u"expanded"_s).toBool());
    }

    void canClear_data()
    {
        QTest::addColumn<bool>("dictations");
        QTest::addColumn<bool>("records");
        QTest::addColumn<bool>("can");
        QTest::newRow("empty store") << false << false << false;
        QTest::newRow("records only") << false << true << true;
        QTest::newRow("dictations only") << true << false << true;
    }

    void canClear()
    {
        QFETCH(bool, dictations);
        QFETCH(bool, records);
        QFETCH(bool, can);
        if (!dictations)
            store_->setDictations({});
        if (!records)
            store_->setFixes({});
        QCOMPARE(model_->canClear(), can);
        if (!dictations && !records)
            QCOMPARE(model_->appNames(), QStringList{});
    }

    // The day turns while the page is open: the next dictation retitles the days and
    // the ranges count from the new day.
    void dayTurns_data()
    {
        QTest::addColumn<QString>("range");
        QTest::addColumn<QStringList>("texts");
        QTest::addColumn<QStringList>("titles");
        QTest::newRow("all") << u"all"_s << QStringList{u"après minuit"_s, u"un été chaud"_s}
                             << QStringList{u"Aujourd'hui"_s, u"Hier"_s};
        QTest::newRow("today keeps only the new day") << u"today"_s << QStringList{u"après minuit"_s}
                                                      << QStringList{u"Aujourd'hui"_s};
        QTest::newRow("week from the new day")
            << u"week"_s << QStringList{u"après minuit"_s, u"un été chaud"_s} << QStringList{u"Aujourd'hui"_s, u"Hier"_s};
    }

    void dayTurns()
    {
        QFETCH(QString, range);
        QFETCH(QStringList, texts);
        QFETCH(QStringList, titles);
        const QDateTime tomorrow = at(kToday.addDays(1), QTime(0, 5));
        HistoryListModel later(store_.get(), nullptr, nullptr, nullptr);
        QAbstractItemModelTester tester(&later, QAbstractItemModelTester::FailureReportingMode::QtTest);
        later.setTimeZone(zone());
        later.setNow(kNow);
        later.setRange(range);
        const int before = later.count();
        QSignalSpy changed(&later, &QAbstractItemModel::dataChanged);
        const QStringList *log = record(later);
        later.setClock([tomorrow] { return tomorrow; }); // the clock moves on its own
        store_->add(dictation(tomorrow, u"Kate"_s, u"après minuit"_s, 1));
        for (qsizetype i = 0; i < texts.size(); ++i) {
            QCOMPARE(later.get(int(i), u"text"_s).toString(), texts.at(i));
            QCOMPARE(later.get(int(i), u"dayTitle"_s).toString(), titles.at(i));
        }
        QVERIFY2(!log->contains(u"reset"_s), qPrintable(log->join(u", "_s)));
        if (range == u"all"_s) {
            QCOMPARE(later.count(), before + 1);
            QVERIFY(!changed.isEmpty());
        }
        if (range == u"today"_s)
            QCOMPARE(later.count(), 1);
        if (range == u"week"_s) // 3 March 15:00 is now more than seven days back
            QCOMPARE(later.count(), before + 1 - 2);
    }

    // A recording kept without its text shows as such, with no word count or
    // speed that would pass for a result.
    void keptRecordingRow()
    {
        Dictation kept;
        kept.date = at(kToday, QTime(14, 30));
        kept.appName = u"Inconnue"_s;
        kept.duration = 12;
        kept.audioFile = u"kept.wav"_s;
        store_->add(kept);
        QCOMPARE(model_->get(0, u"id"_s).toString(), uuidText(kept.id));
        QCOMPARE(model_->get(0, u"text"_s), QVariant(u"Dictée non transcrite"_s));
        QCOMPARE(model_->get(0, u"words"_s), QVariant(QString()));
        QCOMPARE(model_->get(0, u"speed"_s), QVariant(QString()));
        QCOMPARE(model_->get(0, u"untranscribed"_s), QVariant(true));
        // Other rows are untouched.
        QCOMPARE(model_->get(1, u"untranscribed"_s), QVariant(false));
    }

    // A history file that could not be read is said on the page that shows it,
    // until the user closes the notice.
    void unreadableNotice_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<int>("kind");
        QTest::addColumn<QString>("notice"); // start of the text; empty: none
        QTest::newRow("history") << u"history.json"_s << 0 << u"L'historique était illisible : mis de côté dans history.json.illisible-"_s;
        QTest::newRow("history, corrections shown") << u"history.json"_s << 1 << QString();
        QTest::newRow("corrections") << u"fixes.json"_s << 1
                                     << u"L'historique des corrections était illisible : mis de côté dans fixes.json.illisible-"_s;
        QTest::newRow("readable") << QString() << 0 << QString();
    }
    void unreadableNotice()
    {
        QFETCH(QString, file);
        QFETCH(int, kind);
        QFETCH(QString, notice);
        QTemporaryDir dir;
        if (!file.isEmpty())
            QVERIFY(TestEnv::writeFile(dir.filePath(file), "[{pas du json"));
        Store store(dir.path());
        HistoryListModel model(&store, nullptr, nullptr, nullptr);
        model.setKind(kind);
        QSignalSpy changed(&model, &HistoryListModel::unreadableNoticeChanged);
        QVERIFY2(model.unreadableNotice().startsWith(notice) && model.unreadableNotice().isEmpty() == notice.isEmpty(),
                 qPrintable(model.unreadableNotice()));
        if (!notice.isEmpty()) {
            QVERIFY(QFile::exists(dir.filePath(model.unreadableNotice().section(u"dans "_s, 1))));
            model.dismissUnreadableNotice();
            QCOMPARE(changed.count(), 1);
            QVERIFY(model.unreadableNotice().isEmpty());
        }
    }

    // The replay button is enabled only while the recording exists.
    void hasAudio()
    {
        Dictation d = store_->dictations().at(0);
        d.audioFile = u"kept.wav"_s;
        QVERIFY(store_->updateDictation(d));
        QVERIFY(!model_->get(0, u"hasAudio"_s).toBool());
        QVERIFY(store_->writeRecording(u"kept.wav"_s, QByteArray(100, 'x')));
        QVERIFY(model_->get(0, u"hasAudio"_s).toBool());
        QVERIFY(!model_->replay(0)); // no player here
        QVERIFY(QFile::remove(QDir(store_->audioDir()).filePath(u"kept.wav"_s)));
        QVERIFY(!model_->get(0, u"hasAudio"_s).toBool());
    }
};

OMBRY_PAGES_TEST_MAIN(TestHistoryList, QCoreApplication)
#include "tst_historylist.moc"
