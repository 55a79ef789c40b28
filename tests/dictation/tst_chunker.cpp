#include "dictation/Chunker.h"
#include "engines/Net.h"
#include "fakes/FakeHttpService.h"
#include "fakes/MeetingTones.h"
#include "model/AppSettings.h"
#include "model/KeyStore.h"
#include "support/TestEnv.h"

#include <QCoreApplication>
#include <QNetworkReply>
#include <QScopeGuard>
#include <QTimer>
#include <qcoro/qcorotimer.h>

#include <chrono>

using Results = QHash<int, Chunker::Result>;

namespace {

// What the fake work does with each piece, by the piece's first byte (its index).
struct Script
{
    QList<QByteArray> pieces;        // every piece handed to the work, in start order
    QList<QString> tones;
    QHash<int, int> delayMs;         // piece index → answer after this long
    QHash<int, Chunker::Result> results;
    int finished = 0;
};
Script script;

QCoro::Task<Chunker::Result> fakeWork(QByteArray pcm, QString tone, Chunker::Cancelled cancelled)
{
    const int index = int(script.pieces.size());
    script.pieces.append(pcm);
    script.tones.append(tone);
    if (const int delay = script.delayMs.value(index); delay > 0)
        co_await QCoro::sleepFor(std::chrono::milliseconds(delay));
    ++script.finished;
    if (cancelled->load())
        co_return std::nullopt;
    co_return script.results.value(index, ChunkText{QStringLiteral("r%1").arg(index), QStringLiteral("c%1").arg(index)});
}

// A slice function over a buffer of `size` bytes whose byte i is (i / 1000) % 256.
Chunker::Slice sliceOf(qsizetype size)
{
    return [size](qsizetype from, qsizetype to) {
        QByteArray out;
        for (qsizetype i = from; i < std::min(to, size); ++i)
            out.append(char((i / 1000) % 256));
        return out;
    };
}

Chunker::Result finishNow(Chunker &chunker, const QByteArray &pcm)
{
    std::optional<Chunker::Result> out;
    auto task = [](Chunker *c, QByteArray data, std::optional<Chunker::Result> *result) -> QCoro::Task<> {
        *result = co_await c->finish(data);
    }(&chunker, pcm, &out);
    TestEnv::waitFor([&] { return out.has_value(); }, 5000);
    return out.value_or(ChunkText{QStringLiteral("timeout"), {}});
}

} // namespace

// Cutting at pauses, the tail, and joining in cutting order.
class TestChunker : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init() { script = {}; }

    void cutsOnlyPastTheMinimum_data()
    {
        QTest::addColumn<QList<qsizetype>>("pauses");
        QTest::addColumn<QList<qsizetype>>("cuts");
        QTest::newRow("two short then one long") << QList<qsizetype>{40000, 90000, 100000} << QList<qsizetype>{100000};
        QTest::newRow("exactly the minimum") << QList<qsizetype>{96000} << QList<qsizetype>{96000};
        QTest::newRow("one byte short") << QList<qsizetype>{95999} << QList<qsizetype>{};
        QTest::newRow("measured from the last cut") << QList<qsizetype>{100000, 150000, 196000, 292000}
                                                    << QList<qsizetype>{100000, 196000, 292000};
    }
    void cutsOnlyPastTheMinimum()
    {
        QFETCH(QList<qsizetype>, pauses);
        QFETCH(QList<qsizetype>, cuts);
        Chunker chunker(QStringLiteral("ton"), &fakeWork);
        const auto slice = sliceOf(1000000);
        qsizetype previous = 0;
        for (qsizetype at : pauses)
            chunker.cut(at, slice);
        QCOMPARE(chunker.taskCount(), int(cuts.size()));
        QCOMPARE(script.pieces.size(), cuts.size());
        for (int i = 0; i < cuts.size(); ++i) {
            QCOMPARE(script.pieces[i].size(), cuts[i] - previous);
            QCOMPARE(script.pieces[i].front(), char((previous / 1000) % 256));
            previous = cuts[i];
        }
        QCOMPARE(chunker.lastCut(), cuts.isEmpty() ? 0 : cuts.last());
        for (const QString &tone : script.tones)
            QCOMPARE(tone, QStringLiteral("ton"));
    }

    void tailIsCutWhateverItsLength_data()
    {
        QTest::addColumn<qsizetype>("length");
        QTest::addColumn<int>("tasks");
        QTest::newRow("short tail") << qsizetype(100010) << 2;
        QTest::newRow("no tail") << qsizetype(100000) << 1;
    }
    void tailIsCutWhateverItsLength()
    {
        QFETCH(qsizetype, length);
        QFETCH(int, tasks);
        Chunker chunker(QString(), &fakeWork);
        chunker.cut(100000, sliceOf(length));
        const QByteArray pcm(length, 'x');
        const Chunker::Result result = finishNow(chunker, pcm);
        QCOMPARE(chunker.taskCount(), tasks);
        QCOMPARE(script.pieces.size(), qsizetype(tasks));
        if (tasks == 2)
            QCOMPARE(script.pieces[1].size(), length - 100000);
        QVERIFY(result.has_value());
    }

    void joinsInCuttingOrder_data()
    {
        QTest::addColumn<Results>("results");
        QTest::addColumn<Chunker::Result>("expected");
        QTest::newRow("all") << Results{}
                             << Chunker::Result(ChunkText{"r0 r1 r2", "c0 c1 c2"});
        QTest::newRow("empty middle") << Results{{1, ChunkText{}}}
                                      << Chunker::Result(ChunkText{"r0 r2", "c0 c2"});
        QTest::newRow("failed middle") << Results{{1, std::nullopt}} << Chunker::Result();
        QTest::newRow("all empty") << Results{{0, ChunkText{}}, {1, ChunkText{}}, {2, ChunkText{}}}
                                   << Chunker::Result(ChunkText{});
    }
    void joinsInCuttingOrder()
    {
        QFETCH(Results, results);
        QFETCH(Chunker::Result, expected);
        script.results = results;
        // The first piece answers last.
        script.delayMs = {{0, 300}, {1, 100}, {2, 10}};
        Chunker chunker(QString(), &fakeWork);
        const auto slice = sliceOf(300000);
        chunker.cut(100000, slice);
        chunker.cut(200000, slice);
        QCOMPARE(finishNow(chunker, QByteArray(300000, 'x')), expected);
    }

    // The task count read after finishing counts the tail; a destroyed chunker
    // does not disturb a finish already running.
    void finishOutlivesTheChunker()
    {
        script.delayMs = {{0, 100}, {1, 100}};
        auto chunker = std::make_unique<Chunker>(QString(), &fakeWork);
        chunker->cut(100000, sliceOf(150000));
        std::optional<Chunker::Result> out;
        auto task = [](Chunker *c, std::optional<Chunker::Result> *result) -> QCoro::Task<> {
            *result = co_await c->finish(QByteArray(150000, 'x'));
        }(chunker.get(), &out);
        QCOMPARE(chunker->taskCount(), 2);
        chunker.reset();
        QVERIFY(TestEnv::waitFor([&] { return out.has_value(); }));
        QCOMPARE(*out, Chunker::Result(ChunkText{"r0 r1", "c0 c1"}));
    }

    // Pieces awaited before the end keep their results for the join.
    void settledPiecesAreJoined()
    {
        script.delayMs = {{0, 100}};
        Chunker chunker(QString(), &fakeWork);
        chunker.cut(100000, sliceOf(250000));
        chunker.cut(200000, sliceOf(250000));
        bool settled = false;
        auto task = [](Chunker *c, bool *flag) -> QCoro::Task<> {
            co_await c->settle();
            *flag = true;
        }(&chunker, &settled);
        QVERIFY(TestEnv::waitFor([&] { return settled; }));
        QCOMPARE(script.finished, 2);
        const Chunker::Result joined = finishNow(chunker, QByteArray(250000, 'x'));
        QCOMPARE(joined, Chunker::Result(ChunkText{"r0 r1 r2", "c0 c1 c2"}));
    }

    // Cancelling fails the pieces and stops their requests under way at once.
    void cancelMakesPiecesFail()
    {
        script.delayMs = {{0, 50}};
        std::shared_ptr<Net::Stop> requests;
        Chunker chunker(QString(), [&requests](QByteArray pcm, QString tone, Chunker::Cancelled cancelled) {
            requests = cancelled->requests;
            return fakeWork(std::move(pcm), std::move(tone), std::move(cancelled));
        });
        chunker.cut(100000, sliceOf(100000));
        QVERIFY(requests && !requests->stopped());
        chunker.cancel();
        QVERIFY(requests->stopped());
        QCOMPARE(finishNow(chunker, QByteArray(100000, 'x')), Chunker::Result());
    }

    // The real work of a piece: Escape aborts its request where it stands, be it
    // the transcription or the rewrite, and nothing more is sent for it.
    void cancelAbortsThePieceRequests_data()
    {
        QTest::addColumn<int>("answered"); // requests answered before the one that hangs
        QTest::newRow("transcription under way") << 0;
        QTest::newRow("rewrite under way") << 1;
    }
    void cancelAbortsThePieceRequests()
    {
        QFETCH(int, answered);
        const QString chat = QStringLiteral("/api/v1/chat/completions");
        FakeHttpService openRouter;
        QVERIFY(openRouter.start());
        qputenv("OMBRY_OPENROUTER_URL", openRouter.url().toUtf8());
        const auto restore = qScopeGuard([] { qunsetenv("OMBRY_OPENROUTER_URL"); });
        TestEnv::settings()->setOwnKeyMode(true);
        KeyStore::Keys keys = TestEnv::keys()->keys();
        keys.insert(APIService::OpenRouter, QStringLiteral("sk-test"));
        TestEnv::keys()->setKeys(keys);
        if (answered)
            openRouter.enqueue("POST", chat, ScriptedReply::chat(QStringLiteral("un deux trois quatre cinq six")));
        openRouter.on("POST", chat, ScriptedReply::hanging());

        const QByteArray speech = MeetingTones::tone(300, 4 * MeetingTones::kRate);
        Chunker chunker(QString(), Chunker::work(DictationData{TestEnv::settings(), TestEnv::store(), TestEnv::keys()}));
        chunker.cut(speech.size(), [&speech](qsizetype from, qsizetype to) { return speech.mid(from, to - from); });
        QVERIFY(openRouter.waitForRequests(answered + 1));
        const auto live = [] { return Net::session()->findChildren<QNetworkReply *>().size(); };
        QCOMPARE(live(), qsizetype(1));
        chunker.cancel();
        QCOMPARE(finishNow(chunker, speech), Chunker::Result());
        QCOMPARE(live(), qsizetype(0));
        QCOMPARE(openRouter.count(chat), answered + 1);
    }
};

OMBRY_TEST_MAIN(TestChunker)
#include "tst_chunker.moc"
