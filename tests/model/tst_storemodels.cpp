#include "StoreScript.h"
#include "model/Store.h"
#include "model/StoreModels.h"
#include "support/TestEnv.h"

#include <QAbstractItemModelTester>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTemporaryDir>

#include <memory>

using C = Store::Collection;
using namespace StoreScript;

namespace {

std::unique_ptr<StoreListModel> modelFor(C c, Store *store)
{
    switch (c) {
    case C::History: return std::make_unique<HistoryModel>(store);
    case C::Fixes: return std::make_unique<FixHistoryModel>(store);
    case C::Words: return std::make_unique<WordsModel>(store);
    case C::Snippets: return std::make_unique<SnippetsModel>(store);
    case C::Corrections: return std::make_unique<CorrectionsModel>(store);
    case C::Meetings: return std::make_unique<MeetingsModel>(store);
    case C::Costs: break;
    }
    return nullptr;
}

QString fileOf(C c)
{
    return c == C::Snippets ? QStringLiteral("snippets.json")
           : c == C::Corrections ? QStringLiteral("corrections.json")
                                 : QStringLiteral("words.json");
}

QString roleText(const StoreListModel &model, int role)
{
    if (role == Qt::DisplayRole)
        return QStringLiteral("display");
    if (role == Qt::EditRole)
        return QStringLiteral("edit");
    return QString::fromUtf8(model.roleNames().value(role, QByteArray::number(role)));
}

// The model's structural signals as text, in emission order.
QStringList *recordModel(StoreListModel &model)
{
    auto *log = new QStringList;
    QObject::connect(&model, &QObject::destroyed, [log] { delete log; });
    QObject::connect(&model, &QAbstractItemModel::rowsInserted, [log](const QModelIndex &, int first, int last) {
        log->append(QStringLiteral("inserted %1-%2").arg(first).arg(last));
    });
    QObject::connect(&model, &QAbstractItemModel::rowsRemoved, [log](const QModelIndex &, int first, int last) {
        log->append(QStringLiteral("removed %1-%2").arg(first).arg(last));
    });
    QObject::connect(&model, &QAbstractItemModel::rowsMoved, [log] { log->append(QStringLiteral("moved")); });
    QObject::connect(&model, &QAbstractItemModel::layoutChanged, [log] { log->append(QStringLiteral("layout")); });
    QObject::connect(&model, &QAbstractItemModel::modelReset, [log] { log->append(QStringLiteral("reset")); });
    QObject::connect(&model, &QAbstractItemModel::dataChanged,
                     [log, m = &model](const QModelIndex &tl, const QModelIndex &br, const QList<int> &roles) {
                         QStringList names;
                         for (int r : roles)
                             names << roleText(*m, r);
                         names.sort();
                         log->append(QStringLiteral("changed %1-%2 %3").arg(tl.row()).arg(br.row()).arg(names.join(',')));
                     });
    return log;
}

// One text field of a stored snippet or correction, by its property name.
QString storedField(const Store &store, C c, int row, const QString &field)
{
    if (c == C::Snippets) {
        const QMetaObject &mo = Snippet::staticMetaObject;
        return mo.property(mo.indexOfProperty(field.toUtf8())).readOnGadget(&store.snippets().at(row)).toString();
    }
    const QMetaObject &mo = Correction::staticMetaObject;
    return mo.property(mo.indexOfProperty(field.toUtf8())).readOnGadget(&store.corrections().at(row)).toString();
}

QStringList modelIds(const StoreListModel &model)
{
    QStringList out;
    for (int row = 0; row < model.rowCount(); ++row)
        out << model.data(model.index(row), model.roleOf("id")).toString();
    return out;
}

QStringList storeIds(const Store &store, C c)
{
    QStringList out;
    auto ids = [&](const auto &list) {
        for (const auto &r : list)
            out << uuidText(r.id);
    };
    switch (c) {
    case C::History: ids(store.dictations()); break;
    case C::Fixes: ids(store.fixes()); break;
    case C::Snippets: ids(store.snippets()); break;
    case C::Corrections: ids(store.corrections()); break;
    case C::Meetings: ids(store.meetings()); break;
    case C::Words: out = store.words(); break;
    case C::Costs: break;
    }
    return out;
}

} // namespace

class TestStoreModels : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    // Store changes reach the model as row insertions, removals and per-role changes;
    // only whole assignments reset it. The tester checks every step's consistency.
    void followsTheStoreRowByRow_data()
    {
        QTest::addColumn<C>("collection");
        QTest::addColumn<QStringList>("setup");
        QTest::addColumn<QStringList>("steps");
        QTest::addColumn<QStringList>("expected");

        const QStringList none;
        QTest::newRow("history: new dictations at the top")
            << C::History << none << QStringList{"add A", "add B"} << QStringList{"inserted 0-0", "inserted 0-0"};
        QTest::newRow("history: an edited text changes its derived roles too")
            << C::History << QStringList{"add A", "add B"} << QStringList{"edit A un deux trois"}
            << QStringList{"changed 1-1 display,edit,finalText,wordCount,wordsPerMinute"};
        QTest::newRow("history: removal")
            << C::History << QStringList{"add A", "add B"} << QStringList{"remove B"} << QStringList{"removed 0-0"};
        QTest::newRow("history: assignment and erase reset")
            << C::History << QStringList{"add A"} << QStringList{"set A,B", "erase"} << QStringList{"reset", "reset"};
        QTest::newRow("corrector history")
            << C::Fixes << none << QStringList{"add A", "add B", "edit A fini", "remove A"}
            << QStringList{"inserted 0-0", "inserted 0-0", "changed 1-1 display,edit,result", "removed 1-1"};
        QTest::newRow("words")
            << C::Words << none << QStringList{"add mot", "add autre", "add mot", "remove mot"}
            << QStringList{"inserted 0-0", "inserted 1-1", "removed 0-0"};
        QTest::newRow("words listed twice")
            << C::Words << QStringList{"set a,b,a"} << QStringList{"remove a"}
            << QStringList{"removed 2-2", "removed 0-0"};
        QTest::newRow("snippets: appended, edited, removed")
            << C::Snippets << none << QStringList{"add A", "add B", "edit B neuf", "remove A"}
            << QStringList{"inserted 0-0", "inserted 1-1", "changed 1-1 text", "removed 0-0"};
        QTest::newRow("snippets: an equal assignment leaves the rows alone")
            << C::Snippets << QStringList{"add A"} << QStringList{"set A"} << none;
        QTest::newRow("snippets: sharing an id")
            << C::Snippets << QStringList{"set A,B,A"} << QStringList{"remove A"}
            << QStringList{"removed 2-2", "removed 0-0"};
        QTest::newRow("corrections")
            << C::Corrections << none << QStringList{"add A", "edit A Chat GPT", "add B", "remove A"}
            << QStringList{"inserted 0-0", "changed 0-0 written", "inserted 1-1", "removed 0-0"};
        QTest::newRow("meetings")
            << C::Meetings << none << QStringList{"add A", "add B", "edit A autre résumé", "remove B"}
            << QStringList{"inserted 0-0", "inserted 0-0", "changed 1-1 summary", "removed 0-0"};
    }
    void followsTheStoreRowByRow()
    {
        QFETCH(C, collection);
        QFETCH(QStringList, setup);
        QFETCH(QStringList, steps);
        QFETCH(QStringList, expected);
        QTemporaryDir tmp;
        Store store(tmp.path());
        // Another collection changing on the side must not reach this model.
        const C other = collection == C::Snippets ? C::Corrections : C::Snippets;
        for (const QString &step : setup)
            run(store, collection, step);
        const auto model = modelFor(collection, &store);
        QCOMPARE(modelIds(*model), storeIds(store, collection));
        QAbstractItemModelTester tester(model.get(), QAbstractItemModelTester::FailureReportingMode::QtTest);
        QStringList *log = recordModel(*model);
        QSignalSpy count(model.get(), &StoreListModel::countChanged);
        run(store, other, QStringLiteral("add Z"));
        QCOMPARE(*log, QStringList());
        for (const QString &step : steps) {
            run(store, collection, step);
            QCOMPARE(modelIds(*model), storeIds(store, collection));
            QCOMPARE(model->count(), model->rowCount());
        }
        QCOMPARE(*log, expected);
        const bool sizeMoved = std::any_of(expected.cbegin(), expected.cend(), [](const QString &e) {
            return e.startsWith(QLatin1String("inserted")) || e.startsWith(QLatin1String("removed"));
        });
        QCOMPARE(count.count() > 0, sizeMoved || expected.contains(QStringLiteral("reset")));
    }

    // An edit typed in a row's field reaches the store without coming back to that row
    // as a reset, a removal or a change of the edited role; another model over the same
    // collection is told.
    void editFromTheViewDoesNotEchoBack_data()
    {
        QTest::addColumn<C>("collection");
        QTest::addColumn<QString>("role"); // "edit" for Qt::EditRole
        QTest::addColumn<QString>("value");
        QTest::addColumn<QString>("field"); // what the store holds afterwards
        QTest::newRow("snippet trigger") << C::Snippets << "trigger" << "mon adresse" << "trigger";
        QTest::newRow("snippet text") << C::Snippets << "text" << "12 rue des Lilas\n75000 Paris" << "text";
        QTest::newRow("snippet trigger emptied") << C::Snippets << "trigger" << "" << "trigger";
        QTest::newRow("snippet through the edit role") << C::Snippets << "edit" << "ma signature" << "trigger";
        QTest::newRow("correction heard") << C::Corrections << "heard" << "chat" << "heard";
        QTest::newRow("correction written") << C::Corrections << "written" << "Chat GPT" << "written";
    }
    void editFromTheViewDoesNotEchoBack()
    {
        QFETCH(C, collection);
        QFETCH(QString, role);
        QFETCH(QString, value);
        QFETCH(QString, field);
        QTemporaryDir tmp;
        Store store(tmp.path());
        run(store, collection, QStringLiteral("set A,B,C"));
        const auto view = modelFor(collection, &store);
        const auto other = modelFor(collection, &store);
        QAbstractItemModelTester tester(view.get(), QAbstractItemModelTester::FailureReportingMode::QtTest);
        QSignalSpy reset(view.get(), &QAbstractItemModel::modelReset);
        QSignalSpy removed(view.get(), &QAbstractItemModel::rowsRemoved);
        QSignalSpy inserted(view.get(), &QAbstractItemModel::rowsInserted);
        QSignalSpy changed(view.get(), &QAbstractItemModel::dataChanged);
        QSignalSpy otherChanged(other.get(), &QAbstractItemModel::dataChanged);
        QSignalSpy storeChanged(&store, &Store::itemChanged);

        const int r = role == QLatin1String("edit") ? int(Qt::EditRole) : view->roleOf(role.toUtf8());
        QVERIFY(r >= 0);
        QVERIFY(view->flags(view->index(1)) & Qt::ItemIsEditable);
        QVERIFY(view->setData(view->index(1), value, r));

        QCOMPARE(storeChanged.count(), 1);
        QCOMPARE(storeChanged.first().at(1).toInt(), 1);
        QCOMPARE(storedField(store, collection, 1, field), value);
        QCOMPARE(view->data(view->index(1), view->roleOf(field.toUtf8())).toString(), value);
        QCOMPARE(reset.count(), 0);
        QCOMPARE(removed.count(), 0);
        QCOMPARE(inserted.count(), 0);
        const int fieldRole = view->roleOf(field.toUtf8());
        for (const QList<QVariant> &args : std::as_const(changed)) {
            const QList<int> roles = args.at(2).value<QList<int>>();
            QVERIFY2(!roles.isEmpty() && !roles.contains(fieldRole) && !roles.contains(r),
                     "the edited role came back to the field that typed it");
        }
        // The other model shows the same row and is told, for that role only.
        QCOMPARE(otherChanged.count(), 1);
        QCOMPARE(otherChanged.first().at(0).value<QModelIndex>().row(), 1);
        QVERIFY(otherChanged.first().at(2).value<QList<int>>().contains(fieldRole));
        QCOMPARE(other->data(other->index(1), fieldRole).toString(), value);
        // The same text again is no change at all.
        QVERIFY(view->setData(view->index(1), value, r));
        QCOMPARE(storeChanged.count(), 1);
    }

    // Roles that are not editable, or unknown ones, refuse the edit and leave the store as it was.
    void refusedEdits_data()
    {
        QTest::addColumn<C>("collection");
        QTest::addColumn<QByteArray>("role");
        QTest::newRow("snippet id") << C::Snippets << QByteArray("id");
        QTest::newRow("correction id") << C::Corrections << QByteArray("id");
        QTest::newRow("an unknown role") << C::Corrections << QByteArray();
        QTest::newRow("dictation text") << C::History << QByteArray("finalText");
        QTest::newRow("corrector result") << C::Fixes << QByteArray("result");
        QTest::newRow("word") << C::Words << QByteArray("word");
        QTest::newRow("meeting title") << C::Meetings << QByteArray("title");
    }
    void refusedEdits()
    {
        QFETCH(C, collection);
        QFETCH(QByteArray, role);
        QTemporaryDir tmp;
        Store store(tmp.path());
        run(store, collection, collection == C::Words ? QStringLiteral("set a,b") : QStringLiteral("set A,B"));
        const auto model = modelFor(collection, &store);
        QSignalSpy storeSignals(&store, &Store::itemChanged);
        QSignalSpy modelSignals(model.get(), &QAbstractItemModel::dataChanged);
        const int r = role.isEmpty() ? Qt::UserRole + 500 : model->roleOf(role);
        const QVariant before = model->data(model->index(0), r);
        QVERIFY(!model->setData(model->index(0), QStringLiteral("changé"), r));
        QCOMPARE(model->data(model->index(0), r), before);
        QCOMPARE(storeSignals.count(), 0);
        QCOMPARE(modelSignals.count(), 0);
        if (collection != C::Snippets && collection != C::Corrections)
            QVERIFY(!(model->flags(model->index(0)) & Qt::ItemIsEditable));
    }

    // Typing in a field, one setData per keystroke, writes the file once with the last text.
    void typingWritesOnce_data()
    {
        QTest::addColumn<C>("collection");
        QTest::addColumn<QByteArray>("role");
        QTest::newRow("snippet text") << C::Snippets << QByteArray("text");
        QTest::newRow("snippet trigger") << C::Snippets << QByteArray("trigger");
        QTest::newRow("correction heard") << C::Corrections << QByteArray("heard");
        QTest::newRow("correction written") << C::Corrections << QByteArray("written");
    }
    void typingWritesOnce()
    {
        QFETCH(C, collection);
        QFETCH(QByteArray, role);
        QTemporaryDir tmp;
        Store store(tmp.path());
        const auto model = modelFor(collection, &store);
        QString id;
        QVERIFY(QMetaObject::invokeMethod(model.get(), "append", Q_RETURN_ARG(QString, id)));
        QCOMPARE(model->rowCount(), 1);
        QSignalSpy written(&store, &Store::fileWritten);
        const QString typed = QStringLiteral("Réunion d'équipe du lundi");
        for (qsizetype n = 1; n <= typed.size(); ++n)
            QVERIFY(model->setData(model->index(0), typed.left(n), model->roleOf(role)));
        QVERIFY(TestEnv::waitFor([&] { return written.count() >= 1; }));
        QTest::qWait(600);
        QCOMPARE(written.count(), 1);
        QCOMPARE(written.first().first().toString(), fileOf(collection));
        const QJsonArray array = QJsonDocument::fromJson(TestEnv::readFile(tmp.filePath(fileOf(collection)))).array();
        QCOMPARE(array.size(), 1);
        const QJsonObject saved = array.first().toObject();
        QCOMPARE(saved.value(QString::fromLatin1(role)).toString(), typed);
        QCOMPARE(saved.value(QStringLiteral("id")).toString(), id);
    }

    // The "id" role is the upper-case UUID text, and finds and removes its record.
    void idsAreUpperCaseUuids_data()
    {
        QTest::addColumn<C>("collection");
        QTest::newRow("history") << C::History;
        QTest::newRow("corrector history") << C::Fixes;
        QTest::newRow("snippets") << C::Snippets;
        QTest::newRow("corrections") << C::Corrections;
        QTest::newRow("meetings") << C::Meetings;
    }
    void idsAreUpperCaseUuids()
    {
        QFETCH(C, collection);
        QTemporaryDir tmp;
        Store store(tmp.path());
        const auto model = modelFor(collection, &store);
        QAbstractItemModelTester tester(model.get(), QAbstractItemModelTester::FailureReportingMode::QtTest);
        QList<QUuid> made;
        for (int i = 0; i < 3; ++i) {
            const QUuid id = QUuid::createUuid();
            made << id;
            switch (collection) {
            case C::History: { Dictation d = dictation(u'A'); d.id = id; store.add(d); break; }
            case C::Fixes: { CorrectionRecord f = fix(u'A'); f.id = id; store.addFix(f); break; }
            case C::Snippets: { Snippet s; s.id = id; store.addSnippet(s); break; }
            case C::Corrections: { Correction c; c.id = id; store.addCorrection(c); break; }
            case C::Meetings: { Meeting m = meeting(u'A'); m.id = id; store.addMeeting(m); break; }
            default: break;
            }
        }
        static const QRegularExpression form(QStringLiteral("^[0-9A-F]{8}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{12}$"));
        for (const QUuid &id : std::as_const(made)) {
            const int row = model->indexOf(uuidText(id));
            QVERIFY(row >= 0);
            const QString text = model->get(row, QStringLiteral("id")).toString();
            QVERIFY2(form.match(text).hasMatch(), qPrintable(text));
            QCOMPARE(QUuid::fromString(text), id);
        }
        QCOMPARE(model->indexOf(uuidText(made.at(1)).toLower()), -1);
        QVERIFY(!model->remove(QStringLiteral("pas un identifiant")));
        QVERIFY(!model->remove(uuidText(QUuid::createUuid())));
        QVERIFY(model->remove(uuidText(made.at(1))));
        QCOMPARE(model->rowCount(), 2);
        QCOMPARE(model->indexOf(uuidText(made.at(1))), -1);
        QCOMPARE(modelIds(*model), storeIds(store, collection));
    }

    // New rows made from the page start empty, with a fresh id each.
    void appendedRowsAreEmptyWithFreshIds_data()
    {
        QTest::addColumn<C>("collection");
        QTest::newRow("snippets") << C::Snippets;
        QTest::newRow("corrections") << C::Corrections;
    }
    void appendedRowsAreEmptyWithFreshIds()
    {
        QFETCH(C, collection);
        QTemporaryDir tmp;
        Store store(tmp.path());
        run(store, collection, QStringLiteral("add A"));
        const auto model = modelFor(collection, &store);
        QStringList *log = recordModel(*model);
        QString first, second;
        QVERIFY(QMetaObject::invokeMethod(model.get(), "append", Q_RETURN_ARG(QString, first)));
        QVERIFY(QMetaObject::invokeMethod(model.get(), "append", Q_RETURN_ARG(QString, second)));
        QVERIFY(first != second);
        QCOMPARE(*log, (QStringList{"inserted 1-1", "inserted 2-2"}));
        QCOMPARE(model->indexOf(first), 1);
        QCOMPARE(model->indexOf(second), 2);
        for (int row : {1, 2})
            for (const QByteArray &role : model->roleNames().values())
                if (role != "id")
                    QCOMPARE(model->data(model->index(row), model->roleOf(role)).toString(), QString());
        QCOMPARE(storeIds(store, collection).mid(1), (QStringList{first, second}));
    }

    // The words card: adding trims and refuses, removing takes every copy.
    void wordsThroughTheModel_data()
    {
        QTest::addColumn<QStringList>("listed");
        QTest::addColumn<QString>("added");
        QTest::addColumn<bool>("accepted");
        QTest::addColumn<QStringList>("after");
        QTest::newRow("trimmed") << QStringList{} << "  Kubernetes\t " << true << QStringList{"Kubernetes"};
        QTest::newRow("already listed") << QStringList{"Ombry"} << " Ombry" << false << QStringList{"Ombry"};
        QTest::newRow("other case") << QStringList{"Ombry"} << "ombry" << true << QStringList{"Ombry", "ombry"};
        QTest::newRow("blank") << QStringList{"a"} << " \t " << false << QStringList{"a"};
    }
    void wordsThroughTheModel()
    {
        QFETCH(QStringList, listed);
        QFETCH(QString, added);
        QFETCH(bool, accepted);
        QFETCH(QStringList, after);
        QTemporaryDir tmp;
        Store store(tmp.path());
        store.setWords(listed);
        WordsModel model(&store);
        QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
        QCOMPARE(model.add(added), accepted);
        QCOMPARE(store.words(), after);
        QCOMPARE(modelIds(model), after);
        QCOMPARE(model.get(int(after.size()) - 1, QStringLiteral("word")).toString(), after.last());
        QVERIFY(model.remove(after.first()));
        QCOMPARE(model.rowCount(), after.size() - 1);
        QVERIFY(!model.remove(after.first()));
    }

    // A model outliving its store empties instead of reading freed memory.
    void storeGoingAwayEmptiesTheModel_data()
    {
        QTest::addColumn<C>("collection");
        QTest::newRow("history") << C::History;
        QTest::newRow("words") << C::Words;
        QTest::newRow("snippets") << C::Snippets;
    }
    void storeGoingAwayEmptiesTheModel()
    {
        QFETCH(C, collection);
        QTemporaryDir tmp;
        auto store = std::make_unique<Store>(tmp.path());
        run(*store, collection, collection == C::Words ? QStringLiteral("set a,b") : QStringLiteral("set A,B"));
        const auto model = modelFor(collection, store.get());
        QCOMPARE(model->rowCount(), 2);
        QSignalSpy reset(model.get(), &QAbstractItemModel::modelReset);
        store.reset();
        QCOMPARE(reset.count(), 1);
        QCOMPARE(model->rowCount(), 0);
        QVERIFY(!model->setData(model->index(0), QStringLiteral("x"), model->roleOf("trigger")));
        QVERIFY(!model->remove(QStringLiteral("a")));
    }

    // The replay button asks the history model for a recording that still exists.
    void historyAudioUrl_data()
    {
        QTest::addColumn<QString>("audioFile");
        QTest::addColumn<bool>("onDisk");
        QTest::addColumn<bool>("found");
        QTest::newRow("kept recording") << "A.wav" << true << true;
        QTest::newRow("deleted by hand") << "A.wav" << false << false;
        QTest::newRow("no recording") << "" << false << false;
    }
    void historyAudioUrl()
    {
        QFETCH(QString, audioFile);
        QFETCH(bool, onDisk);
        QFETCH(bool, found);
        QTemporaryDir tmp;
        Store store(tmp.path());
        Dictation d = dictation(u'A');
        if (!audioFile.isEmpty())
            d.audioFile = audioFile;
        if (onDisk)
            QVERIFY(store.writeRecording(audioFile, "RIFF"));
        store.add(d);
        HistoryModel model(&store);
        QCOMPARE(model.get(0, QStringLiteral("audioFile")).toString(), audioFile);
        const QUrl url = model.audioUrl(0);
        QCOMPARE(url.isValid(), found);
        if (found)
            QCOMPARE(url.toLocalFile(), tmp.filePath(QStringLiteral("Audio/") + audioFile));
        QVERIFY(!model.audioUrl(1).isValid());
    }
};

OMBRY_TEST_MAIN(TestStoreModels)
#include "tst_storemodels.moc"
