// A long meeting recorded and processed with instant engines: memory and time.
//   bench_meeting [minutes]   length of the recording (default 120)

#include "calls/MeetingRecorder.h"
#include "fakes/FakeMeetingMic.h"
#include "model/Store.h"
#include "support/TestEnv.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QMutex>
#include <QSignalSpy>
#include <QtEndian>

#include <cmath>
#include <cstdio>

namespace {

// kB of the process's resident memory: now ("VmRSS") or at its peak ("VmHWM").
qint64 memoryKb(const char *field)
{
    const QList<QByteArray> lines = TestEnv::readFile(QStringLiteral("/proc/self/status")).split('\n');
    for (const QByteArray &line : lines)
        if (line.startsWith(field))
            return line.mid(qsizetype(std::strlen(field)) + 1).trimmed().split(' ').first().toLongLong();
    return 0;
}

void resetPeak()
{
    QFile f(QStringLiteral("/proc/self/clear_refs"));
    if (f.open(QIODevice::WriteOnly))
        f.write("5");
}

} // namespace

int main(int argc, char *argv[])
{
    TestEnv::isolate();
    QCoreApplication app(argc, argv);
    const int minutes = argc > 1 ? std::max(1, QString::fromLocal8Bit(argv[1]).toInt()) : 120;
    QTemporaryDir folder;
    Store store(folder.path());
    auto mic = std::make_shared<FakeMeetingMic>();
    int chunks = 0;
    MeetingServices s;
    s.microphoneAllowed = [] { return true; };
    s.makeCapture = FakeMeetingMic::maker(mic);
    s.transcribe = [&chunks](QByteArray, QString, QStringList) -> QCoro::Task<QString> {
        ++chunks;
        co_return QStringLiteral("Un morceau de la réunion.");
    };
    s.complete = [](QString, QString, QString) -> QCoro::Task<QString> {
        co_return QStringLiteral(R"({"title":"Point","summary":"Résumé.","tasks":["Tâche"]})");
    };
    s.playSound = [](const QString &) {};
    s.language = [] { return Language::Fr; };
    s.store = &store;
    MeetingRecorder recorder(std::move(s));

    // One second of a tone, written again and again as the sound server would.
    QByteArray second(32000, Qt::Uninitialized);
    auto *samples = reinterpret_cast<qint16 *>(second.data());
    for (int i = 0; i < 16000; ++i)
        samples[i] = qToLittleEndian(qint16(6000 * std::sin(2 * M_PI * 440 * i / 16000.0)));

    const qint64 baseline = memoryKb("VmRSS:");
    resetPeak();
    recorder.toggle();
    TestEnv::waitFor([&] { return recorder.state() == MeetingRecorder::State::Recording; });
    QElapsedTimer clock;
    clock.start();
    for (int sec = 0; sec < minutes * 60; ++sec)
        mic->feed(second);
    const double recordSeconds = clock.elapsed() / 1000.0;
    const qint64 afterRecording = memoryKb("VmRSS:");
    QSignalSpy processed(&recorder, &MeetingRecorder::processed);
    clock.restart();
    recorder.toggle();
    processed.wait(600000);
    const double processSeconds = clock.elapsed() / 1000.0;
    const qint64 peak = memoryKb("VmHWM:");
    store.flush();
    const qint64 after = memoryKb("VmRSS:");

    std::printf("meeting of %d min (%d chunks), fed at full speed in %.2f s\n", minutes, chunks, recordSeconds);
    std::printf("  RSS baseline %lld kB, after recording %+lld kB, peak %+lld kB, after saving %+lld kB\n",
                (long long)baseline, (long long)(afterRecording - baseline), (long long)(peak - baseline),
                (long long)(after - baseline));
    std::printf("  stop to saved, instant engines: %.2f s (budget 2 s)\n", processSeconds);
    std::printf("  saved meetings: %lld\n", (long long)store.meetings().size());
    return store.meetings().size() == 1 ? 0 : 1;
}
