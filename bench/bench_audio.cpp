// Audio capture and PCM helpers: what they cost.
//   bench_audio [seconds]   capture length for the overhead figure (default 60)
// The capture figures need the private sound server: run under scripts/session.

#include "audio/AudioRecorder.h"
#include "model/AppSettings.h"
#include "platform/PulseContext.h"
#include "support/TestEnv.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QtEndian>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <thread>

namespace {

// CPU seconds (user + system) of the thread named `name` in this process.
double threadCpuSeconds(const QString &name)
{
    const long ticks = sysconf(_SC_CLK_TCK);
    double total = 0;
    for (const QString &tid : QDir(QStringLiteral("/proc/self/task")).entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        const QString base = QStringLiteral("/proc/self/task/") + tid;
        if (TestEnv::readFile(base + QStringLiteral("/comm")).trimmed() != name.toUtf8())
            continue;
        const QByteArray stat = TestEnv::readFile(base + QStringLiteral("/stat"));
        const QList<QByteArray> fields = stat.mid(stat.lastIndexOf(')') + 2).split(' ');
        if (fields.size() > 12)
            total += double(fields[11].toLongLong() + fields[12].toLongLong()) / double(ticks);
    }
    return total;
}

double processCpuSeconds()
{
    timespec ts;
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return ts.tv_sec + ts.tv_nsec / 1e9;
}

// Speech-like test signal: 1 s silence, then 2 s bursts of a modulated tone
// separated by 0.8 s of quiet.
QByteArray syntheticRecording(int seconds)
{
    const qsizetype n = qsizetype(seconds) * 16000;
    QByteArray pcm(n * 2, '\0');
    auto *s = reinterpret_cast<qint16 *>(pcm.data());
    for (qsizetype i = 16000; i < n; ++i) {
        const qsizetype inCycle = (i - 16000) % 44800;
        if (inCycle >= 32000)
            continue;
        const double t = i / 16000.0;
        const double v = 6000 * std::sin(2 * M_PI * 180 * t) * (0.6 + 0.4 * std::sin(2 * M_PI * 3 * t));
        s[i] = qToLittleEndian(qint16(v));
    }
    return pcm;
}

void benchHelpers()
{
    const QByteArray pcm = syntheticRecording(60);
    constexpr int runs = 20;
    auto best = [&](auto &&work) {
        double ms = 1e9;
        for (int r = 0; r < runs; ++r) {
            QElapsedTimer t;
            t.start();
            work();
            ms = std::min(ms, t.nsecsElapsed() / 1e6);
        }
        return ms;
    };
    QByteArray trimmed, loud, packed;
    double seconds = 0;
    const int peak = AudioRecorder::peakMagnitude(pcm);
    const double trim = best([&] { trimmed = AudioRecorder::trimSilence(pcm); });
    const double norm = best([&] { loud = AudioRecorder::normalize(trimmed, peak); });
    const double speech = best([&] { seconds = AudioRecorder::speechSeconds(pcm); });
    const double pack = best([&] { packed = AudioRecorder::wav(loud); });
    const double peakMs = best([&] { (void)AudioRecorder::peakMagnitude(pcm); });
    std::printf("helpers over a 60 s recording (%lld bytes), best of %d:\n", (long long)pcm.size(), runs);
    std::printf("  trimSilence    %7.3f ms\n", trim);
    std::printf("  normalize      %7.3f ms (peak %d)\n", norm, peak);
    std::printf("  speechSeconds  %7.3f ms (%.2f s of speech)\n", speech, seconds);
    std::printf("  wav            %7.3f ms (%lld bytes)\n", pack, (long long)packed.size());
    std::printf("  together       %7.3f ms (budget 10 ms)\n", trim + norm + speech + pack);
    std::printf("  peak (stop)    %7.3f ms\n", peakMs);
}

// One dictation: start(), a hold of `holdMs` by the clock, stop(). Each block's
// arrival bounds the audio lost at the start: at its arrival t the recorder
// holds N samples, all captured after the first one, so no more than
// t - N / 16000 passed between start() and that first sample.
struct Hold
{
    double lostMs = 0;     // the tightest bound over the hold
    double recorded = 0;   // seconds recorded
};

Hold dictate(AudioRecorder &recorder, int holdMs)
{
    std::atomic<double> bound{1e9};
    std::atomic<qint64> samples{0};
    QElapsedTimer clock;
    recorder.onBuffer = [&](QByteArrayView pcm) {
        const qint64 n = samples += pcm.size() / 2;
        const double ms = clock.nsecsElapsed() / 1e6 - n / 16.0;
        double seen = bound.load();
        while (ms < seen && !bound.compare_exchange_weak(seen, ms)) {
        }
    };
    clock.start();
    recorder.start();
    std::this_thread::sleep_until(std::chrono::steady_clock::now() + std::chrono::milliseconds(holdMs)
                                  - std::chrono::nanoseconds(clock.nsecsElapsed()));
    const AudioRecorder::Result result = recorder.stop();
    recorder.onBuffer = nullptr;
    return {std::max(0.0, samples.load() ? bound.load() : holdMs), result.duration};
}

// The dictation recorder as the application drives it: prepared at start-up,
// a first dictation a few seconds later, and a later one after a long idle
// spell with the warm-up that follows each stop. vmic stands for a microphone
// that delivers in real time. While nothing records from it, the null sink
// behind it renders ahead in 2 s blocks, and no stream can hear it before the
// block under way ends: the first dictation comes 3 s after the warm-up.
void benchDictationStart(PulseContext &pulse)
{
    TestEnv::settings()->setMicrophoneUID(QStringLiteral("vmic"));
    AudioRecorder recorder(pulse, TestEnv::settings());
    QElapsedTimer warm;
    warm.start();
    recorder.prepare();
    const double warmMs = warm.nsecsElapsed() / 1e6;
    std::this_thread::sleep_for(std::chrono::milliseconds(3000));
    const Hold first = dictate(recorder, 2000);
    recorder.prepare();
    std::this_thread::sleep_for(std::chrono::milliseconds(10000));
    const Hold later = dictate(recorder, 2000);
    std::printf("audio lost at the start of a dictation (vmic, 2 s holds, budget 100 ms):\n"
                "  warm-up (prepare) %.1f ms\n"
                "  first dictation, 3 s after the warm-up: lost %.1f ms, %.2f s recorded\n"
                "  later dictation, after 10 s idle:       lost %.1f ms, %.2f s recorded\n",
                warmMs, first.lostMs, first.recorded, later.lostMs, later.recorded);
}

// Delay from start() to the first block while `uid` is fed continuously.
QList<double> firstBlockDelays(PulseContext &pulse, const QString &uid, int trials)
{
    TestEnv::settings()->setMicrophoneUID(uid);
    QList<double> firstMs;
    for (int trial = 0; trial < trials; ++trial) {
        AudioRecorder recorder(pulse, TestEnv::settings());
        std::atomic<qint64> first{-1};
        QElapsedTimer clock;
        recorder.onBuffer = [&](QByteArrayView) {
            qint64 expected = -1;
            first.compare_exchange_strong(expected, clock.nsecsElapsed());
        };
        clock.start();
        recorder.start();
        while (first.load() < 0 && clock.elapsed() < 3000)
            std::this_thread::sleep_for(std::chrono::microseconds(200));
        firstMs << first.load() / 1e6;
        recorder.stopRaw();
    }
    return firstMs;
}

void benchPipeLatency(PulseContext &pulse)
{
    // pipemic fed 20 ms every 20 ms: stands for a hardware microphone that
    // delivers at its own pace.
    const QString fifo = qEnvironmentVariable("OMBRY_TEST_MIC_FIFO");
    if (fifo.isEmpty())
        return;
    std::atomic<bool> stop{false};
    std::thread writer([&] {
        QFile f(fifo);
        if (!f.open(QIODevice::WriteOnly | QIODevice::Unbuffered))
            return;
        const QByteArray chunk(640, '\0');
        const auto begin = std::chrono::steady_clock::now();
        for (int i = 1; !stop.load(); ++i) {
            f.write(chunk);
            std::this_thread::sleep_until(begin + std::chrono::milliseconds(20 * i));
        }
    });
    QList<double> firstMs = firstBlockDelays(pulse, QStringLiteral("pipemic"), 10);
    stop = true;
    writer.join();
    std::sort(firstMs.begin(), firstMs.end());
    std::printf("start() to first block (pipemic fed in real time, 10 runs): median %.1f ms, max %.1f ms\n",
                firstMs[5], firstMs.last());
}

void benchStartLatency(PulseContext &pulse)
{
    // vmic delivers the null sink's monitor in real time: blocks flow at once.
    TestEnv::settings()->setMicrophoneUID(QStringLiteral("vmic"));
    QList<double> startMs, firstMs;
    for (int trial = 0; trial < 10; ++trial) {
        AudioRecorder recorder(pulse, TestEnv::settings());
        std::atomic<qint64> first{-1};
        QElapsedTimer clock;
        recorder.onBuffer = [&](QByteArrayView) {
            qint64 expected = -1;
            first.compare_exchange_strong(expected, clock.nsecsElapsed());
        };
        clock.start();
        recorder.start();
        startMs << clock.nsecsElapsed() / 1e6;
        while (first.load() < 0 && clock.elapsed() < 3000)
            std::this_thread::sleep_for(std::chrono::microseconds(200));
        firstMs << first.load() / 1e6;
        recorder.stopRaw();
    }
    // The first stream of the process also wakes the null sink behind vmic, which
    // renders ahead in long chunks while idle: reported apart.
    std::printf("first block of the first stream (cold): %.1f ms\n", firstMs.takeFirst());
    startMs.removeFirst();
    std::printf("first blocks (ms):");
    for (double ms : firstMs)
        std::printf(" %.1f", ms);
    std::printf("\n");
    std::sort(startMs.begin(), startMs.end());
    std::sort(firstMs.begin(), firstMs.end());
    std::printf("start() to first block (vmic, 9 warm runs): start() median %.1f ms, max %.1f ms; "
                "first block median %.1f ms, max %.1f ms\n",
                startMs[4], startMs.last(), firstMs[4], firstMs.last());
}

void benchCaptureOverhead(PulseContext &pulse, int seconds)
{
    // pipemic fed in real time, 20 ms every 20 ms, from a writer thread whose own
    // cost is not the recorder's.
    const QString fifo = qEnvironmentVariable("OMBRY_TEST_MIC_FIFO");
    if (fifo.isEmpty()) {
        std::printf("capture overhead: no OMBRY_TEST_MIC_FIFO, skipped\n");
        return;
    }
    TestEnv::settings()->setMicrophoneUID(QStringLiteral("pipemic"));
    const QByteArray pcm = syntheticRecording(seconds);
    AudioRecorder recorder(pulse, TestEnv::settings());
    std::atomic<qint64> levels{0};
    recorder.onLevel = [&](double) { ++levels; };
    recorder.start();

    const double audioBefore = threadCpuSeconds(QStringLiteral("ombry.audio"));
    const double processBefore = processCpuSeconds();
    std::atomic<bool> done{false};
    double writerCpu = 0;
    std::thread writer([&] {
        QFile f(fifo);
        if (!f.open(QIODevice::WriteOnly | QIODevice::Unbuffered)) {
            done = true;
            return;
        }
        timespec ts0;
        clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts0);
        const auto begin = std::chrono::steady_clock::now();
        constexpr qsizetype chunk = 640;
        for (qsizetype at = 0; at < pcm.size(); at += chunk) {
            f.write(pcm.constData() + at, std::min(chunk, pcm.size() - at));
            std::this_thread::sleep_until(begin + std::chrono::milliseconds(20 * (at / chunk + 1)));
        }
        timespec ts1;
        clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts1);
        writerCpu = (ts1.tv_sec - ts0.tv_sec) + (ts1.tv_nsec - ts0.tv_nsec) / 1e9;
        done = true;
    });
    QElapsedTimer wall;
    wall.start();
    while (!done.load() || recorder.pcm(0, pcm.size()).size() < pcm.size() - 640) {
        QCoreApplication::processEvents();
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
        if (done.load() && wall.elapsed() > (seconds + 10) * 1000)
            break;
    }
    writer.join();
    const double audioCpu = threadCpuSeconds(QStringLiteral("ombry.audio")) - audioBefore;
    const double processCpu = processCpuSeconds() - processBefore - writerCpu;
    const double elapsed = wall.elapsed() / 1000.0;
    const qsizetype captured = recorder.stopRaw().size();
    std::printf("capture overhead over %.1f s (pipemic in real time, %lld of %lld bytes, %lld levels):\n",
                elapsed, (long long)captured, (long long)pcm.size(), (long long)levels.load());
    std::printf("  sound thread \"ombry.audio\"  %.3f s CPU = %.3f%% of one core\n", audioCpu,
                100 * audioCpu / elapsed);
    std::printf("  whole process (less the feeder) %.3f s CPU = %.3f%% of one core (budget 2%%)\n", processCpu,
                100 * processCpu / elapsed);
}

} // namespace

int main(int argc, char *argv[])
{
    TestEnv::isolate();
    QCoreApplication app(argc, argv);
    StandardData data;
    const int seconds = argc > 1 ? std::max(1, QByteArray(argv[1]).toInt()) : 60;
    benchHelpers();
    if (qEnvironmentVariableIsEmpty("PULSE_SERVER")) {
        std::printf("capture: no private sound server (run under scripts/session), skipped\n");
        return 0;
    }
    PulseContext pulse;
    // First: the null sink behind vmic is still idle, as after a fresh login.
    benchDictationStart(pulse);
    benchStartLatency(pulse);
    benchPipeLatency(pulse);
    benchCaptureOverhead(pulse, seconds);
    return 0;
}
