#include "support/TestEnv.h"

#include "audio/AudioRecorder.h"
#include "audio/Microphones.h"
#include "platform/PulseContext.h"

#include <QtEndian>

#include <cmath>

namespace {

QByteArray pcmOf(const QList<qint16> &samples)
{
    QByteArray out(samples.size() * 2, Qt::Uninitialized);
    for (qsizetype i = 0; i < samples.size(); ++i)
        qToLittleEndian(samples[i], out.data() + 2 * i);
    return out;
}

QByteArray constant(qsizetype n, qint16 value)
{
    return pcmOf(QList<qint16>(n, value));
}

qint16 sampleAt(const QByteArray &pcm, qsizetype i)
{
    return qFromLittleEndian<qint16>(pcm.constData() + 2 * i);
}

QByteArray header(quint32 dataBytes)
{
    QByteArray h;
    auto u32 = [&h](quint32 v) { char b[4]; qToLittleEndian(v, b); h.append(b, 4); };
    auto u16 = [&h](quint16 v) { char b[2]; qToLittleEndian(v, b); h.append(b, 2); };
    h.append("RIFF");
    u32(dataBytes + 36);
    h.append("WAVEfmt ");
    u32(16);
    u16(1);
    u16(1);
    u32(16000);
    u32(32000);
    u16(2);
    u16(16);
    h.append("data");
    u32(dataBytes);
    return h;
}

} // namespace

class TestPcm : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void wavHeader_data()
    {
        QTest::addColumn<QByteArray>("pcm");
        QTest::newRow("empty") << QByteArray();
        QTest::newRow("three samples") << pcmOf({1, -2, 32767});
        QTest::newRow("one second") << constant(16000, 7);
    }

    void wavHeader()
    {
        QFETCH(QByteArray, pcm);
        const QByteArray wav = AudioRecorder::wav(pcm);
        QCOMPARE(wav.size(), pcm.size() + 44);
        QCOMPARE(wav.left(44), header(quint32(pcm.size())));
        QCOMPARE(wav.mid(44), pcm);
    }

    void wavRefusesWhatTheHeaderCannotHold()
    {
        // The whole file must stay below 4 GiB: its size fields are 32-bit.
        QVERIFY(AudioRecorder::fitsWav(0));
        QVERIFY(AudioRecorder::fitsWav(4294967295LL - 44));
        QVERIFY(!AudioRecorder::fitsWav(4294967295LL - 43));
        QVERIFY(!AudioRecorder::fitsWav(4294967296LL));
        QVERIFY(!AudioRecorder::fitsWav(5'000'000'000LL));
    }

    void trimSilence_data()
    {
        QTest::addColumn<QByteArray>("pcm");
        QTest::addColumn<qsizetype>("from"); // in samples
        QTest::addColumn<qsizetype>("to");

        QTest::newRow("empty") << QByteArray() << qsizetype(0) << qsizetype(0);
        QTest::newRow("all quiet is kept whole") << constant(20000, 500) << qsizetype(0) << qsizetype(20000);
        QTest::newRow("negative 500 is quiet") << constant(20000, -500) << qsizetype(0) << qsizetype(20000);

        QByteArray middle = constant(20160, 0);
        qToLittleEndian<qint16>(501, middle.data() + 2 * 10000);
        QTest::newRow("one loud sample in the middle") << middle << qsizetype(5920) << qsizetype(14240);

        QByteArray negative = constant(20160, 0);
        qToLittleEndian<qint16>(-501, negative.data() + 2 * 10000);
        QTest::newRow("negative 501 is loud") << negative << qsizetype(5920) << qsizetype(14240);

        // 20,000 samples: the backward windows are aligned at the end, not the start.
        QByteArray unaligned = constant(20000, 0);
        qToLittleEndian<qint16>(9000, unaligned.data() + 2 * 10000);
        QTest::newRow("backward windows end-aligned") << unaligned << qsizetype(5920) << qsizetype(14080);

        QByteArray edges = constant(30000, 0);
        qToLittleEndian<qint16>(2000, edges.data());
        qToLittleEndian<qint16>(2000, edges.data() + 2 * 29999);
        QTest::newRow("loud at both ends") << edges << qsizetype(0) << qsizetype(30000);

        QByteArray spread = constant(40000, 0);
        qToLittleEndian<qint16>(-3000, spread.data() + 2 * 8000);
        qToLittleEndian<qint16>(3000, spread.data() + 2 * 30000);
        QTest::newRow("speech spread out") << spread << qsizetype(4000) << qsizetype(34080);
    }

    void trimSilence()
    {
        QFETCH(QByteArray, pcm);
        QFETCH(qsizetype, from);
        QFETCH(qsizetype, to);
        const QByteArray trimmed = AudioRecorder::trimSilence(pcm);
        QCOMPARE(trimmed.size(), (to - from) * 2);
        QCOMPARE(trimmed, pcm.mid(from * 2, (to - from) * 2));
        // The one-copy road of long recordings gives the same bytes.
        QCOMPARE(AudioRecorder::trimmedSpan(pcm), std::make_pair(from * 2, (to - from) * 2));
        QCOMPARE(AudioRecorder::trimmedWav(pcm), AudioRecorder::wav(trimmed));
    }

    void normalize_data()
    {
        QTest::addColumn<int>("peak");
        QTest::addColumn<QList<qint16>>("in");
        QTest::addColumn<QList<qint16>>("out");

        QTest::newRow("peak 200 unchanged") << 200 << QList<qint16>{100, -200} << QList<qint16>{100, -200};
        QTest::newRow("peak 12000 unchanged") << 12000 << QList<qint16>{100, -200} << QList<qint16>{100, -200};
        QTest::newRow("peak 201 gain 8") << 201 << QList<qint16>{201, -201, 10} << QList<qint16>{1608, -1608, 80};
        QTest::newRow("peak 5000 gain 4 clamps") << 5000 << QList<qint16>{5000, 10000, -10000, -32768}
                                                 << QList<qint16>{20000, 32767, -32767, -32767};
        // Gain 20000/7500 = 2.666…: products are truncated toward zero.
        QTest::newRow("truncation toward zero") << 7500 << QList<qint16>{1, -1, 3, -3}
                                                << QList<qint16>{2, -2, 8, -8};
    }

    void normalize()
    {
        QFETCH(int, peak);
        QFETCH(QList<qint16>, in);
        QFETCH(QList<qint16>, out);
        QCOMPARE(AudioRecorder::normalize(pcmOf(in), peak), pcmOf(out));
    }

    void normalizeKeepsAnOddTrailingByte()
    {
        QByteArray pcm = pcmOf({100});
        pcm.append('\x7f');
        const QByteArray out = AudioRecorder::normalize(pcm, 5000);
        QCOMPARE(out.size(), 3);
        QCOMPARE(sampleAt(out, 0), qint16(400));
        QCOMPARE(out.at(2), '\x7f');
    }

    void speechSeconds_data()
    {
        QTest::addColumn<QByteArray>("pcm");
        QTest::addColumn<double>("seconds");

        QList<qint16> square;
        QList<qint16> edge;
        for (int i = 0; i < 16000; ++i) {
            square.append(i % 2 ? 1000 : -1000);
            edge.append(i % 2 ? 600 : -600);
        }
        QTest::newRow("square wave of 1000") << pcmOf(square) << 1.0;
        QTest::newRow("silence") << constant(16000, 0) << 0.0;
        QTest::newRow("RMS exactly 600") << pcmOf(edge) << 0.0;
        QTest::newRow("one byte") << QByteArray(1, '\x10') << 0.0;
        // A short last window counts on its own samples: 330 loud samples = 2 windows.
        QTest::newRow("short last window") << constant(330, 700) << 0.04;
        QByteArray half = constant(16000, 0) + constant(8000, -2000);
        QTest::newRow("half a second of speech") << half << 0.5;
    }

    void speechSeconds()
    {
        QFETCH(QByteArray, pcm);
        QFETCH(double, seconds);
        QCOMPARE(AudioRecorder::speechSeconds(pcm), seconds);
    }

    void peakMagnitudeCountsMinus32768()
    {
        QCOMPARE(AudioRecorder::peakMagnitude(pcmOf({12, -32768, 5})), 32768);
        QCOMPARE(AudioRecorder::peakMagnitude(pcmOf({-12, 11})), 12);
        QCOMPARE(AudioRecorder::peakMagnitude(QByteArray()), 0);
    }

    void idleRecorderReturnsNothing()
    {
        PulseContext pulse;
        AudioRecorder recorder(pulse, nullptr);
        QVERIFY(!recorder.isRecording());
        const AudioRecorder::Result result = recorder.stop();
        QVERIFY(result.wav.isEmpty());
        QCOMPARE(result.duration, 0.0);
        QVERIFY(recorder.stopRaw().isEmpty());
        QVERIFY(recorder.pcm(0, std::numeric_limits<qsizetype>::max()).isEmpty());
        QVERIFY(recorder.lastPCM().isEmpty());
        QCOMPARE(recorder.lastPeak(), 0);
    }

    void deviceEquality()
    {
        const Microphones::Device a{3, QStringLiteral("alsa_input.usb"), QStringLiteral("Micro USB")};
        Microphones::Device b = a;
        QCOMPARE(a, b);
        QCOMPARE(qHash(a), qHash(b));
        b.name = QStringLiteral("Autre nom");
        QVERIFY(!(a == b));
        QSet<Microphones::Device> set{a, a, b};
        QCOMPARE(set.size(), 2);
    }
};

OMBRY_TEST_MAIN(TestPcm)
#include "tst_pcm.moc"
