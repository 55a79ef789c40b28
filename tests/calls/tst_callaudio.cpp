#include "calls/CallMixer.h"
#include "calls/CallSegmenter.h"
#include "support/TestEnv.h"

#include <QtEndian>
#include <QtTest>

#include <vector>

namespace {

// A script of sound: pieces of (seconds, peak) fed in 20 ms buffers; a peak of
// 0 is silence. The samples alternate in sign so the peak is exact.
struct Piece
{
    double seconds;
    float peak;
};
using Script = QList<Piece>;

QList<double> cuts(CallSegmenter &segmenter, const Script &script, int buffer = 320)
{
    QList<double> sent;
    std::vector<float> block(size_t(buffer), 0.0f);
    for (const Piece &piece : script) {
        const qint64 total = qint64(piece.seconds * 16000 + 0.5);
        for (qint64 done = 0; done < total; done += buffer) {
            const int n = int(std::min<qint64>(buffer, total - done));
            for (int i = 0; i < n; ++i)
                block[size_t(i)] = (i % 2 ? -piece.peak : piece.peak);
            if (const auto pcm = segmenter.feed(block.data(), n))
                sent << double(pcm->size() / 2) / 16000.0;
        }
    }
    return sent;
}

} // namespace

Q_DECLARE_METATYPE(Script)

// Cutting a call's sound at pauses, and mixing its streams.
class TestCallAudio : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void segments_data()
    {
        QTest::addColumn<Script>("script");
        QTest::addColumn<QList<double>>("cut");       // lengths of the segments cut while feeding
        QTest::addColumn<double>("flushed");          // length sent by the final flush, 0: none

        QTest::newRow("speech then a pause: cut by the buffer past 0.7 s, pause inside")
            << Script{{1.0, 0.5}, {1.0, 0}} << QList<double>{1.72} << 0.0;
        QTest::newRow("no pause: cut past 14 s, the rest sent at the end")
            << Script{{20.0, 0.5}} << QList<double>{14.02} << 5.98;
        QTest::newRow("silence only: nothing") << Script{{10.0, 0}} << QList<double>{} << 0.0;
        QTest::newRow("up to 3 s of silence before the speech stays")
            << Script{{2.0, 0}, {1.0, 0.5}, {1.0, 0}} << QList<double>{3.72} << 0.0;
        QTest::newRow("silence past 3 s is emptied")
            << Script{{4.0, 0}, {1.0, 0.5}, {1.0, 0}} << QList<double>{2.70} << 0.0;
        QTest::newRow("a peak of exactly 0.02 is not voiced") << Script{{5.0, 0.02f}} << QList<double>{} << 0.0;
        QTest::newRow("just above 0.02 is voiced") << Script{{1.0, 0.021f}, {1.0, 0}} << QList<double>{1.72}
                                                   << 0.0;
        QTest::newRow("a pause of exactly 0.7 s does not cut")
            << Script{{1.0, 0.5}, {0.7, 0}, {1.0, 0.5}, {1.0, 0}} << QList<double>{3.42} << 0.0;
        QTest::newRow("two phrases: the rest of the first pause opens the second")
            << Script{{1.0, 0.5}, {1.5, 0}, {1.0, 0.5}, {1.5, 0}} << QList<double>{1.72, 2.5} << 0.0;
        QTest::newRow("at the end: voiced and long enough is sent") << Script{{0.6, 0.5}} << QList<double>{} << 0.6;
        QTest::newRow("at the end: 0.5 s or less is dropped") << Script{{0.5, 0.5}} << QList<double>{} << 0.0;
        QTest::newRow("at the end: unvoiced is dropped") << Script{{2.0, 0}} << QList<double>{} << 0.0;
    }

    void segments()
    {
        QFETCH(Script, script);
        QFETCH(QList<double>, cut);
        QFETCH(double, flushed);
        CallSegmenter segmenter;
        const QList<double> got = cuts(segmenter, script);
        QCOMPARE(got.size(), cut.size());
        for (qsizetype i = 0; i < got.size(); ++i)
            QVERIFY2(qAbs(got.at(i) - cut.at(i)) < 0.001, qPrintable(QString::number(got.at(i))));
        const auto last = segmenter.flush();
        QCOMPARE(last.has_value(), flushed > 0);
        if (last)
            QVERIFY(qAbs(double(last->size() / 2) / 16000.0 - flushed) < 0.001);
        // Flushed means empty: nothing comes twice.
        QVERIFY(!segmenter.flush());
        QCOMPARE(segmenter.bytes(), 0);
    }

    void convert_data()
    {
        QTest::addColumn<float>("in");
        QTest::addColumn<int>("out");
        QTest::newRow("above full scale") << 1.5f << 32767;
        QTest::newRow("below full scale") << -1.5f << -32767;
        QTest::newRow("half, truncated") << 0.5f << 16383;
        QTest::newRow("minus half, toward zero") << -0.5f << -16383;
        QTest::newRow("zero") << 0.0f << 0;
        QTest::newRow("tiny") << 0.00002f << 0;
    }

    void convert()
    {
        QFETCH(float, in);
        QFETCH(int, out);
        char bytes[2];
        const float peak = CallSegmenter::convert(&in, 1, bytes);
        QCOMPARE(int(qFromLittleEndian<qint16>(bytes)), out);
        QCOMPARE(peak, std::min(std::fabs(in), 1.0f));
    }

    void mixer_data()
    {
        // Pushes: stream, count, value; -count ends the stream. Then blocks are mixed.
        QTest::addColumn<QList<QList<float>>>("pushes");
        QTest::addColumn<QList<float>>("firstSamples"); // the first sample of each mixed block
        QTest::addColumn<int>("streamsLeft");

        QTest::newRow("two streams sum") << QList<QList<float>>{{1, 320, 0.25f}, {2, 320, 0.5f}}
                                         << QList<float>{0.75f, 0} << 2;
        QTest::newRow("a stalled stream adds silence, the other goes on")
            << QList<QList<float>>{{1, 640, 0.25f}, {2, 320, 0.5f}} << QList<float>{0.75f, 0.25f, 0} << 2;
        QTest::newRow("sums are clamped") << QList<QList<float>>{{1, 320, 0.8f}, {2, 320, 0.8f}}
                                          << QList<float>{1.0f} << 2;
        QTest::newRow("an ended stream is mixed to its end, then forgotten")
            << QList<QList<float>>{{1, 480, 0.5f}, {1, -1, 0}} << QList<float>{0.5f, 0.5f, 0} << 0;
        QTest::newRow("a stream ahead keeps its newest second")
            << QList<QList<float>>{{1, 16000, 0.1f}, {1, 320, 0.3f}} << QList<float>{0.1f} << 1;
    }

    void mixer()
    {
        QFETCH(QList<QList<float>>, pushes);
        QFETCH(QList<float>, firstSamples);
        QFETCH(int, streamsLeft);
        CallMixer mixer;
        for (const QList<float> &push : pushes) {
            if (push.at(1) < 0) {
                mixer.end(quint32(push.at(0)));
                continue;
            }
            std::vector<float> samples(size_t(push.at(1)), push.at(2));
            mixer.push(quint32(push.at(0)), samples.data(), int(samples.size()));
        }
        float block[CallMixer::kBlockSamples];
        for (float expected : firstSamples) {
            mixer.mix(block);
            QCOMPARE(block[0], expected);
        }
        QCOMPARE(mixer.streams(), streamsLeft);
    }

    // Work queued for one run and done after the next run began takes nothing
    // of the next run's sound, and leaves it queued.
    void mixerEpochs_data()
    {
        QTest::addColumn<bool>("clearedSince");
        QTest::addColumn<bool>("whole");   // mixWholeEpoch() gives a block
        QTest::addColumn<int>("rest");     // samples takeRest() gives then
        QTest::addColumn<int>("left");     // whole blocks still queued at the end
        QTest::newRow("same epoch: one block, then the whole rest") << false << true << 640 << 0;
        QTest::newRow("cleared since: nothing is taken") << true << false << 0 << 3;
    }

    void mixerEpochs()
    {
        QFETCH(bool, clearedSince);
        QFETCH(bool, whole);
        QFETCH(int, rest);
        QFETCH(int, left);
        CallMixer mixer;
        const quint64 epoch = mixer.epoch();
        if (clearedSince)
            mixer.clear();
        // Three blocks and a half: the half is never a whole block.
        std::vector<float> sound(3 * CallMixer::kBlockSamples + 160, 0.5f);
        mixer.push(1, sound.data(), int(sound.size()));
        float block[CallMixer::kBlockSamples] = {};
        QCOMPARE(mixer.mixWholeEpoch(epoch, block), whole);
        QCOMPARE(block[0], whole ? 0.5f : 0.0f);
        const std::vector<float> taken = mixer.takeRest(epoch);
        QCOMPARE(int(taken.size()), rest);
        QVERIFY(std::all_of(taken.cbegin(), taken.cend(), [](float v) { return v == 0.5f; }));
        QCOMPARE(mixer.wholeBlocks(), left);
        // Taking the rest ends the epoch too.
        QVERIFY(!mixer.mixEpoch(epoch, block));
        QVERIFY(mixer.mixEpoch(mixer.epoch(), block));
    }

    // The newest second survives an overflow: the last block is the newest sound.
    void mixerOverflowKeepsNewest()
    {
        CallMixer mixer;
        std::vector<float> old(16000, 0.1f), fresh(320, 0.3f);
        mixer.push(1, old.data(), int(old.size()));
        mixer.push(1, fresh.data(), int(fresh.size()));
        QCOMPARE(mixer.wholeBlocks(), CallMixer::kMaxQueued / CallMixer::kBlockSamples);
        float block[CallMixer::kBlockSamples];
        for (int i = 0; i < CallMixer::kMaxQueued / CallMixer::kBlockSamples; ++i)
            mixer.mix(block);
        QCOMPARE(block[0], 0.3f);
        QVERIFY(!mixer.mix(block));
    }
};

OMBRY_TEST_MAIN(TestCallAudio)
#include "tst_callaudio.moc"
