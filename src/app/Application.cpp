#include "app/Application.h"

#include "app/DataLayer.h"
#include "app/Wiring.h"

#include "shell/InterfaceKeys.h"
#include "shell/MainWindow.h"
#include "shell/Navigation.h"
#include "shell/ShellActions.h"
#include "shell/Tray.h"
#include "update/Updater.h"
#include "audio/MicrophoneList.h"

#include "calls/CallTranslator.h"
#include "calls/MeetingRecorder.h"
#include "calls/SubtitleWindow.h"

#include "dictation/BubbleController.h"
#include "dictation/DictationController.h"
#include "dictation/OverlayController.h"
#include "dictation/Paster.h"
#include "dictation/Reader.h"
#include "model/AppSettings.h"
#include "model/Defaults.h"
#include "model/IdentityMigration.h"
#include "model/KeyStore.h"
#include "core/Installed.h"
#include "core/Log.h"
#include "model/Store.h"
#include "platform/Clipboard.h"
#include "platform/PulseContext.h"
#include "ui/kit/AppIcons.h"
#include "ui/kit/Kit.h"
#include "pages/RecordingPlayer.h"
#include "ui/kit/ThemePalette.h"

#include <QCoreApplication>
#include <QCursor>
#include <QElapsedTimer>
#include <QGuiApplication>
#include <QQmlEngine>
#include <QQuickWindow>
#include <QSGRendererInterface>
#include <QThreadPool>

#include <algorithm>
#include <cstdio>
#include <cstdlib>

extern void qml_register_types_Ombry();

namespace {

Application *gCurrent = nullptr;

// Quit budget (ms): a dictation under way gets this long to end before it is
// kept; the clipboard manager has until this point of the quit, at least the minimum.
constexpr int kQuitWaitMs = 100;
constexpr qint64 kHandOverEndMs = 250;
constexpr qint64 kHandOverMinMs = 50;

// The desktop part: devices, dictation, calls, meetings and the windows.
// Declared in creation order, so that each goes before what it was built on.
struct Desktop
{
    Desktop(DataLayer &data, PulseContext &pulse, ShellActions *shell, Navigation *navigation,
            InterfaceKeys *interfaceKeys, const Application::Options &options);

    Owned<MicrophoneList> microphones;
    Owned<Paster> paster;
    Owned<Reader> reader;
    Owned<CallTranslator> calls;
    Owned<MeetingRecorder> meetings;
    Owned<Kit> kit;
    // The views below are made in it; the quit drops them before it.
    std::unique_ptr<QQmlEngine> engine;
    Owned<BubbleController> bubble;
    // After the paster, the reader and the bubble: its road and selection
    // actions paste, read aloud and show in them.
    Owned<DictationController> controller;
    Owned<SubtitleWindow> subtitles;
    std::unique_ptr<OverlayController> overlay;
    std::unique_ptr<MainWindow> mainWindow;
    std::unique_ptr<Tray> tray;
};

MeetingServices meetingServices(DataLayer &data, PulseContext &pulse, MicrophoneList *microphones,
                                const Application::Options &options)
{
    MeetingServices services = Wiring::meetings(data.access(), pulse, microphones);
    if (options.meetings)
        options.meetings(services);
    return services;
}

std::unique_ptr<QQmlEngine> makeEngine()
{
    auto engine = std::make_unique<QQmlEngine>();
    Application::registerQml(engine.get());
    return engine;
}

Desktop::Desktop(DataLayer &data, PulseContext &pulse, ShellActions *shell, Navigation *navigation,
                 InterfaceKeys *interfaceKeys, const Application::Options &options)
    : microphones(pulse)
    , paster(Wiring::pasteDesktop())
    , reader(nullptr)
    , calls(Wiring::calls(data.access(), pulse))
    , meetings(meetingServices(data, pulse, microphones.get(), options))
    , kit(data.settings())
    , engine(makeEngine())
    , bubble(engine.get())
    , controller(data.settings(),
                 Wiring::dictation(DictationData{data.settings(), data.store(), data.keys()}, data.readiness(),
                                   pulse, microphones.get(), {paster.get(), reader.get(), bubble.get()}))
    , subtitles(calls.get(), &Defaults::standard(), engine.get())
    , overlay(std::make_unique<OverlayController>(controller.get(), engine.get()))
    , mainWindow(std::make_unique<MainWindow>(engine.get(), Defaults::standard(), data.store(), navigation, interfaceKeys))
{
    microphones->setRecheckInterval(3000);
    microphones->refresh();

    // The bubble closes on what the keyboard front end observes elsewhere.
    HotkeyMonitor &hotkey = controller->hotkey();
    BubbleController *shown = bubble.get();
    QObject::connect(&hotkey, &HotkeyMonitor::pointerPressed, shown,
                     [shown](int button) { shown->pointerPressed(button, QCursor::pos()); });
    QObject::connect(&hotkey, &HotkeyMonitor::keyObserved, shown, &BubbleController::keyPressed);
    // Held by the monitor, which goes before the bubble.
    QObject::connect(shown, &BubbleController::visibleChanged, &hotkey,
                     [&hotkey, shown] { hotkey.setWatchPointer(shown->visible()); });

    CallTranslator *call = calls.get();
    QObject::connect(call, &CallTranslator::windowRequested, subtitles.get(), &SubtitleWindow::show);
    MeetingRecorder *recorder = meetings.get();
    tray = std::make_unique<Tray>(data.settings(), data.store(), controller.get(), microphones.get(), data.readiness(),
                                  call, recorder);
    Tray *menu = tray.get();
    QObject::connect(menu, &Tray::windowRequested, shell, &ShellActions::showWindow);
    QObject::connect(menu, &Tray::settingsRequested, shell, &ShellActions::openSettings);
    QObject::connect(menu, &Tray::quitRequested, shell, &ShellActions::quit);
    QObject::connect(menu, &Tray::callToggleRequested, call, &CallTranslator::toggle);
    QObject::connect(menu, &Tray::meetingToggleRequested, recorder, &MeetingRecorder::toggle);

    // What the capsule says besides the dictation's own messages.
    DictationController *capsule = controller.get();
    QObject::connect(data.store(), &Store::writeFailed, capsule, [capsule](const QString &problem) {
        capsule->show(problem, true);
    });
    QObject::connect(recorder, &MeetingRecorder::notice, capsule, [capsule](const QString &text) {
        capsule->show(text, true);
    });
}

} // namespace

// Declared in creation order, so that each goes before what it was built on.
struct Application::Members
{
    explicit Members(const Options &options);
    ~Members();

    DataLayer data;
    // The sound server's connection: everything that records is built on it
    // and goes before it.
    PulseContext pulse;
    Owned<Navigation> navigation;
    Owned<InterfaceKeys> interfaceKeys;
    Owned<Updater> updater;
    Owned<RecordingPlayer> player;
    Owned<ShellActions> shell;
    // Left out by a diagnostic without display.
    std::unique_ptr<Desktop> desktop;
};

Application::Members::Members(const Options &options)
    : navigation(nullptr)
    , interfaceKeys(Defaults::standard())
    , updater(Updater::Setup::forThisProcess())
    , shell(nullptr)
    , desktop(options.desktop
                  ? std::make_unique<Desktop>(data, pulse, shell.get(), navigation.get(), interfaceKeys.get(), options)
                  : nullptr)
{
}

Application::Members::~Members()
{
    // What the desktop left on the pool (a device read, a capture starting) may
    // still be using the sound server's connection.
    desktop.reset();
    QThreadPool::globalInstance()->waitForDone();
}

Application::Application() : Application(Options{}) {}

Application::Application(const Options &options, QObject *parent) : QObject(parent)
{
    Q_ASSERT(!gCurrent);
    gCurrent = this;
    // Every window of the program draws with Qt Quick's software renderer: the
    // panels are small and mostly still, and on machines without a GPU driver
    // the OpenGL path through llvmpipe costs far more CPU and threads.
    // OMBRY_QUICK_BACKEND=opengl brings it back, to compare the two.
    // Too late once a window exists (Quick Test runners make their own first).
    const bool openGL = qEnvironmentVariable("OMBRY_QUICK_BACKEND") == QLatin1String("opengl");
    if (QGuiApplication::allWindows().isEmpty())
        QQuickWindow::setGraphicsApi(openGL ? QSGRendererInterface::OpenGL : QSGRendererInterface::Software);

    // The former identity's preferences are carried over before they are read.
    IdentityMigration::run(Defaults::standard());
    m_ = std::make_unique<Members>(options);
    ThemePalette::follow(settings());
    // Also when the process ends without the event loop's quit.
    static const bool atExit = [] {
        std::atexit([] {
            if (gCurrent)
                gCurrent->store()->flush();
        });
        return true;
    }();
    Q_UNUSED(atExit);

    ShellActions *shell = m_->shell.get();
    connect(shell, &ShellActions::windowRequested, this, [this] {
        if (MainWindow *main = mainWindow())
            main->show();
    });
    connect(shell, &ShellActions::settingsRequested, this, [this] {
        if (MainWindow *main = mainWindow())
            main->showPage(Navigation::Page::Settings);
    });
    shell->setEngine(engine());
    shell->setUnsavedCheck([this] { return store()->unsavedWarning(); });
    // Its dialogs are views of the engine, which goes first.
    connect(this, &Application::aboutToShutDown, m_->shell.get(), &ShellActions::closeDialogs);
}

Application::~Application()
{
    shutdown();
    m_.reset();
    if (gCurrent == this)
        gCurrent = nullptr;
}

Application &Application::root()
{
    Q_ASSERT_X(gCurrent, "Application::root", "no application object was built");
    return *gCurrent;
}

AppSettings *Application::settings()
{
    return m_->data.settings();
}

Store *Application::store()
{
    return m_->data.store();
}

KeyStore *Application::keys()
{
    return m_->data.keys();
}

EngineReadiness *Application::readiness()
{
    return m_->data.readiness();
}

Updater *Application::updater()
{
    return m_->updater.get();
}

RecordingPlayer *Application::player()
{
    return m_->player.get();
}

Navigation *Application::navigation()
{
    return m_->navigation.get();
}

InterfaceKeys *Application::interfaceKeys()
{
    return m_->interfaceKeys.get();
}

ShellActions *Application::shell()
{
    return m_->shell.get();
}

#define OMBRY_DESKTOP_PART(Type, name, member)                                                                         \
    Type *Application::name()                                                                                          \
    {                                                                                                                  \
        return m_->desktop ? m_->desktop->member.get() : nullptr;                                                      \
    }

OMBRY_DESKTOP_PART(MicrophoneList, microphones, microphones)
OMBRY_DESKTOP_PART(DictationController, controller, controller)
OMBRY_DESKTOP_PART(Paster, paster, paster)
OMBRY_DESKTOP_PART(Reader, reader, reader)
OMBRY_DESKTOP_PART(CallTranslator, callTranslator, calls)
OMBRY_DESKTOP_PART(MeetingRecorder, meetingRecorder, meetings)
OMBRY_DESKTOP_PART(QQmlEngine, engine, engine)
OMBRY_DESKTOP_PART(BubbleController, bubble, bubble)
OMBRY_DESKTOP_PART(SubtitleWindow, subtitleWindow, subtitles)
OMBRY_DESKTOP_PART(OverlayController, overlay, overlay)
OMBRY_DESKTOP_PART(MainWindow, mainWindow, mainWindow)
OMBRY_DESKTOP_PART(Tray, tray, tray)

#undef OMBRY_DESKTOP_PART

void Application::registerQml(QQmlEngine *engine)
{
    static bool registered = false;
    if (!registered) {
        qml_register_types_Ombry();
        registered = true;
    }
    engine->addImportPath(QStringLiteral("qrc:/"));
    if (!engine->imageProvider(QStringLiteral("appicon")))
        engine->addImageProvider(QStringLiteral("appicon"), new AppIconProvider);
}

void Application::shutdown()
{
    if (shutDown_)
        return;
    shutDown_ = true;
    // The whole quit fits in 300 ms: a dictation still under way is kept (its
    // recording is on disk already) rather than waited for.
    QElapsedTimer quitClock;
    quitClock.start();
    Q_EMIT aboutToShutDown();
    Desktop *desktop = m_->desktop.get();
    if (desktop) {
        desktop->controller->prepareToQuit(kQuitWaitMs);
        desktop->reader->stop();
        desktop->calls->stop();
        // The bar is a view of the engine that goes below.
        desktop->subtitles->release();
    }
    m_->player->stop();
    // Our text must not stay on the user's clipboard.
    if (desktop)
        desktop->paster->flushRestore();
    Clipboard::handOverAtQuit(int(std::max<qint64>(kHandOverMinMs, kHandOverEndMs - quitClock.elapsed())));
    store()->flush();
    // Said, not dropped silently: the journal and the terminal name what is lost.
    if (const QStringList lost = store()->unsaved(); !lost.isEmpty()) {
        const QString problem = store()->unsavedWarning();
        Log::write(QStringLiteral("fermeture: non écrit (") + lost.join(QStringLiteral(", ")) + QStringLiteral(") : ")
                   + problem);
        std::fprintf(stderr, "Ombry Voice : %s\n", problem.toLocal8Bit().constData());
    }
    if (desktop) {
        // The window's views before the engine that made them.
        desktop->mainWindow.reset();
        desktop->overlay.reset();
        desktop->bubble->dropView();
        desktop->engine.reset();
    }
    Log::waitUntilWritten();
}
