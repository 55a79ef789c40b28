// Time from the dictation key press to a started microphone on the Wayland
// desktop (scripts/session --wayland), with the production neighbours of the
// controller, by each key route that needs no keyboard device:
// - the compositor's binding: wtype presses F8, sway runs `ombry-voice --action
//   dictee-debut` (its own start included) which hands it over the bus;
// - the command alone: `ombry-voice --action dictee-debut` started here;
// - the global shortcuts portal: the test portal sends Activated.
#include "app/Startup.h"
#include "app/Wiring.h"
#include "audio/MicrophoneList.h"
#include "dictation/DictationController.h"
#include "model/AppSettings.h"
#include "platform/PulseContext.h"
#include "shell/SingleInstance.h"
#include "support/TestEnv.h"
#include "support/WaylandWindows.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QProcess>

#include <algorithm>
#include <atomic>
#include <cstdio>

namespace {

QElapsedTimer gClock;

class TimedRecorder final : public DictationRecorder
{
public:
    explicit TimedRecorder(std::unique_ptr<DictationRecorder> inner) : inner_(std::move(inner)) {}
    void start() override
    {
        inner_->start();
        startedNs = gClock.nsecsElapsed();
    }
    Recording stop() override { return inner_->stop(); }
    bool warmUp() override { return inner_->warmUp(); }
    QByteArray pcm(qint64 from, qint64 to) override { return inner_->pcm(from, to); }
    std::atomic<qint64> startedNs{-1};

private:
    std::unique_ptr<DictationRecorder> inner_;
};

void print(const char *what, QList<double> values)
{
    if (values.isEmpty()) {
        std::printf("%s : aucune mesure\n", what);
        return;
    }
    std::sort(values.begin(), values.end());
    std::printf("%s, %lld essais : médiane %.1f ms, max %.1f ms\n", what, qint64(values.size()),
                values.at(values.size() / 2), values.last());
}

bool run(const QString &program, const QStringList &arguments)
{
    QProcess p;
    p.start(program, arguments);
    return p.waitForFinished(5000) && p.exitCode() == 0;
}

} // namespace

int main(int argc, char *argv[])
{
    TestEnv::isolate();
    if (!WaylandWindows::session()) {
        std::printf("appui → micro (Wayland): ignoré (pas de bureau Wayland privé, scripts/session --wayland)\n");
        return 0;
    }
    QApplication app(argc, argv);
    StandardData data;
    gClock.start();
    AppSettings *settings = TestEnv::settings();
    settings->setVoiceCommands(true);
    settings->setSounds(false);
    settings->setTranscriptionEngine(TranscriptionEngine::Gemini);
    settings->setRewriteEngine(RewriteEngine::Local);

    TimedRecorder *recorder = nullptr;
    PulseContext pulse;
    MicrophoneList microphones(pulse);
    microphones.refresh();
    if (!TestEnv::waitFor([&microphones] { return microphones.answered(); }, 5000)) {
        std::printf("appui → micro (Wayland): le serveur de son ne répond pas\n");
        return 1;
    }
    const DictationData program{data.settings(), data.store(), data.keys()};
    DictationController::Services services = Wiring::dictation(program, data.readiness(), pulse, &microphones, {});
    services.openRouterReachable = [] { return true; };
    services.makeRecorder = [&pulse, &recorder] {
        auto timed = std::make_unique<TimedRecorder>(DictationRecorder::microphone(pulse, TestEnv::settings()));
        recorder = timed.get();
        return std::unique_ptr<DictationRecorder>(std::move(timed));
    };
    services.road = [](DictationController *controller, DictationController::RoadRun run) -> QCoro::Task<> {
        controller->finishRoad(run.seq);
        co_return;
    };
    DictationController controller(data.settings(), services);
    controller.hotkey().setRoute(SessionRoutes::Keys::Actions);
    controller.start();
    controller.warmUpAudio();
    SingleInstance instance(QDBusConnection::sessionBus());
    if (instance.claim() != SingleInstance::Outcome::Primary) {
        std::printf("appui → micro (Wayland): le nom du programme est déjà pris sur le bus\n");
        return 1;
    }
    Startup::wireActions(instance, &controller);
    const QString action = QStringLiteral("exec " OMBRY_BINARY " --action ");
    if (!run(QStringLiteral("swaymsg"), {QStringLiteral("bindsym --no-repeat F8 ") + action + QStringLiteral("dictee-debut")})
        || !run(QStringLiteral("swaymsg"), {QStringLiteral("bindsym --release F8 ") + action + QStringLiteral("dictee-fin")})) {
        std::printf("appui → micro (Wayland): sway refuse les raccourcis\n");
        return 1;
    }
    QProcess portal;
    portal.start(QStringLiteral(OMBRY_TEST_BIN_DIR "/fake_shortcuts_portal"), {});
    QTest::qWait(1500);

    // One dictation: `press` starts it, the key is held 800 ms, `release` ends it.
    const auto dictate = [&](QList<double> &figures, const std::function<void()> &press,
                             const std::function<void()> &release) {
        if (recorder)
            recorder->startedNs = -1;
        const qint64 pressed = gClock.nsecsElapsed();
        press();
        if (!TestEnv::waitFor([&] { return recorder && recorder->startedNs.load() >= 0; }, 5000))
            return false;
        figures << (recorder->startedNs.load() - pressed) / 1e6;
        QTest::qWait(800);
        release();
        if (!TestEnv::waitFor([&] { return controller.state() == DictationController::State::Idle; }, 8000))
            return false;
        QTest::qWait(300);
        return true;
    };

    QList<double> binding, command, shortcuts;
    QProcess wtype;
    for (int i = 0; i < 8; ++i) {
        if (!dictate(binding, [&] { wtype.start(QStringLiteral("wtype"), {QStringLiteral("-P"), QStringLiteral("F8"), QStringLiteral("-s"), QStringLiteral("900"), QStringLiteral("-p"), QStringLiteral("F8")}); },
                     [&] { wtype.waitForFinished(5000); })) {
            std::printf("appui → micro (Wayland): la dictée par le raccourci de sway n'a pas abouti\n");
            return 1;
        }
    }
    for (int i = 0; i < 8; ++i) {
        QProcess cli;
        if (!dictate(command, [&] { cli.start(QStringLiteral(OMBRY_BINARY), {QStringLiteral("--action"), QStringLiteral("dictee-debut")}); },
                     [&] {
                         cli.waitForFinished(5000);
                         run(QStringLiteral(OMBRY_BINARY), {QStringLiteral("--action"), QStringLiteral("dictee-fin")});
                     })) {
            std::printf("appui → micro (Wayland): la dictée par --action n'a pas abouti\n");
            return 1;
        }
    }
    // The portal route: the same controller, its keys from the test portal.
    controller.hotkey().stop();
    controller.hotkey().setRoute(SessionRoutes::Keys::Portal);
    controller.hotkey().start();
    if (TestEnv::waitFor([&] { return controller.hotkey().active(); }, 5000)) {
        for (int i = 0; i < 8; ++i)
            if (!dictate(shortcuts, [&] { portal.write("activate dictee\n"); }, [&] { portal.write("deactivate dictee\n"); }))
                break;
    }
    portal.closeWriteChannel();
    portal.waitForFinished(3000);

    print("appui → micro démarré, raccourci de sway → ombry-voice --action (lancement de wtype compris)", binding);
    print("appui → micro démarré, ombry-voice --action seul", command);
    print("appui → micro démarré, portail GlobalShortcuts (Activated)", shortcuts);
    return 0;
}
