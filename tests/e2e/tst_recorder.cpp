#include "support/TestEnv.h"

#include "app/Wiring.h"
#include "audio/AudioRecorder.h"
#include "calls/MeetingRecorder.h"
#include "audio/Microphones.h"
#include "model/AppSettings.h"
#include "model/KeyStore.h"
#include "model/Store.h"
#include "core/Log.h"
#include "platform/Permissions.h"
#include "platform/PulseContext.h"

#include <QFile>
#include <QMutex>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>
#include <QtEndian>

#include <pulse/subscribe.h>

#include <fcntl.h>
#include <pthread.h>
#include <unistd.h>

#include <atomic>
#include <csignal>
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

QString pactl(const QStringList &args, bool *ok = nullptr)
{
    QProcess p;
    p.start(QStringLiteral("pactl"), args);
    const bool done = p.waitForFinished(10000) && p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
    if (ok)
        *ok = done;
    return QString::fromUtf8(p.readAllStandardOutput()).trimmed();
}

// One record stream of a process as the sound server shows it.
struct Capture
{
    QString source;
    bool corked = false;
    friend bool operator==(const Capture &, const Capture &) = default;
};

char *toString(const Capture &c)
{
    return qstrdup(qPrintable(c.source + (c.corked ? QStringLiteral(" (corked)") : QString())));
}

QString describe(const QList<Capture> &list)
{
    QStringList parts;
    for (const Capture &c : list)
        parts << c.source + (c.corked ? QStringLiteral(" (corked)") : QString());
    return QLatin1Char('[') + parts.join(QStringLiteral(", ")) + QLatin1Char(']');
}

// The record streams that process `pid` has open on the sound server.
QList<Capture> captures(qint64 pid = QCoreApplication::applicationPid())
{
    QHash<QString, QString> names; // source index → name
    for (const QString &line : pactl({QStringLiteral("list"), QStringLiteral("short"), QStringLiteral("sources")})
                                   .split(QLatin1Char('\n'), Qt::SkipEmptyParts)) {
        const QStringList fields = line.split(QLatin1Char('\t'));
        if (fields.size() > 1)
            names.insert(fields[0], fields[1]);
    }
    QList<Capture> found;
    const QString owner = QStringLiteral("application.process.id = \"%1\"").arg(pid);
    const QString all = pactl({QStringLiteral("list"), QStringLiteral("source-outputs")});
    for (const QString &block : all.split(QStringLiteral("Source Output #"), Qt::SkipEmptyParts)) {
        if (!block.contains(owner))
            continue;
        Capture c;
        for (QString line : block.split(QLatin1Char('\n'))) {
            line = line.trimmed();
            if (line.startsWith(QLatin1String("Source: ")))
                c.source = names.value(line.mid(8), line.mid(8));
            else if (line.startsWith(QLatin1String("Corked: ")))
                c.corked = line.endsWith(QLatin1String("yes"));
        }
        found << c;
    }
    return found;
}

// Blocks of one value, a whole number of 20 ms blocks.
QByteArray blocksOf(int count, qint16 value)
{
    QByteArray pcm(count * AudioRecorder::kBlockSamples * 2, Qt::Uninitialized);
    for (qsizetype i = 0; i < pcm.size() / 2; ++i)
        qToLittleEndian(value, pcm.data() + 2 * i);
    return pcm;
}

} // namespace

class TestRecorder : public QObject
{
    Q_OBJECT

private:
    PulseContext pulse_;
    QTemporaryDir dir_;
    Fixture fixture_;
    QString fifo_;

    // Fake microphones that a test unloaded (module and arguments) or loaded.
    QList<QPair<QString, QString>> unloaded_;
    QStringList loaded_;

    // Loads a FIFO microphone `uid`.
    bool plug(const QString &uid)
    {
        bool ok = false;
        const QString module = pactl({QStringLiteral("load-module"), QStringLiteral("module-pipe-source"),
                                      QStringLiteral("source_name=") + uid,
                                      QStringLiteral("file=") + dir_.filePath(uid + QStringLiteral(".fifo")),
                                      QStringLiteral("format=s16le"), QStringLiteral("rate=16000"),
                                      QStringLiteral("channels=1")}, &ok);
        if (ok)
            loaded_ << module;
        return ok;
    }

    // Unloads the module that made the source `uid`; the rig's own come back in cleanup().
    bool unload(const QString &uid)
    {
        const QString tag = QStringLiteral("source_name=") + uid;
        for (const QString &line : pactl({QStringLiteral("list"), QStringLiteral("short"), QStringLiteral("modules")})
                                       .split(QLatin1Char('\n'), Qt::SkipEmptyParts)) {
            const QStringList fields = line.split(QLatin1Char('\t'));
            if (fields.size() < 3 || !fields[2].split(QLatin1Char(' ')).contains(tag))
                continue;
            bool ok = false;
            pactl({QStringLiteral("unload-module"), fields[0]}, &ok);
            if (!ok)
                return false;
            if (loaded_.removeAll(fields[0]) == 0)
                unloaded_.append({fields[1], fields[2].trimmed()});
            return true;
        }
        return false;
    }

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
        TestEnv::settings()->setMicrophoneUID(std::nullopt);
        drain(fifo_);
    }

    void cleanup()
    {
        for (const QString &module : std::exchange(loaded_, {}))
            pactl({QStringLiteral("unload-module"), module});
        for (const auto &[module, args] : std::exchange(unloaded_, {})) {
            QStringList command{QStringLiteral("load-module"), module};
            command += args.split(QLatin1Char(' '), Qt::SkipEmptyParts);
            bool ok = false;
            pactl(command, &ok);
            QVERIFY2(ok, qPrintable(command.join(QLatin1Char(' '))));
        }
        pactl({QStringLiteral("set-default-source"), QStringLiteral("vmic")});
        TestEnv::settings()->setMicrophoneUID(std::nullopt);
    }

    void listsMicrophonesWithoutMonitors()
    {
        const QList<Microphones::Device> devices = Microphones::all(pulse_);
        QStringList uids;
        for (const auto &d : devices) {
            uids << d.uid;
            QVERIFY2(!d.uid.endsWith(QLatin1String(".monitor")), qPrintable(d.uid));
            QVERIFY(!d.name.isEmpty());
        }
        QVERIFY2(uids.contains(QStringLiteral("vmic")), qPrintable(uids.join(QLatin1Char(','))));
        QVERIFY(uids.contains(QStringLiteral("pipemic")));
        QCOMPARE(Microphones::defaultUID(pulse_), std::optional<QString>(QStringLiteral("vmic")));
        QVERIFY(Microphones::device(pulse_, QStringLiteral("pipemic")).has_value());
        QVERIFY(!Microphones::device(pulse_, QStringLiteral("vsink.monitor")).has_value());
        QVERIFY(!Microphones::device(pulse_, QStringLiteral("nowhere")).has_value());
    }

    // Watching the sources leaves the connection's other listeners their events,
    // and the server still sends what they asked for.
    void sourceWatchKeepsOtherListeners()
    {
        std::atomic<int> modules{0};
        std::atomic<int> sourceNews{0};
        PulseContext pulse;
        {
            PulseContext::Locker lock(pulse);
            QVERIFY(pulse.connectedLocked());
            pulse.addListenerLocked(PA_SUBSCRIPTION_MASK_MODULE, [&modules](unsigned, quint32) { ++modules; });
        }
        QVERIFY(pulse.watchSources([&sourceNews] { ++sourceNews; }));
        QVERIFY(plug(QStringLiteral("watchmic")));
        QVERIFY(TestEnv::waitFor([&] { return modules.load() > 0 && sourceNews.load() > 0; }));
    }

    // The input is resolved at each start and each prepare: the chosen microphone
    // when present, else the server's current default, never a monitor.
    //   choose [uid]   the setting (none: the system's default)
    //   plug uid, unplug uid   a FIFO microphone comes and goes
    //   default uid    the server's default source
    //   feed uid       20 ms written to a FIFO microphone
    //   prepare        the warm-up
    //   idle uid       one corked stream on uid, nothing kept
    //   record uid     a recording opens uid, and leaves it corked when it ends
    void deviceChoice_data()
    {
        QTest::addColumn<QStringList>("steps");
        auto steps = [](const char *text) { return QString::fromUtf8(text).split(QLatin1Char(';')); };
        QTest::newRow("chosen microphone absent at the first recording, plugged in later")
            << steps("choose tmpmic;record vmic;plug tmpmic;record tmpmic;unplug tmpmic;record vmic;"
                     "plug tmpmic;record tmpmic");
        QTest::newRow("cleared choice follows the server's default")
            << steps("choose pipemic;record pipemic;choose;record vmic;default pipemic;record pipemic;"
                     "default vmic;record vmic");
        QTest::newRow("unknown or monitor choice records the default")
            << steps("choose nowhere;record vmic;choose vsink.monitor;record vmic;choose vsink.monitor;prepare;idle vmic");
        QTest::newRow("the prepared stream follows the default")
            << steps("prepare;idle vmic;default pipemic;prepare;feed pipemic;idle pipemic;record pipemic;"
                     "default vmic;prepare;idle vmic;record vmic");
        QTest::newRow("a chosen microphone unplugged while prepared")
            << steps("plug tmpmic;choose tmpmic;prepare;feed tmpmic;idle tmpmic;unplug tmpmic;record vmic;idle vmic");
    }

    void deviceChoice()
    {
        QFETCH(QStringList, steps);
        AudioRecorder recorder(pulse_, TestEnv::settings());
        // What the last recording left; idling must add nothing to it.
        QByteArray kept;
        for (const QString &step : steps) {
            const QString verb = step.section(QLatin1Char(' '), 0, 0);
            const QString uid = step.section(QLatin1Char(' '), 1);
            const QByteArray where = step.toUtf8();
            if (verb == QLatin1String("choose")) {
                TestEnv::settings()->setMicrophoneUID(uid.isEmpty() ? std::nullopt : std::optional<QString>(uid));
            } else if (verb == QLatin1String("plug")) {
                QVERIFY2(plug(uid), where.constData());
            } else if (verb == QLatin1String("unplug")) {
                QVERIFY2(unload(uid), where.constData());
            } else if (verb == QLatin1String("default")) {
                bool ok = false;
                pactl({QStringLiteral("set-default-source"), uid}, &ok);
                QVERIFY2(ok, where.constData());
            } else if (verb == QLatin1String("feed")) {
                writeAll(uid == QLatin1String("pipemic") ? fifo_ : dir_.filePath(uid + QStringLiteral(".fifo")),
                         blocksOf(1, 0));
            } else if (verb == QLatin1String("prepare")) {
                recorder.prepare();
            } else if (verb == QLatin1String("idle")) {
                const QList<Capture> idle{{uid, true}};
                QVERIFY2(TestEnv::waitFor([&] { return captures() == idle; }, 5000),
                         qPrintable(step + QStringLiteral(": ") + describe(captures())));
                QVERIFY(!recorder.isRecording());
                QCOMPARE(recorder.pcm(0, std::numeric_limits<qsizetype>::max()), kept);
            } else if (verb == QLatin1String("record")) {
                recorder.start();
                QVERIFY2(recorder.isRecording(), where.constData());
                QCOMPARE(recorder.inputDevice(), uid);
                const QList<Capture> running{{uid, false}};
                QVERIFY2(TestEnv::waitFor([&] { return captures() == running; }, 5000),
                         qPrintable(step + QStringLiteral(": ") + describe(captures())));
                recorder.stopRaw();
                kept = recorder.pcm(0, std::numeric_limits<qsizetype>::max());
                QCOMPARE(captures(), (QList<Capture>{{uid, true}}));
            } else {
                QFAIL(where.constData());
            }
        }
    }

    // Without a microphone nothing records, least of all a monitor of what the
    // computer plays.
    void withoutAMicrophone_data()
    {
        QTest::addColumn<QStringList>("gone");
        QTest::addColumn<QString>("chosen");
        QTest::addColumn<QString>("expected"); // empty: no microphone
        const QStringList both{QStringLiteral("vmic"), QStringLiteral("pipemic")};
        QTest::newRow("no microphone") << both << QString() << QString();
        QTest::newRow("no microphone, a monitor chosen") << both << QStringLiteral("vsink.monitor") << QString();
        QTest::newRow("the default gone, another microphone left")
            << QStringList{QStringLiteral("vmic")} << QString() << QStringLiteral("pipemic");
    }

    void withoutAMicrophone()
    {
        QFETCH(QStringList, gone);
        QFETCH(QString, chosen);
        QFETCH(QString, expected);
        TestEnv::settings()->setMicrophoneUID(chosen.isEmpty() ? std::nullopt : std::optional<QString>(chosen));
        AudioRecorder recorder(pulse_, TestEnv::settings());
        recorder.prepare();
        for (const QString &uid : gone)
            QVERIFY(unload(uid));
        QCOMPARE(Permissions::microphone(pulse_), !expected.isEmpty());
        QCOMPARE(Microphones::resolve(pulse_, chosen.isEmpty() ? std::nullopt : std::optional<QString>(chosen)),
                 expected.isEmpty() ? std::nullopt : std::optional<QString>(expected));

        recorder.prepare();
        if (expected.isEmpty()) {
            // The stream prepared on the microphone ended with it; none replaces it.
            QVERIFY2(TestEnv::waitFor([] { return captures().isEmpty(); }, 3000), qPrintable(describe(captures())));
            QVERIFY_THROWS_EXCEPTION(AudioError, recorder.start());
            QVERIFY(!recorder.isRecording());
            QCOMPARE(captures(), QList<Capture>());
            return;
        }
        recorder.start();
        QCOMPARE(recorder.inputDevice(), expected);
        QCOMPARE(captures(), (QList<Capture>{{expected, false}}));
        recorder.stopRaw();
    }

    // The application started on a computer without a microphone says so at
    // start-up and at the key press, and never opens a capture.
    void applicationWithoutAMicrophone_data()
    {
        QTest::addColumn<QStringList>("keys");
        QTest::newRow("held") << QStringList{QStringLiteral("+Control_R"), QStringLiteral("@800"), QStringLiteral("-Control_R")};
        QTest::newRow("tapped") << QStringList{QStringLiteral("+Control_R"), QStringLiteral("@100"), QStringLiteral("-Control_R")};
    }

    void applicationWithoutAMicrophone()
    {
        QFETCH(QStringList, keys);
        QVERIFY(unload(QStringLiteral("vmic")));
        QVERIFY(unload(QStringLiteral("pipemic")));
        ScopedHome home;
        const QString log = home.path() + QStringLiteral("/.local/share/Ombry Voice/journal.log");
        QProcess app;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("OMBRY_TEST_ACCEPT_XTEST"), QStringLiteral("1"));
        // A key, so that the microphone is what the press fails on.
        env.insert(QStringLiteral("OPENROUTER_API_KEY"), QStringLiteral("sk-test"));
        app.setProcessEnvironment(env);
        app.start(QStringLiteral(OMBRY_BINARY), {});
        QVERIFY(app.waitForStarted(5000));
        auto stopApp = qScopeGuard([&app] {
            ::kill(pid_t(app.processId()), SIGTERM);
            if (!app.waitForFinished(10000))
                app.kill();
        });
        QVERIFY2(TestEnv::waitFor([&] { return TestEnv::readFile(log).contains("hotkey: event tap actif"); }, 15000),
                 TestEnv::readFile(log).constData());
        QVERIFY(TestEnv::waitFor([&] { return TestEnv::readFile(log).contains("ordinateur: "); }, 15000));
        QVERIFY2(TestEnv::readFile(log).contains(" démarrage: micro=false "), TestEnv::readFile(log).constData());

        QProcess press;
        press.start(QStringLiteral(OMBRY_TEST_BIN_DIR "/xkeys"), keys);
        QVERIFY(press.waitForFinished(10000));
        QCOMPARE(press.exitCode(), 0);
        QVERIFY2(TestEnv::waitFor([&] { return TestEnv::readFile(log).contains(" erreur: Micro indisponible\n"); }, 5000),
                 TestEnv::readFile(log).constData());
        QCOMPARE(captures(app.processId()), QList<Capture>());
        QVERIFY(!TestEnv::readFile(log).contains("enregistrement: "));
    }

    // Once prepared, the stream waits corked: what the microphone delivers while
    // nobody records is not kept, and a recording holds what came after start().
    void idleAudioIsNotKept_data()
    {
        QTest::addColumn<int>("idleBlocks");  // written while prepared
        QTest::addColumn<int>("blocks");      // written while recording
        QTest::newRow("a short stretch") << 5 << 25;
        QTest::newRow("a long stretch") << 100 << 50;
        QTest::newRow("nothing said") << 20 << 0;
    }

    void idleAudioIsNotKept()
    {
        QFETCH(int, idleBlocks);
        QFETCH(int, blocks);
        TestEnv::settings()->setMicrophoneUID(QStringLiteral("pipemic"));
        AudioRecorder recorder(pulse_, TestEnv::settings());
        Seen seen;
        seen.attach(recorder);
        recorder.prepare();
        writeAll(fifo_, blocksOf(idleBlocks, 7000));
        QVERIFY2(TestEnv::waitFor([] { return captures() == QList<Capture>{{QStringLiteral("pipemic"), true}}; }, 5000),
                 qPrintable(describe(captures())));
        // The FIFO itself holds what the corked source left unread: not ours.
        drain(fifo_);
        QCOMPARE(recorder.pcm(0, std::numeric_limits<qsizetype>::max()), QByteArray());
        QCOMPARE(seen.pauseList(), QList<qsizetype>());

        recorder.start();
        recorder.start(); // already recording: nothing changes
        QVERIFY(recorder.isRecording());
        const QByteArray spoken = blocksOf(blocks, 3000);
        std::thread writer(writeAll, fifo_, spoken);
        const bool arrived = TestEnv::waitFor([&] {
            return recorder.pcm(0, std::numeric_limits<qsizetype>::max()).size() >= spoken.size();
        }, 10000);
        writer.join();
        QVERIFY(arrived);
        const AudioRecorder::Result result = recorder.stop();
        QVERIFY(!recorder.isRecording());
        QCOMPARE(recorder.lastPCM(), spoken);
        QCOMPARE(result.duration, blocks * 0.02);
        QCOMPARE(recorder.lastPeak(), blocks ? 3000 : 0);
        if (!blocks)
            QCOMPARE(result.wav, expectedHeader(0));
        QCOMPARE(captures(), (QList<Capture>{{QStringLiteral("pipemic"), true}}));
    }

    // Byte-exact capture through the FIFO microphone, fed as fast as it reads.
    void capturesThePipeMicrophoneExactly()
    {
        TestEnv::settings()->setMicrophoneUID(QStringLiteral("pipemic"));
        AudioRecorder recorder(pulse_, TestEnv::settings());
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
        QCOMPARE(seen.bufferThreads, QSet<QString>{QStringLiteral("ombry.audio")});
        QCOMPARE(seen.pauseThreads, QStringList(2, QStringLiteral("ombry.audio")));
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
        TestEnv::settings()->setMicrophoneUID(QStringLiteral("pipemic"));
        AudioRecorder recorder(pulse_, TestEnv::settings());
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
        // Handed over, not kept: the recorder holds nothing of it any more.
        QCOMPARE(recorder.pcm(0, std::numeric_limits<qsizetype>::max()), QByteArray());
        QVERIFY(recorder.lastPCM().isEmpty());
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

        AudioRecorder recorder(pulse_, TestEnv::settings());
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

    // A meeting's capture on the sound server tells when its microphone goes away
    // (a headset unplugged), and no longer once it was stopped.
    void meetingCaptureTellsALostMicrophone_data()
    {
        QTest::addColumn<bool>("stoppedFirst");
        QTest::newRow("unplugged while recording") << false;
        QTest::newRow("unplugged after the stop") << true;
    }
    void meetingCaptureTellsALostMicrophone()
    {
        QFETCH(bool, stoppedFirst);
        QVERIFY(plug(QStringLiteral("casque")));
        TestEnv::settings()->setMicrophoneUID(QStringLiteral("casque"));
        MeetingServices services = Wiring::meetings({TestEnv::settings(), TestEnv::keys(), nullptr}, pulse_);
        std::unique_ptr<MeetingCapture> capture = services.makeCapture();
        std::atomic<int> lost{0};
        capture->onLost = [&lost] { ++lost; };
        capture->start([](QByteArrayView) {});
        QCOMPARE(captures(), (QList<Capture>{{QStringLiteral("casque"), false}}));
        if (stoppedFirst)
            capture->stop();
        QVERIFY(unload(QStringLiteral("casque")));
        if (!stoppedFirst) {
            QVERIFY(TestEnv::waitFor([&] { return lost.load() > 0; }, 5000));
            capture->stop();
        } else {
            QVERIFY(TestEnv::waitFor([] { return captures().isEmpty(); }, 3000));
        }
        QCOMPARE(lost.load(), stoppedFirst ? 0 : 1);
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
