#include "app/Wiring.h"

#include "audio/AudioRecorder.h"
#include "audio/MicrophoneList.h"
#include "calls/CallApps.h"
#include "dictation/Chunker.h"
#include "dictation/DictationSpool.h"
#include "dictation/ProcessingRoad.h"
#include "dictation/SelectionActions.h"
#include "engines/CloudFirst.h"
#include "engines/EngineReadiness.h"
#include "engines/GeminiSpeech.h"
#include "engines/Net.h"
#include "engines/OpenRouter.h"
#include "engines/Services.h"
#include "engines/Tone.h"
#include "model/AppSettings.h"
#include "model/Defaults.h"
#include "model/KeyStore.h"
#include "model/Store.h"
#include "platform/Accessibility.h"
#include "platform/FrontmostApp.h"
#include "platform/KeyPoster.h"
#include "platform/Permissions.h"
#include "platform/PulseAppCapture.h"
#include "platform/PulseContext.h"
#include "platform/RunningApps.h"
#include "platform/Sounds.h"
#include "text/Translator.h"

#include <QPointer>
#include <QtConcurrent>

#include <QCoro/QCoroFuture>

#include <map>

using namespace Qt::StringLiterals;

namespace {

// How long a dictation's hand-over may wait for the selection of the focused
// element (a hung application answers never).
constexpr int kSelectionTimeoutMs = 400;

// The chunker of a long dictation, cutting from the recorder's PCM.
class RecordingChunker final : public DictationChunker
{
public:
    RecordingChunker(DictationData data, QString tone, std::function<QByteArray(qint64, qint64)> slice)
        : chunker_(std::move(tone), Chunker::work(data)), slice_(std::move(slice))
    {
    }
    void cut(qint64 at) override
    {
        chunker_.cut(at, [this](qsizetype from, qsizetype to) { return slice_(from, to); });
    }
    void cancel() override { chunker_.cancel(); }
    int taskCount() const override { return chunker_.taskCount(); }
    QCoro::Task<std::optional<ChunkTexts>> finish(QByteArray pcm) override
    {
        QCoro::Task<Chunker::Result> joining = chunker_.finish(std::move(pcm));
        const Chunker::Result joined = co_await std::move(joining);
        if (!joined)
            co_return std::nullopt;
        co_return ChunkTexts{joined->raw, joined->clean};
    }

private:
    Chunker chunker_;
    std::function<QByteArray(qint64, qint64)> slice_;
};

// What one processing road may do to the controller: only while it is still the
// road the controller waits for.
class ControllerRoadHost final : public RoadHost
{
public:
    ControllerRoadHost(DictationController *controller, quint64 seq) : controller_(controller), seq_(seq) {}
    bool owns(quint64 serial) const override
    {
        return controller_ && serial == seq_ && controller_->isCurrentRoad(seq_)
               && controller_->state() == DictationController::State::Processing;
    }
    void fail(const QString &message) override
    {
        if (controller_)
            controller_->fail(message);
    }
    void show(const QString &message) override
    {
        if (controller_)
            controller_->show(message, false);
    }
    void setLastError(const QString &message) override
    {
        if (controller_)
            controller_->setLastError(message);
    }
    void clearCommandText() override
    {
        if (controller_ && controller_->isCurrentRoad(seq_))
            controller_->setCommandText(std::nullopt);
    }
    void finish() override
    {
        if (controller_)
            controller_->finishRoad(seq_);
    }

private:
    QPointer<DictationController> controller_;
    quint64 seq_;
};

QCoro::Task<> processingRoad(DictationController *controller, DictationController::RoadRun run, DictationData data,
                             Paster *paster)
{
    ControllerRoadHost host(controller, run.seq);
    ProcessingRoad::Request request;
    request.serial = run.seq;
    request.id = run.id;
    request.wav = std::move(run.wav);
    request.duration = run.duration;
    request.app = std::move(run.app);
    if (run.pre)
        request.pre = ChunkText{run.pre->raw, run.pre->clean};
    request.commandText = controller->commandText();
    request.focus = controller->targetFocus();
    request.translate = controller->translateThis();
    request.startedAt = controller->startedAt();
    QCoro::Task<> road = ProcessingRoad::run(&host, data, std::move(request), RoadDesktop::system(paster));
    co_await std::move(road);
}

// What the selection actions may do to the controller.
class ControllerSelectionHost final : public SelectionHost
{
public:
    ControllerSelectionHost(DictationController *controller, DictationData data, Wiring::DictationOutputs outputs)
        : controller_(controller), data_(data), outputs_(outputs)
    {
    }
    bool isIdle() const override { return controller_ && controller_->state() == DictationController::State::Idle; }
    bool isCorrecting() const override
    {
        return controller_ && controller_->state() == DictationController::State::Correcting;
    }
    void beginCorrecting(bool translate) override
    {
        if (!controller_)
            return;
        controller_->setTranslating(translate);
        controller_->setState(DictationController::State::Correcting);
    }
    void setIdle() override
    {
        if (controller_)
            controller_->setState(DictationController::State::Idle);
    }
    void fail(const QString &message) override
    {
        if (controller_)
            controller_->fail(message);
    }
    void show(const QString &message) override
    {
        if (controller_)
            controller_->show(message, false);
    }
    bool trusted() const override { return Permissions::accessibility(); }
    Paster *paster() const override { return outputs_.paster; }
    DictationData data() const override { return data_; }
    Reader *reader() const override { return outputs_.reader; }
    BubbleController *bubble() const override { return outputs_.bubble; }

private:
    QPointer<DictationController> controller_;
    DictationData data_;
    Wiring::DictationOutputs outputs_;
};

// The microphone through the program's own recorder, keeping nothing in memory:
// every block goes to the sink.
class MicrophoneCapture final : public MeetingCapture
{
public:
    MicrophoneCapture(PulseContext &pulse, AppSettings *settings) : recorder_(pulse, settings)
    {
        recorder_.setKeepSamples(false);
    }
    ~MicrophoneCapture() override
    {
        recorder_.onLost = nullptr;
        recorder_.onBuffer = nullptr;
    }

    void start(std::function<void(QByteArrayView)> sink) override
    {
        recorder_.onBuffer = std::move(sink);
        recorder_.onLost = onLost;
        recorder_.start();
    }
    void stop() override
    {
        recorder_.onLost = nullptr;
        recorder_.stopRaw();
        recorder_.onBuffer = nullptr;
    }

private:
    AudioRecorder recorder_;
};

bool sameApp(const RunningApp &app, const QStringList &ids)
{
    return app.bundleId && ids.contains(*app.bundleId, Qt::CaseInsensitive);
}

} // namespace

DictationController::Services Wiring::dictation(DictationData data, EngineReadiness *readiness, PulseContext &pulse,
                                                MicrophoneList *microphones, DictationOutputs outputs)
{
    DictationController::Services services;
    QPointer<MicrophoneList> list(microphones);
    services.microphoneAvailable = [list, &pulse] { return microphonePresent(list, pulse); };
    services.trusted = Permissions::accessibility;
    services.playSound = Sounds::play;
    QPointer<KeyStore> keyStore(data.keys);
    services.hasDeepgramKey = [keyStore] { return keyStore && keyStore->key(APIService::Deepgram).has_value(); };
    // The transport's rule (the user's key, else the hosted service), or a local
    // transcription server that answered; the next press sees a fresher probe.
    services.openRouterReachable = [access = data.access(), readiness] {
        const bool possible = CloudFirst::dictationPossible(access);
        readiness->refresh();
        return possible;
    };
    Store *store = data.store;
    services.keepRecording = [store](Dictation entry, QByteArray wav, QString cause) {
        Road::keepRecording(store, entry, wav, cause);
        store->flush(); // the process is about to end
    };
    services.spoolPath = [store](QUuid id) { return DictationSpool::path(store, id); };
    services.releaseSpool = [store](QUuid id) { DictationSpool::release(store, id); };
    services.warmUpNetwork = Net::warmUp;
    services.readFocus = [](std::function<void(Accessibility::FocusRead)> done) {
        Accessibility::readFocus(kSelectionTimeoutMs, std::move(done));
    };
    services.makeRecorder = [&pulse, settings = data.settings] { return DictationRecorder::microphone(pulse, settings); };
    services.makeChunker = [data](std::optional<QString> bundleId, std::function<QByteArray(qint64, qint64)> slice) {
        const QString tone = Tone::hint(data.settings->adaptTone(), bundleId);
        return std::unique_ptr<DictationChunker>(new RecordingChunker(data, tone, std::move(slice)));
    };
    services.road = [data, paster = outputs.paster](DictationController *controller, DictationController::RoadRun run) {
        return processingRoad(controller, std::move(run), data, paster);
    };
    // One selection host per controller, kept alive by the services that use it.
    auto hosts = std::make_shared<std::map<DictationController *, std::unique_ptr<ControllerSelectionHost>>>();
    auto hostFor = [hosts, data, outputs](DictationController *c) -> SelectionHost * {
        auto &slot = (*hosts)[c];
        if (!slot)
            slot = std::make_unique<ControllerSelectionHost>(c, data, outputs);
        return slot.get();
    };
    services.pasteLast = [hostFor](DictationController *c) { SelectionActions::pasteLast(hostFor(c)); };
    services.correctSelection = [hostFor](DictationController *c, bool alreadyCopied, bool translate) {
        SelectionActions::correctSelection(hostFor(c), alreadyCopied, translate);
    };
    services.speakSelection = [hostFor](DictationController *c) { SelectionActions::speakSelection(hostFor(c)); };
    return services;
}

PasteDesktop Wiring::pasteDesktop()
{
    PasteDesktop desktop;
    desktop.post = [](quint16 key, quint64 modifiers) { return KeyPoster::post(key, modifiers); };
    desktop.targetClass = [] {
        const std::optional<RunningApp> app = FrontmostApp::current();
        if (!app)
            return QString();
        return Paster::isTerminal(app->wmInstance) ? app->wmInstance : app->wmClass;
    };
    desktop.modifiers = [] { return HotkeyMonitor::liveFlags(); };
    desktop.frontmostName = [] {
        const std::optional<RunningApp> app = FrontmostApp::current();
        return app ? app->name : QString();
    };
    return desktop;
}

PortalKeyboard::TokenStore Wiring::portalToken()
{
    static const QString key = QStringLiteral("remoteDesktopRestoreToken");
    return {[] { return Defaults::standard().string(key).value_or(QString()); },
            [](const QString &token) { Defaults::standard().set(key, token); }};
}

CallServices Wiring::calls(OmbryAI::Access access, PulseContext &pulse)
{
    CallServices s;
    s.transcribe = [access](QByteArray wav, QString context) {
        return GeminiSpeech::transcribeAndTranslate(access, std::move(wav), std::move(context));
    };
    s.translate = [access](QString text) {
        const TextSettings settings = TextSettings::of(*access.settings);
        return Translator::translate(access, std::move(text), u"français"_s, false, settings);
    };
    s.makeCapture = [&pulse] { return std::make_unique<PulseAppCapture>(pulse); };
    s.soundAvailable = [&pulse]() -> QCoro::Task<bool> {
        QFuture<bool> asking = QtConcurrent::run([&pulse] { return pulse.serverAnswers(1000); });
        const bool answers = co_await asking;
        co_return answers;
    };
    s.resolveTarget = [](std::optional<QString> id) {
        CaptureTarget target;
        target.bundleId = id;
        if (!id)
            return target;
        const QStringList ids = CallApps::aliases(*id);
        for (const QString &alias : ids) {
            target.names << alias << alias.section(QLatin1Char('.'), -1);
        }
        for (const RunningApp &app : RunningApps::windows()) {
            if (!sameApp(app, ids))
                continue;
            if (target.name.isEmpty())
                target.name = app.name;
            if (app.pid > 0 && !target.pids.contains(app.pid))
                target.pids << app.pid;
            target.names << app.wmClass << app.wmInstance;
        }
        target.names.removeAll(QString());
        target.names.removeDuplicates();
        return target;
    };
    s.runningName = [](QString id) -> std::optional<QString> {
        const QStringList ids = CallApps::aliases(id);
        for (const RunningApp &app : RunningApps::windows()) {
            if (sameApp(app, ids) && !app.name.isEmpty())
                return app.name;
        }
        return std::nullopt;
    };
    s.defaults = &Defaults::standard();
    return s;
}

MeetingServices Wiring::meetings(OmbryAI::Access access, PulseContext &pulse, MicrophoneList *microphones)
{
    MeetingServices s;
    QPointer<MicrophoneList> list(microphones);
    s.microphoneAllowed = [list, &pulse] { return microphonePresent(list, pulse); };
    s.requestMicrophone = [] {};
    AppSettings *settings = access.settings;
    s.makeCapture = [&pulse, settings] { return std::make_unique<MicrophoneCapture>(pulse, settings); };
    s.transcribe = [access](QByteArray wav, QString language, QStringList words) {
        return GeminiSpeech::transcribe(access, std::move(wav), std::move(language), std::move(words));
    };
    s.complete = [access](QString system, QString text, QString model) {
        return OpenRouter::complete(access, std::move(system), std::move(text), std::move(model));
    };
    s.playSound = [](const QString &name) { Sounds::play(name); };
    s.language = [settings] { return settings->language(); };
    s.store = access.store;
    return s;
}
