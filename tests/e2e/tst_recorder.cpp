#include "support/TestEnv.h"

#include "audio/AudioRecorder.h"
#include "audio/Microphones.h"
#include "model/AppSettings.h"
#include "model/Log.h"

#include <QFile>
#include <QMutex>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>
#include <QtEndian>

#include <fcntl.h>
#include <pthread.h>
#include <unistd.h>

#include <atomic>
#include <thread>

// The recorder on the private sound server of scripts/session: "pipemic" delivers
// exactly what is written to its FIFO, "vmic" what is played into "vsink", in
// real time and resampled twice.
namespace {

constexpr qsizetype kSecond = 16000;

// Runs of 20 ms blocks: (count, value of every sample).
using Blocks = QList<QPair<int, qint16>>;

qint16 sampleAt(const QByteArray &pcm, qsizetype i)
{
    return qFromLittleEndian<qint16>(pcm.constData() + 2 * i);
}

bool run(const QString &program, const QStringList &args)
{
    QProcess p;
    p.start(program, args);
    return p.waitForFinished(30000) && p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
}

// One French phrase spoken by espeak-ng, as 16 kHz mono PCM peaking at -1 dB.
QByteArray phrase(const QString &dir, const QString &name, const QString &text)
{
    const QString wav = dir + QLatin1Char('/') + name + QStringLiteral(".wav");
    const QString raw = dir + QLatin1Char('/') + name + QStringLiteral(".raw");
    if (!run(QStringLiteral("espeak-ng"), {QStringLiteral("-v"), QStringLiteral("fr"), QStringLiteral("-w"), wav, text}))
        return {};
    if (!run(QStringLiteral("sox"), {wav, QStringLiteral("-r"), QStringLiteral("16000"), QStringLiteral("-c"),
                                     QStringLiteral("1"), QStringLiteral("-b"), QStringLiteral("16"),
                                     QStringLiteral("-e"), QStringLiteral("signed-integer"),
                                     QStringLiteral("-t"), QStringLiteral("raw"), raw, QStringLiteral("norm"),
                                     QStringLiteral("-1")}))
        return {};
    return TestEnv::readFile(raw);
}

struct Span
{
    qsizetype first = -1; // first and last sample above 900 in magnitude
    qsizetype last = -1;
};

Span loudSpan(const QByteArray &pcm, qsizetype from, qsizetype to, int threshold = 900)
{
    Span span;
    for (qsizetype i = from; i < to; ++i) {
        if (std::abs(int(sampleAt(pcm, i))) > threshold) {
            if (span.first < 0)
                span.first = i;
            span.last = i;
        }
    }
    return span;
}

// [1 s silence][phrase][1 s][phrase][1 s], a whole number of 20 ms blocks, and
// where the two phrases' speech lies in it.
struct Fixture
{
    QByteArray pcm;
    Span one;
    Span two;
};

Fixture makeFixture(const QString &dir)
{
    Fixture f;
    const QByteArray a = phrase(dir, QStringLiteral("a"), QStringLiteral("Bonjour, je dicte une phrase de test"));
    const QByteArray b = phrase(dir, QStringLiteral("b"), QStringLiteral("Le chat dort sur le canapé du salon"));
    if (a.isEmpty() || b.isEmpty())
        return f;
    const QByteArray second(kSecond * 2, '\0');
    f.pcm = second + a + second + b + second;
    const qsizetype block = AudioRecorder::kBlockSamples * 2;
    if (f.pcm.size() % block)
        f.pcm.append(QByteArray(block - f.pcm.size() % block, '\0'));
    const qsizetype startA = kSecond;
    const qsizetype startB = startA + a.size() / 2 + kSecond;
    f.one = loudSpan(f.pcm, startA, startA + a.size() / 2);
    f.two = loudSpan(f.pcm, startB, startB + b.size() / 2);
    return f;
}

QString threadName()
{
    char name[32] = {};
    pthread_getname_np(pthread_self(), name, sizeof name);
    return QString::fromLatin1(name);
}

// What the callbacks saw, written from the sound thread.
struct Seen
{
    QMutex mutex;
    QList<qsizetype> pauses;
    QStringList pauseThreads;
    QSet<QString> bufferThreads;
    QSet<qsizetype> bufferSizes;
    std::atomic<int> levelsOffMain{0};
    std::atomic<int> levels{0};
    double maxLevel = 0;

    void attach(AudioRecorder &recorder)
    {
        recorder.onPause = [this](qsizetype bytes) {
            QMutexLocker l(&mutex);
            pauses.append(bytes);
            pauseThreads.append(threadName());
        };
        recorder.onBuffer = [this](QByteArrayView pcm) {
            QMutexLocker l(&mutex);
            bufferThreads.insert(threadName());
            bufferSizes.insert(pcm.size());
        };
        recorder.onLevel = [this](double level) {
            if (QThread::currentThread() != qApp->thread())
                ++levelsOffMain;
            ++levels;
            maxLevel = std::max(maxLevel, level);
        };
    }
    QList<qsizetype> pauseList()
    {
        QMutexLocker l(&mutex);
        return pauses;
    }
};

QByteArray expectedHeader(quint32 dataBytes)
{
    QByteArray h(44, '\0');
    char *p = h.data();
    memcpy(p, "RIFF", 4);
    qToLittleEndian<quint32>(dataBytes + 36, p + 4);
    memcpy(p + 8, "WAVEfmt ", 8);
    qToLittleEndian<quint32>(16, p + 16);
    qToLittleEndian<quint16>(1, p + 20);
    qToLittleEndian<quint16>(1, p + 22);
    qToLittleEndian<quint32>(16000, p + 24);
    qToLittleEndian<quint32>(32000, p + 28);
    qToLittleEndian<quint16>(2, p + 32);
    qToLittleEndian<quint16>(16, p + 34);
    memcpy(p + 36, "data", 4);
    qToLittleEndian<quint32>(dataBytes, p + 40);
    return h;
}

// The trimmed WAV is a slice of the raw recording that starts 4000 samples before
// the 20 ms window where speech (a sample above 500) begins.
void checkTrim(const QByteArray &wav, const QByteArray &raw)
{
    const QByteArray trimmed = wav.mid(44);
    QVERIFY(!trimmed.isEmpty());
    const qsizetype at = raw.indexOf(trimmed);
    QVERIFY2(at >= 0 && at % 2 == 0, "the trimmed audio is not a slice of the recording");
    const Span speech = loudSpan(raw, 0, raw.size() / 2, 500);
    QVERIFY(speech.first >= 0);
    const qsizetype before = speech.first - at / 2;
    QVERIFY2(before >= 0 && before - (speech.first % 320) <= 4000,
             qPrintable(QStringLiteral("trimmed audio starts %1 samples before the speech").arg(before)));
    QVERIFY(at + trimmed.size() <= raw.size());
}

// Empties what earlier writers left in the FIFO while nobody recorded.
void drain(const QString &fifo)
{
    const int fd = ::open(QFile::encodeName(fifo).constData(), O_RDONLY | O_NONBLOCK);
    if (fd < 0)
        return;
    char buffer[4096];
    while (::read(fd, buffer, sizeof buffer) > 0) {
    }
    ::close(fd);
}

void writeAll(const QString &fifo, const QByteArray &data)
{
    QFile f(fifo);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Unbuffered))
        return;
    f.write(data);
    f.close();
}

} // namespace

class TestRecorder : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir dir_;
    Fixture fixture_;
    QString fifo_;

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY2(!qEnvironmentVariableIsEmpty("PULSE_SERVER"), "run under scripts/session");
        fifo_ = qEnvironmentVariable("OMBRY_TEST_MIC_FIFO");
        QVERIFY(!fifo_.isEmpty());
        fixture_ = makeFixture(dir_.path());
        QVERIFY2(!fixture_.pcm.isEmpty(), "espeak-ng and sox make the speech fixture");
        QVERIFY(fixture_.one.first > 0 && fixture_.two.first > fixture_.one.last);
        QVERIFY(AudioRecorder::peakMagnitude(fixture_.pcm) >= 12000);
    }

    void init()
    {
        AppSettings::shared()->setMicrophoneUID(std::nullopt);
        drain(fifo_);
    }

    void listsMicrophonesWithoutMonitors()
    {
        const QList<Microphones::Device> devices = Microphones::all();
        QStringList uids;
        for (const auto &d : devices) {
            uids << d.uid;
            QVERIFY2(!d.uid.endsWith(QLatin1String(".monitor")), qPrintable(d.uid));
            QVERIFY(!d.name.isEmpty());
        }
        QVERIFY2(uids.contains(QStringLiteral("vmic")), qPrintable(uids.join(QLatin1Char(','))));
        QVERIFY(uids.contains(QStringLiteral("pipemic")));
        QCOMPARE(Microphones::defaultUID(), std::optional<QString>(QStringLiteral("vmic")));
        QVERIFY(Microphones::device(QStringLiteral("pipemic")).has_value());
        QVERIFY(!Microphones::device(QStringLiteral("vsink.monitor")).has_value());
        QVERIFY(!Microphones::device(QStringLiteral("nowhere")).has_value());
    }

    void deviceChoice()
    {
        AudioRecorder recorder;
        // An unknown uid leaves the default input.
        AppSettings::shared()->setMicrophoneUID(QStringLiteral("nowhere"));
        recorder.start();
        QCOMPARE(recorder.inputDevice(), QStringLiteral("vmic"));
        recorder.stopRaw();

        AppSettings::shared()->setMicrophoneUID(QStringLiteral("pipemic"));
        recorder.start();
        QCOMPARE(recorder.inputDevice(), QStringLiteral("pipemic"));
        // Nothing written: the recording holds no sample.
        const AudioRecorder::Result empty = recorder.stop();
        QCOMPARE(empty.wav, expectedHeader(0));
        QCOMPARE(empty.duration, 0.0);
        QCOMPARE(recorder.lastPeak(), 0);

        // Back to the system default once the choice is cleared.
        AppSettings::shared()->setMicrophoneUID(std::nullopt);
        recorder.start();
        QCOMPARE(recorder.inputDevice(), QStringLiteral("vmic"));
        recorder.start(); // already recording: nothing changes
        QVERIFY(recorder.isRecording());
        recorder.stopRaw();
        QVERIFY(!recorder.isRecording());
    }

    // A chosen microphone that goes away: the default input records meanwhile, and
    // the chosen one is used again once it is back.
    void unpluggedMicrophone()
    {
        const QString fifo = dir_.filePath(QStringLiteral("tmp.fifo"));
        auto load = [&] {
            QProcess pactl;
            pactl.start(QStringLiteral("pactl"), {QStringLiteral("load-module"), QStringLiteral("module-pipe-source"),
                                                  QStringLiteral("source_name=tmpmic"), QStringLiteral("file=") + fifo,
                                                  QStringLiteral("format=s16le"), QStringLiteral("rate=16000"),
                                                  QStringLiteral("channels=1")});
            pactl.waitForFinished();
            return QString::fromUtf8(pactl.readAllStandardOutput()).trimmed();
        };
        QString module = load();
        QVERIFY(!module.isEmpty());
        AppSettings::shared()->setMicrophoneUID(QStringLiteral("tmpmic"));
        AudioRecorder recorder;
        recorder.start();
        QCOMPARE(recorder.inputDevice(), QStringLiteral("tmpmic"));
        recorder.stopRaw();

        QVERIFY(run(QStringLiteral("pactl"), {QStringLiteral("unload-module"), module}));
        recorder.start();
        QCOMPARE(recorder.inputDevice(), QStringLiteral("vmic"));
        recorder.stopRaw();
        Log::waitUntilWritten();
        QVERIFY(TestEnv::readFile(Log::path()).contains("micro: impossible de choisir tmpmic ("));

        module = load();
        QVERIFY(!module.isEmpty());
        recorder.start();
        QCOMPARE(recorder.inputDevice(), QStringLiteral("tmpmic"));
        recorder.stopRaw();
        QVERIFY(run(QStringLiteral("pactl"), {QStringLiteral("unload-module"), module}));
    }

    // Byte-exact capture through the FIFO microphone, fed as fast as it reads.
    void capturesThePipeMicrophoneExactly()
    {
        AppSettings::shared()->setMicrophoneUID(QStringLiteral("pipemic"));
        AudioRecorder recorder;
        Seen seen;
        seen.attach(recorder);
        recorder.start();
        QCOMPARE(recorder.inputDevice(), QStringLiteral("pipemic"));

        std::thread writer(writeAll, fifo_, fixture_.pcm);
        const qsizetype total = fixture_.pcm.size();
        // Another test may have left bytes in the FIFO: find the fixture in what came.
        qsizetype offset = -1;
        const bool arrived = TestEnv::waitFor([&] {
            const QByteArray got = recorder.pcm(0, std::numeric_limits<qsizetype>::max());
            if (got.size() < total)
                return false;
            offset = got.indexOf(fixture_.pcm);
            return offset >= 0;
        }, 20000);
        writer.join();
        QVERIFY2(arrived, qPrintable(QStringLiteral("%1 of %2 bytes")
                                         .arg(recorder.pcm(0, total * 2).size()).arg(total)));
        QCOMPARE(offset % 2, 0);
        QCOMPARE(recorder.pcm(100, 50), QByteArray());
        QCOMPARE(recorder.pcm(offset + total - 10, offset + total * 4), fixture_.pcm.right(10));

        const AudioRecorder::Result result = recorder.stop();
        const QByteArray raw = recorder.lastPCM();
        QCOMPARE(raw.mid(offset, total), fixture_.pcm);
        QCOMPARE(recorder.lastPeak(), AudioRecorder::peakMagnitude(raw));
        QCOMPARE(result.duration, raw.size() / 32000.0);
        QCOMPARE(result.wav.left(44), expectedHeader(quint32(result.wav.size() - 44)));
        checkTrim(result.wav, raw);

        // Two pauses in the fixture, each 0.6 s into a gap after speech.
        const qsizetype base = offset / 2;
        QList<qsizetype> pauses;
        for (qsizetype pause : seen.pauseList()) {
            QCOMPARE(pause % (AudioRecorder::kBlockSamples * 2), 0);
            if (pause / 2 > base)
                pauses << pause / 2 - base;
        }
        QCOMPARE(pauses.size(), 2);
        QVERIFY(pauses[0] > fixture_.one.last + 9600 - 320 && pauses[0] < fixture_.two.first);
        QVERIFY(pauses[1] > fixture_.two.last + 9600 - 320 && pauses[1] <= total / 2);

        QVERIFY(TestEnv::waitFor([&] { return seen.levels.load() >= int(total / 640); }));
        QCOMPARE(seen.levelsOffMain.load(), 0);
        QVERIFY(seen.maxLevel > 0.9);
        QCOMPARE(seen.bufferThreads, QSet<QString>{QStringLiteral("kesso.audio")});
        QCOMPARE(seen.pauseThreads, QStringList(2, QStringLiteral("kesso.audio")));
        QCOMPARE(seen.bufferSizes, QSet<qsizetype>{AudioRecorder::kBlockSamples * 2});
    }

    // Pauses and levels from blocks of known samples through the FIFO microphone.
    void pauseRules_data()
    {
        QTest::addColumn<Blocks>("blocks"); // (count, value of every sample)
        QTest::addColumn<QList<qsizetype>>("pauses");          // in blocks
        QTest::addColumn<double>("maxLevel");
        using B = Blocks;
        QTest::newRow("negative samples are quiet") << B{{1, 901}, {30, -20000}} << QList<qsizetype>{31}
                                                    << 901 / 12000.0;
        QTest::newRow("900 is quiet") << B{{1, 900}, {40, 0}} << QList<qsizetype>{} << 900 / 12000.0;
        QTest::newRow("just short of 0.6 s") << B{{1, 5000}, {29, 0}} << QList<qsizetype>{} << 5000 / 12000.0;
        QTest::newRow("0.6 s after speech") << B{{1, 5000}, {30, 0}} << QList<qsizetype>{31} << 5000 / 12000.0;
        QTest::newRow("one pause per silence") << B{{1, 20000}, {90, 0}} << QList<qsizetype>{31} << 1.0;
        QTest::newRow("speech again, pause again") << B{{2, 3000}, {30, 0}, {1, 3000}, {35, 0}}
                                                   << QList<qsizetype>{32, 63} << 0.25;
    }

    void pauseRules()
    {
        QFETCH(Blocks, blocks);
        QFETCH(QList<qsizetype>, pauses);
        QFETCH(double, maxLevel);
        QByteArray pcm;
        for (const auto &[count, value] : blocks) {
            QByteArray block(AudioRecorder::kBlockSamples * 2, Qt::Uninitialized);
            for (int i = 0; i < AudioRecorder::kBlockSamples; ++i)
                qToLittleEndian(value, block.data() + 2 * i);
            for (int n = 0; n < count; ++n)
                pcm += block;
        }
        AppSettings::shared()->setMicrophoneUID(QStringLiteral("pipemic"));
        AudioRecorder recorder;
        Seen seen;
        seen.attach(recorder);
        recorder.start();
        std::thread writer(writeAll, fifo_, pcm);
        const bool arrived = TestEnv::waitFor([&] {
            return recorder.pcm(0, std::numeric_limits<qsizetype>::max()).size() >= pcm.size();
        }, 10000);
        writer.join();
        QVERIFY(arrived);
        QCOMPARE(recorder.stopRaw(), pcm);
        QList<qsizetype> inBlocks;
        for (qsizetype bytes : seen.pauseList())
            inBlocks << bytes / (AudioRecorder::kBlockSamples * 2);
        QCOMPARE(inBlocks, pauses);
        const int expectedLevels = int(pcm.size() / (AudioRecorder::kBlockSamples * 2));
        QVERIFY(TestEnv::waitFor([&] { return seen.levels.load() == expectedLevels; }));
        QCOMPARE(seen.maxLevel, maxLevel);
    }

    // Real-time capture of speech played into the null sink.
    void recordsSpeechPlayedIntoTheSink()
    {
        QVERIFY(TestEnv::writeFile(dir_.filePath(QStringLiteral("fixture.wav")), AudioRecorder::wav(fixture_.pcm)));

        AudioRecorder recorder;
        Seen seen;
        seen.attach(recorder);
        recorder.start();
        QCOMPARE(recorder.inputDevice(), QStringLiteral("vmic"));

        QProcess player;
        player.start(QStringLiteral("paplay"), {QStringLiteral("-d"), QStringLiteral("vsink"),
                                                dir_.filePath(QStringLiteral("fixture.wav"))});
        QVERIFY(player.waitForStarted());
        QVERIFY(TestEnv::waitFor([&] { return player.state() == QProcess::NotRunning; }, 30000));
        QCOMPARE(player.exitCode(), 0);
        // Stop after a further 0.8 s of captured audio, counted in samples.
        const qsizetype played = recorder.pcm(0, std::numeric_limits<qsizetype>::max()).size();
        QVERIFY(TestEnv::waitFor([&] {
            return recorder.pcm(0, std::numeric_limits<qsizetype>::max()).size() >= played + 25600;
        }, 10000));

        const AudioRecorder::Result result = recorder.stop();
        const QByteArray raw = recorder.lastPCM();
        QCOMPARE(result.duration, raw.size() / 32000.0);
        QCOMPARE(result.wav.left(44), expectedHeader(quint32(result.wav.size() - 44)));
        checkTrim(result.wav, raw);

        // The two phrases as heard: loud stretches apart by more than 0.8 s.
        QList<Span> phrases;
        for (qsizetype i = 0; i < raw.size() / 2; ++i) {
            if (std::abs(int(sampleAt(raw, i))) <= 3000)
                continue;
            if (phrases.isEmpty() || i - phrases.last().last > 12800)
                phrases.append({i, i});
            phrases.last().last = i;
        }
        QCOMPARE(phrases.size(), 2);
        // Exactly two pauses, one in each gap after a phrase.
        const QList<qsizetype> pauses = seen.pauseList();
        QCOMPARE(pauses.size(), 2);
        QVERIFY(pauses[0] / 2 > phrases[0].last && pauses[0] / 2 < phrases[1].first);
        QVERIFY(pauses[1] / 2 > phrases[1].last && pauses[1] <= raw.size());
        QVERIFY(seen.maxLevel > 0.5);
    }

    // Each start names the device's own format in the log.
    void logsTheInputFormat()
    {
        Log::waitUntilWritten();
        const QString log = QString::fromUtf8(TestEnv::readFile(Log::path()));
        QVERIFY2(log.contains(QStringLiteral(" audio: entrée 16000 Hz, 1 canaux\n")), qPrintable(log));
        QVERIFY(log.contains(QStringLiteral(" audio: entrée 48000 Hz, 2 canaux\n")));
    }
};

OMBRY_TEST_GUI_MAIN(TestRecorder)
#include "tst_recorder.moc"
