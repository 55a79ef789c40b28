// Time from the dictation key press to a started microphone, with the
// production neighbours of the controller, while the focused application is a
// GTK editor that answers the accessibility bus, then one that stopped answering
// it (SIGSTOP). Voice commands are on, so every press reads the selection. Also
// how long the hand-over then waited for that selection.
#include "app/Wiring.h"
#include "audio/MicrophoneList.h"
#include "dictation/DictationController.h"
#include "model/AppSettings.h"
#include "platform/Accessibility.h"
#include "platform/PulseContext.h"
#include "support/TestEnv.h"
#include "tools/gtk_apps.h"

#include <QApplication>
#include <QElapsedTimer>

#include <algorithm>
#include <atomic>
#include <cstdio>

namespace {

QElapsedTimer gClock;

// The real microphone, noting when start() returned.
class TimedRecorder final : public DictationRecorder
{
public:
    explicit TimedRecorder(std::unique_ptr<DictationRecorder> inner) : inner_(std::move(inner))
    {
        inner_->onLevel = [this](double level) {
            if (onLevel)
                onLevel(level);
        };
        inner_->onPause = [this](qint64 bytes) {
            if (onPause)
                onPause(bytes);
        };
    }
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

struct Figures
{
    QList<double> pressToMicrophone; // ms
    QList<double> handOverWait;      // ms from the release to the road
};

void print(const char *what, QList<double> values, const char *goal)
{
    std::sort(values.begin(), values.end());
    std::printf("%s, %lld essais : médiane %.1f ms, max %.1f ms%s\n", what, qint64(values.size()),
                values.at(values.size() / 2), values.last(), goal);
}

} // namespace

int main(int argc, char *argv[])
{
    TestEnv::isolate();
    if (qEnvironmentVariableIsEmpty("DISPLAY")) {
        std::printf("appui → micro: ignoré (pas de bureau privé)\n");
        return 0;
    }
    QApplication app(argc, argv);
    StandardData data;
    gClock.start();
    DesktopTools::GtkApp editor;
    if (!editor.start(QStringLiteral("mousepad"), {QStringLiteral("--disable-server")})) {
        std::printf("appui → micro: ignoré (mousepad absent)\n");
        return 0;
    }
    AppSettings *settings = TestEnv::settings();
    settings->setVoiceCommands(true);
    settings->setSounds(false);
    settings->setTranscriptionEngine(TranscriptionEngine::Gemini);
    settings->setRewriteEngine(RewriteEngine::Local);
    Accessibility::warmUp();
    // The first walk is done and the editor known, as after start-up.
    if (!TestEnv::waitFor([] { return Accessibility::focusedIsEditable(3000) == true; }, 15000)) {
        std::printf("appui → micro: l'éditeur ne répond pas par l'accessibilité\n");
        return 1;
    }

    TimedRecorder *recorder = nullptr;
    qint64 roadNs = -1;
    // The devices are read in the background, as the program does at start.
    PulseContext pulse;
    MicrophoneList microphones(pulse);
    microphones.refresh();
    if (!TestEnv::waitFor([&microphones] { return microphones.answered(); }, 5000)) {
        std::printf("appui → micro: le serveur de son ne répond pas\n");
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
    services.road = [&roadNs](DictationController *controller, DictationController::RoadRun run) -> QCoro::Task<> {
        roadNs = gClock.nsecsElapsed();
        controller->finishRoad(run.seq);
        co_return;
    };
    DictationController controller(data.settings(), services);
    controller.warmUpAudio();
    QTest::qWait(1500);

    const auto dictate = [&](Figures &figures) {
        recorder->startedNs = -1;
        roadNs = -1;
        const qint64 pressed = gClock.nsecsElapsed();
        controller.hotkey().onPress();
        if (!TestEnv::waitFor([&] { return recorder->startedNs.load() >= 0; }, 5000))
            return false;
        figures.pressToMicrophone << (recorder->startedNs.load() - pressed) / 1e6;
        QTest::qWait(800);
        const qint64 released = gClock.nsecsElapsed();
        controller.hotkey().onRelease();
        if (!TestEnv::waitFor([&] { return controller.state() == DictationController::State::Idle; }, 8000))
            return false;
        if (roadNs >= 0)
            figures.handOverWait << (roadNs - released) / 1e6;
        QTest::qWait(200);
        return true;
    };

    Figures answering;
    Figures frozen;
    for (int run = 0; run < 8; ++run) {
        if (!dictate(answering)) {
            std::printf("appui → micro: la dictée n'a pas abouti\n");
            return 1;
        }
    }
    editor.freeze();
    for (int run = 0; run < 8; ++run) {
        if (!dictate(frozen)) {
            editor.resume();
            std::printf("appui → micro (application figée): la dictée n'a pas abouti\n");
            return 1;
        }
    }
    editor.resume();

    print("appui → micro démarré, éditeur GTK qui répond", answering.pressToMicrophone, " (objectif ≤ 30 ms)");
    print("appui → micro démarré, éditeur GTK figé (SIGSTOP)", frozen.pressToMicrophone, " (objectif ≤ 30 ms)");
    if (!answering.handOverWait.isEmpty())
        print("relâche → route, éditeur qui répond (attente de la sélection)", answering.handOverWait, "");
    if (!frozen.handOverWait.isEmpty())
        print("relâche → route, éditeur figé (attente de la sélection, bornée)", frozen.handOverWait, "");
    return 0;
}
