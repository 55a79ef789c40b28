#include "StoreScript.h"
#include "model/Store.h"
#include "support/TestEnv.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSignalSpy>
#include <QTemporaryDir>

using C = Store::Collection;
using namespace StoreScript;

namespace {

// Every row signal and the tested collection's property signal, in emission order.
QStringList *recordSignals(Store &store, C tested, QObject *context)
{
    auto *log = new QStringList;
    QObject::connect(context, &QObject::destroyed, [log] { delete log; });
    auto tag = [tested](C c, const char *what, int row) {
        QString entry = QString::fromLatin1(what);
        if (row >= 0)
            entry += QLatin1Char(' ') + QString::number(row);
        if (c != tested)
            entry.prepend(QString::fromLatin1(QMetaEnum::fromType<C>().valueToKey(int(c))) + QLatin1Char(':'));
        return entry;
    };
    QObject::connect(&store, &Store::itemInserted, context, [=](C c, int row) { log->append(tag(c, "inserted", row)); });
    QObject::connect(&store, &Store::itemChanged, context, [=](C c, int row) { log->append(tag(c, "changed", row)); });
    QObject::connect(&store, &Store::itemRemoved, context, [=](C c, int row) { log->append(tag(c, "removed", row)); });
    QObject::connect(&store, &Store::collectionReset, context, [=](C c) { log->append(tag(c, "reset", -1)); });
    auto notify = [=](C c) { return [=] { log->append(tag(c, "notify", -1)); }; };
    QObject::connect(&store, &Store::dictationsChanged, context, notify(C::History));
    QObject::connect(&store, &Store::wordsChanged, context, notify(C::Words));
    QObject::connect(&store, &Store::correctionsChanged, context, notify(C::Corrections));
    QObject::connect(&store, &Store::fixesChanged, context, notify(C::Fixes));
    QObject::connect(&store, &Store::snippetsChanged, context, notify(C::Snippets));
    QObject::connect(&store, &Store::meetingsChanged, context, notify(C::Meetings));
    return log;
}

QString fileOf(C c)
{
    switch (c) {
    case C::History: return QStringLiteral("history.json");
    case C::Words: return QStringLiteral("words.json");
    case C::Corrections: return QStringLiteral("corrections.json");
    case C::Fixes: return QStringLiteral("fixes.json");
    case C::Snippets: return QStringLiteral("snippets.json");
    case C::Costs: return QStringLiteral("costs.json");
    case C::Meetings: return QStringLiteral("meetings.json");
    }
    return {};
}

} // namespace

class TestStoreItems : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    // Which signals each one-record operation emits, what it returns, and the list after.
    void rowSignals_data()
    {
        QTest::addColumn<C>("collection");
        QTest::addColumn<QStringList>("setup");
        QTest::addColumn<QStringList>("steps");
        QTest::addColumn<QStringList>("returned");
        QTest::addColumn<QStringList>("expected");
        QTest::addColumn<QString>("after");

        const QStringList none;
        QTest::newRow("history grows at the front")
            << C::History << none << QStringList{"add A", "add B"} << QStringList{"", ""}
            << QStringList{"inserted 0", "notify", "inserted 0", "notify"} << "BA";
        QTest::newRow("history edit of the older dictation")
            << C::History << QStringList{"add A", "add B"} << QStringList{"edit A un deux trois"}
            << QStringList{"true"} << QStringList{"changed 1", "notify"} << "BA";
        QTest::newRow("history edit to the same text is silent")
            << C::History << QStringList{"add A"} << QStringList{"edit A dictée A"} << QStringList{"true"} << none
            << "A";
        QTest::newRow("history edit of an unknown id")
            << C::History << QStringList{"add A"} << QStringList{"edit Z rien"} << QStringList{"false"} << none << "A";
        QTest::newRow("history removal of the last row")
            << C::History << QStringList{"add A", "add B"} << QStringList{"remove A"} << QStringList{"true"}
            << QStringList{"removed 1", "notify"} << "B";
        QTest::newRow("history removal of an unknown id")
            << C::History << QStringList{"add A"} << QStringList{"remove Z"} << QStringList{"false"} << none << "A";
        QTest::newRow("history assignment resets")
            << C::History << QStringList{"add A"} << QStringList{"set A,B", "set A,B"} << QStringList{"", ""}
            << QStringList{"reset", "notify"} << "AB";
        QTest::newRow("corrector history")
            << C::Fixes << none << QStringList{"add A", "add B", "edit A fini", "remove B"}
            << QStringList{"", "", "true", "true"}
            << QStringList{"inserted 0", "notify", "inserted 0", "notify", "changed 1", "notify", "removed 0", "notify"}
            << "A";
        QTest::newRow("snippets grow at the end")
            << C::Snippets << none << QStringList{"add A", "add B", "edit B neuf", "remove A"}
            << QStringList{"", "", "true", "true"}
            << QStringList{"inserted 0", "notify", "inserted 1", "notify", "changed 1", "notify", "removed 0", "notify"}
            << "B";
        QTest::newRow("snippets sharing an id go together, last row first")
            << C::Snippets << QStringList{"set A,B,A"} << QStringList{"remove A"} << QStringList{"true"}
            << QStringList{"removed 2", "removed 0", "notify"} << "B";
        QTest::newRow("corrections")
            << C::Corrections << none << QStringList{"add A", "add B", "edit A Chat", "remove B", "remove B"}
            << QStringList{"", "", "true", "true", "false"}
            << QStringList{"inserted 0", "notify", "inserted 1", "notify", "changed 0", "notify", "removed 1", "notify"}
            << "A";
        QTest::newRow("meetings grow at the front")
            << C::Meetings << none << QStringList{"add A", "add B", "edit A nouveau résumé", "remove B"}
            << QStringList{"", "", "true", "true"}
            << QStringList{"inserted 0", "notify", "inserted 0", "notify", "changed 1", "notify", "removed 0", "notify"}
            << "A";
        QTest::newRow("words are trimmed of spaces and tabs")
            << C::Words << none << QStringList{"add   Kubernetes \t", "add \tOmbry"} << QStringList{"true", "true"}
            << QStringList{"inserted 0", "notify", "inserted 1", "notify"} << "Kubernetes,Ombry";
        QTest::newRow("a word already listed or blank is refused")
            << C::Words << QStringList{"add Kubernetes"} << QStringList{"add Kubernetes", "add  \t ", "add kubernetes"}
            << QStringList{"false", "false", "true"} << QStringList{"inserted 1", "notify"}
            << "Kubernetes,kubernetes";
        QTest::newRow("a line break is part of the word")
            << C::Words << none << QStringList{"add mot\n"} << QStringList{"true"}
            << QStringList{"inserted 0", "notify"} << "mot\n";
        QTest::newRow("a word listed twice goes twice")
            << C::Words << QStringList{"set a,b,a"} << QStringList{"remove a", "remove a"} << QStringList{"2", "0"}
            << QStringList{"removed 2", "removed 0", "notify"} << "b";
    }
    void rowSignals()
    {
        QFETCH(C, collection);
        QFETCH(QStringList, setup);
        QFETCH(QStringList, steps);
        QFETCH(QStringList, returned);
        QFETCH(QStringList, expected);
        QFETCH(QString, after);
        QTemporaryDir tmp;
        Store store(tmp.path());
        for (const QString &step : setup)
            run(store, collection, step);
        QObject context;
        QStringList *log = recordSignals(store, collection, &context);
        QStringList got;
        for (const QString &step : steps)
            got << run(store, collection, step);
        QCOMPARE(got, returned);
        QCOMPARE(*log, expected);
        QCOMPARE(contents(store, collection), after);
    }

    // An update goes to the row the caller names when that row holds the id.
    void updateTakesTheRowHint_data()
    {
        QTest::addColumn<int>("hint");
        QTest::addColumn<int>("changedRow");
        QTest::newRow("no hint: the first with the id") << -1 << 0;
        QTest::newRow("the second copy") << 2 << 2;
        QTest::newRow("a row of another id") << 1 << 0;
        QTest::newRow("out of range") << 7 << 0;
    }
    void updateTakesTheRowHint()
    {
        QFETCH(int, hint);
        QFETCH(int, changedRow);
        QTemporaryDir tmp;
        Store store(tmp.path());
        run(store, C::Snippets, QStringLiteral("set A,B,A"));
        QSignalSpy changed(&store, &Store::itemChanged);
        Snippet s = snippet(u'A');
        s.text = QStringLiteral("modifié");
        QVERIFY(store.updateSnippet(s, hint));
        QCOMPARE(changed.count(), 1);
        QCOMPARE(changed.first().at(1).toInt(), changedRow);
        for (int row : {0, 2})
            QCOMPARE(store.snippets().at(row).text,
                     row == changedRow ? QStringLiteral("modifié") : QStringLiteral("texte A"));
    }

    // Look-ups and statistics see one-record edits as soon as the property signal comes.
    void derivedValuesFollowRowEdits_data()
    {
        QTest::addColumn<C>("collection");
        QTest::addColumn<QStringList>("steps");
        QTest::addColumn<QString>("input");
        QTest::addColumn<QString>("output");
        QTest::newRow("edited correction applies")
            << C::Corrections << QStringList{"add A", "edit A Chat GPT"} << "un entendu A ici" << "un Chat GPT ici";
        QTest::newRow("added correction applies")
            << C::Corrections << QStringList{"add A"} << "Entendu A." << "écrit A.";
        QTest::newRow("removed correction no longer applies")
            << C::Corrections << QStringList{"add A", "remove A"} << "entendu A" << "entendu A";
        QTest::newRow("edited snippet text is pasted")
            << C::Snippets << QStringList{"add A", "edit A nouvelle adresse"} << "Dis A !" << "nouvelle adresse";
        QTest::newRow("removed snippet no longer matches")
            << C::Snippets << QStringList{"add A", "remove A"} << "dis A" << "<aucun>";
        QTest::newRow("history words after an edit")
            << C::History << QStringList{"add A", "add B", "edit A un deux trois quatre"} << "" << "6";
        QTest::newRow("history words after a removal")
            << C::History << QStringList{"add A", "add B", "remove B"} << "" << "2";
    }
    void derivedValuesFollowRowEdits()
    {
        QFETCH(C, collection);
        QFETCH(QStringList, steps);
        QFETCH(QString, input);
        QFETCH(QString, output);
        QTemporaryDir tmp;
        Store store(tmp.path());
        QString seen; // read from the property signal of the last step
        auto read = [&] {
            if (collection == C::Corrections)
                seen = store.applyCorrections(input);
            else if (collection == C::Snippets)
                seen = store.snippet(input) ? store.snippet(input)->text : QStringLiteral("<aucun>");
            else
                seen = QString::number(store.totalWords()) + QLatin1Char('/')
                       + QString::number(store.wordsOn(dateOf(u'A').toLocalTime().date()));
        };
        connect(&store, &Store::correctionsChanged, this, read);
        connect(&store, &Store::snippetsChanged, this, read);
        connect(&store, &Store::dictationsChanged, this, read);
        for (const QString &step : steps)
            run(store, collection, step);
        if (collection == C::History)
            output += QLatin1Char('/') + output; // both dictations lie on the same day
        QCOMPARE(seen, output);
    }

    // Many edits in a row are one write, with the last state.
    void burstOfRowEditsWritesOnce_data()
    {
        QTest::addColumn<C>("collection");
        QTest::addColumn<QString>("field");
        QTest::newRow("history") << C::History << "finalText";
        QTest::newRow("corrector history") << C::Fixes << "result";
        QTest::newRow("snippets") << C::Snippets << "text";
        QTest::newRow("corrections") << C::Corrections << "written";
        QTest::newRow("meetings") << C::Meetings << "summary";
        QTest::newRow("words") << C::Words << "";
    }
    void burstOfRowEditsWritesOnce()
    {
        QFETCH(C, collection);
        QFETCH(QString, field);
        QTemporaryDir tmp;
        Store store(tmp.path());
        QSignalSpy written(&store, &Store::fileWritten);
        const QString typed = QStringLiteral("Une phrase tapée vite");
        if (collection == C::Words) {
            for (qsizetype n = 1; n <= typed.size(); ++n)
                run(store, collection, QStringLiteral("add ") + typed.left(n));
        } else {
            run(store, collection, QStringLiteral("add A"));
            for (qsizetype n = 1; n <= typed.size(); ++n)
                QCOMPARE(run(store, collection, QStringLiteral("edit A ") + typed.left(n)), QStringLiteral("true"));
        }
        QVERIFY(TestEnv::waitFor([&] { return written.count() >= 1; }));
        QTest::qWait(600);
        QCOMPARE(written.count(), 1);
        QCOMPARE(written.first().first().toString(), fileOf(collection));
        const QJsonArray array =
            QJsonDocument::fromJson(TestEnv::readFile(tmp.filePath(fileOf(collection)))).array();
        if (collection == C::Words) {
            // A prefix ending in a space trims to the one before it, which is listed.
            QCOMPARE(array.size(), typed.size() - typed.count(QLatin1Char(' ')));
            QCOMPARE(array.last().toString(), typed);
        } else {
            QCOMPARE(array.size(), 1);
            QCOMPARE(array.first().toObject().value(field).toString(), typed);
            QCOMPARE(array.first().toObject().value(QStringLiteral("id")).toString(),
                     QStringLiteral("0000A041-1111-2222-3344-5566778899AA"));
        }
    }

    // Removing a dictation deletes its recording, unless another dictation names it.
    void removingADictationDeletesItsRecording_data()
    {
        QTest::addColumn<QString>("removedAudio");
        QTest::addColumn<QString>("keptAudio");
        QTest::addColumn<QString>("probe"); // relative to the data folder
        QTest::addColumn<bool>("probeSurvives");
        QTest::newRow("its own recording") << "A.wav" << "B.wav" << "Audio/A.wav" << false;
        QTest::newRow("the other recording stays") << "A.wav" << "B.wav" << "Audio/B.wav" << true;
        QTest::newRow("a recording both name") << "X.wav" << "X.wav" << "Audio/X.wav" << true;
        QTest::newRow("a name leading out of the folder") << "../notes.txt" << "" << "notes.txt" << true;
    }
    void removingADictationDeletesItsRecording()
    {
        QFETCH(QString, removedAudio);
        QFETCH(QString, keptAudio);
        QFETCH(QString, probe);
        QFETCH(bool, probeSurvives);
        QTemporaryDir tmp;
        Store store(tmp.path());
        for (const QString &f : {QStringLiteral("Audio/A.wav"), QStringLiteral("Audio/B.wav"),
                                 QStringLiteral("Audio/X.wav"), QStringLiteral("notes.txt")})
            QVERIFY(TestEnv::writeFile(tmp.filePath(f), "RIFF"));
        Dictation a = dictation(u'A');
        a.audioFile = removedAudio;
        Dictation b = dictation(u'B');
        if (!keptAudio.isEmpty())
            b.audioFile = keptAudio;
        store.setDictations({a, b});
        QVERIFY(store.removeDictation(a.id));
        store.waitForIo();
        QCOMPARE(QFile::exists(tmp.filePath(probe)), probeSurvives);
        QCOMPARE(store.dictations(), QList<Dictation>{b});
    }
};

OMBRY_TEST_MAIN(TestStoreItems)
#include "tst_store_items.moc"
