// Call subtitles: what capturing, mixing and segmenting cost.
//   bench_calls            all figures; the live ones need the private sound
//                          server (run under scripts/session)
// Figures: one hour of synthetic call sound through the mixer and segmenter;
// CPU of the live capture with one and with eight playback streams; wake-ups of
// the capture thread while stopped; end of speech → segment request (p50, p95).

#include "calls/CallAudioQueue.h"
#include "calls/CallMixer.h"
#include "calls/CallSegmenter.h"
#include "calls/CallTranslator.h"
#include "platform/PulseAppCapture.h"
#include "platform/PulseContext.h"
#include "support/TestEnv.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QProcess>
#include <QTemporaryDir>

#include <sys/resource.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdio>
#include <vector>

namespace {

double cpuSeconds()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec)
           + double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

// Voluntary and involuntary switches of the thread named `name`: its wake-ups.
qint64 wakeups(const QString &name)
{
    qint64 total = 0;
    for (const QString &tid : QDir(QStringLiteral("/proc/self/task")).entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        const QString base = QStringLiteral("/proc/self/task/") + tid;
        // The kernel keeps 15 bytes of a thread's name.
        if (TestEnv::readFile(base + QStringLiteral("/comm")).trimmed() != name.toUtf8().left(15))
            continue;
        for (const QByteArray &line : TestEnv::readFile(base + QStringLiteral("/status")).split('\n')) {
            if (line.startsWith("voluntary_ctxt_switches") || line.startsWith("nonvoluntary_ctxt_switches"))
                total += line.mid(line.indexOf(':') + 1).trimmed().toLongLong();
        }
    }
    return total;
}

void offlineHour()
{
    // Speech-like bursts: 2 s of a 300 Hz wave, 1 s of silence, for one hour.
    CallMixer mixer;
    mixer.setMaxQueued(INT_MAX);
    CallSegmenter segmenter;
    std::vector<float> block(CallMixer::kBlockSamples);
    float mixed[CallMixer::kBlockSamples];
    const qint64 blocks = 3600LL * 16000 / CallMixer::kBlockSamples;
    int segments = 0;
    QElapsedTimer clock;
    clock.start();
    for (qint64 b = 0; b < blocks; ++b) {
        const bool voiced = (b % 150) < 100;
        for (int i = 0; i < CallMixer::kBlockSamples; ++i)
            block[size_t(i)] = voiced ? 0.3f * std::sin(float(b * CallMixer::kBlockSamples + i) * 0.1178f) : 0.0f;
        mixer.push(1, block.data(), CallMixer::kBlockSamples);
        mixer.mix(mixed);
        if (segmenter.feed(mixed, CallMixer::kBlockSamples))
            ++segments;
    }
    std::printf("one hour of call sound mixed and segmented: %.2f s (%d segments; budget 2 s)\n",
                double(clock.nsecsElapsed()) / 1e9, segments);
}

// Plays `wav` from `n` paplay processes named "BenchCall".
QList<QProcess *> play(const QString &wav, int n)
{
    QList<QProcess *> players;
    for (int i = 0; i < n; ++i) {
        auto *p = new QProcess;
        p->start(QStringLiteral("paplay"),
                 {QStringLiteral("--client-name=BenchCall"), QStringLiteral("--latency-msec=40"), wav});
        p->waitForStarted();
        players << p;
    }
    return players;
}

void finish(QList<QProcess *> &players)
{
    for (QProcess *p : players) {
        p->kill();
        p->waitForFinished();
        delete p;
    }
    players.clear();
}

void liveCpu(PulseContext &pulse, const QString &wav, int streams)
{
    CallAudioQueue queue;
    CallSegmenter segmenter;
    PulseAppCapture capture(pulse);
    CaptureTarget target;
    target.bundleId = QStringLiteral("benchcall");
    QList<QProcess *> players = play(wav, streams);
    QThread::msleep(500);
    AppAudioCapture::Handlers handlers;
    handlers.samples = [&queue](quint32 s, const float *x, int n) { queue.mixer().push(s, x, n); };
    handlers.ended = [&queue](quint32 s) { queue.mixer().end(s); };
    queue.startPacing([&segmenter](const float *b, int n) { segmenter.feed(b, n); }, queue.mixer().epoch());
    auto task = capture.start(target, handlers);
    QCoro::waitFor(task);
    TestEnv::waitFor([&capture, streams] { return capture.streams() == streams; }, 3000);
    const int attached = capture.streams();
    TestEnv::waitFor([] { return false; }, 500);
    const double cpu0 = cpuSeconds();
    QElapsedTimer clock;
    clock.start();
    TestEnv::waitFor([] { return false; }, 8000);
    const double share = (cpuSeconds() - cpu0) / (double(clock.nsecsElapsed()) / 1e9) * 100;
    std::printf("live capture and mixing, %d stream(s) (%d attached): %.2f %% of one core (budget %d %%)\n", streams,
                attached, share, streams == 1 ? 2 : 4);
    capture.stop();
    queue.stopPacing();
    queue.sync();
    finish(players);

    const qint64 before = wakeups(QStringLiteral("ombry.call.audio"));
    TestEnv::waitFor([] { return false; }, 3000);
    std::printf("  wake-ups of the capture thread in 3 s stopped: %lld\n",
                static_cast<long long>(wakeups(QStringLiteral("ombry.call.audio")) - before));
}

void latency(PulseContext &pulse, const QString &dir)
{
    // Ten phrases (1 s of a voiced wave) separated by 1.5 s of silence.
    const QString wav = dir + QStringLiteral("/phrases.wav");
    QStringList args{QStringLiteral("-n"), QStringLiteral("-r"), QStringLiteral("16000"), QStringLiteral("-c"),
                     QStringLiteral("1"), wav, QStringLiteral("synth"), QStringLiteral("1"), QStringLiteral("sine"),
                     QStringLiteral("300"), QStringLiteral("vol"), QStringLiteral("0.3"), QStringLiteral("pad"),
                     QStringLiteral("0"), QStringLiteral("1.5"), QStringLiteral("repeat"), QStringLiteral("9")};
    if (QProcess::execute(QStringLiteral("sox"), args) != 0) {
        std::printf("end of speech → request: sox failed\n");
        return;
    }
    std::atomic<qint64> lastVoiced{0};
    QElapsedTimer clock;
    clock.start();
    QList<double> delays;
    CallServices s;
    s.transcribe = [&](QByteArray, QString) -> QCoro::Task<GeminiSpeech::Translated> {
        delays << double(clock.nsecsElapsed() / 1000000 - lastVoiced.load()) / 1000.0;
        co_return GeminiSpeech::Translated{QStringLiteral("x"), QStringLiteral("x")};
    };
    s.makeCapture = [&]() -> std::unique_ptr<AppAudioCapture> {
        // Notes when voiced sound last reached us.
        class Timed final : public AppAudioCapture
        {
        public:
            Timed(PulseContext &pulse, std::atomic<qint64> &last, QElapsedTimer &clock)
                : real_(pulse), last_(last), clock_(clock)
            {
            }
            QCoro::Task<void> start(CaptureTarget target, Handlers handlers) override
            {
                auto inner = handlers.samples;
                handlers.samples = [this, inner](quint32 st, const float *x, int n) {
                    for (int i = 0; i < n; ++i) {
                        if (std::fabs(x[i]) > 0.02f) {
                            last_.store(clock_.nsecsElapsed() / 1000000);
                            break;
                        }
                    }
                    inner(st, x, n);
                };
                auto task = real_.start(std::move(target), std::move(handlers));
                co_await std::move(task);
            }
            void stop() override { real_.stop(); }
            int streams() const override { return real_.streams(); }

        private:
            PulseAppCapture real_;
            std::atomic<qint64> &last_;
            QElapsedTimer &clock_;
        };
        return std::make_unique<Timed>(pulse, lastVoiced, clock);
    };
    s.soundAvailable = []() -> QCoro::Task<bool> { co_return true; };
    s.resolveTarget = [](std::optional<QString> id) {
        CaptureTarget t;
        t.bundleId = id;
        return t;
    };
    CallTranslator call(std::move(s));
    call.setTargetBundleIdText(QStringLiteral("benchcall"));
    QList<QProcess *> players = play(wav, 1);
    QThread::msleep(300);
    call.start();
    TestEnv::waitFor([&] { return delays.size() >= 9; }, 40000);
    call.stop();
    finish(players);
    if (delays.isEmpty()) {
        std::printf("end of speech → request: no segment\n");
        return;
    }
    std::sort(delays.begin(), delays.end());
    const auto at = [&](double q) { return delays.at(std::min<qsizetype>(delays.size() - 1, qsizetype(q * delays.size()))); };
    std::printf("end of speech → segment request over %lld phrases: p50 %.2f s, p95 %.2f s (budget p95 1.0 s)\n",
                static_cast<long long>(delays.size()), at(0.5), at(0.95));
}

} // namespace

int main(int argc, char *argv[])
{
    TestEnv::isolate();
    QCoreApplication app(argc, argv);
    offlineHour();
    PulseContext pulse;
    if (!pulse.serverAnswers(1000)) {
        std::printf("no sound server: live figures skipped (run under scripts/session)\n");
        return 0;
    }
    QTemporaryDir dir;
    const QString wav = dir.filePath(QStringLiteral("voice.wav"));
    QProcess::execute(QStringLiteral("sox"), {QStringLiteral("-n"), QStringLiteral("-r"), QStringLiteral("16000"),
                                              QStringLiteral("-c"), QStringLiteral("1"), wav, QStringLiteral("synth"),
                                              QStringLiteral("30"), QStringLiteral("pinknoise"), QStringLiteral("vol"),
                                              QStringLiteral("0.2")});
    liveCpu(pulse, wav, 1);
    liveCpu(pulse, wav, 8);
    latency(pulse, dir.path());
    return 0;
}
