#include "app/Application.h"

#include "app/DataLayer.h"

#include "shell/InterfaceKeys.h"
#include "shell/MainWindow.h"
#include "shell/Navigation.h"
#include "shell/ShellActions.h"
#include "shell/SingleInstance.h"
#include "shell/Tray.h"
#include "update/Updater.h"
#include "audio/MicrophoneList.h"

#include "calls/CallTranslator.h"
#include "calls/MeetingRecorder.h"
#include "calls/SubtitleWindow.h"

#include "dictation/BubbleController.h"
#include "dictation/DictationController.h"
#include "dictation/DictationWiring.h"
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
#include "ui/kit/AppIcons.h"
#include "pages/RecordingPlayer.h"
#include "ui/kit/ThemePalette.h"

#include <QCoreApplication>
#include <QCursor>
#include <QElapsedTimer>
#include <QGuiApplication>
#include <QQmlEngine>
#include <QQuickWindow>
#include <QSGRendererInterface>

#include <algorithm>
#include <cstdlib>

extern void qml_register_types_Ombry();

namespace {

Application *gCurrent = nullptr;

// Quit budget (ms): a dictation under way gets this long to end before it is
// kept; the clipboard manager has until this point of the quit, at least the minimum.
constexpr int kQuitWaitMs = 100;
constexpr qint64 kHandOverEndMs = 250;
constexpr qint64 kHandOverMinMs = 50;

} // namespace

// Declared in creation order, so that each goes before what it was built on.
struct Application::Members
{
    Members();

    // Built with the root.
    std::unique_ptr<DataLayer> data;
    std::unique_ptr<Navigation> navigation;
    Installed<Navigation> navigationInstalled;
    std::unique_ptr<InterfaceKeys> interfaceKeys;
    Installed<InterfaceKeys> interfaceKeysInstalled;
    std::unique_ptr<Updater> updater;
    Installed<Updater> updaterInstalled;
    std::unique_ptr<RecordingPlayer> player;
    Installed<RecordingPlayer> playerInstalled;
    std::unique_ptr<ShellActions> shell;
    Installed<ShellActions> shellInstalled;

    // Built on first use, each after what it needs.
    std::unique_ptr<MicrophoneList> microphones;
    std::unique_ptr<DictationController> controller;
    std::unique_ptr<Reader> reader;
    std::unique_ptr<BubbleController> bubble;
    std::unique_ptr<Paster> paster;
    std::unique_ptr<QQmlEngine> engine;
    // Hold views of the engine.
    std::unique_ptr<OverlayController> overlay;
    std::unique_ptr<MainWindow> mainWindow;
    std::unique_ptr<CallTranslator> calls;
    std::unique_ptr<SubtitleWindow> subtitles;
    std::unique_ptr<SingleInstance> singleInstance;
    std::unique_ptr<MeetingRecorder> meetings;
    std::unique_ptr<Tray> tray;
};

Application::Members::Members()
    : data(std::make_unique<DataLayer>())
    , navigation(std::make_unique<Navigation>(nullptr))
    , navigationInstalled(navigation.get())
    , interfaceKeys(std::make_unique<InterfaceKeys>(Defaults::standard()))
    , interfaceKeysInstalled(interfaceKeys.get())
    , updater(std::make_unique<Updater>(Updater::Setup::forThisProcess()))
    , updaterInstalled(updater.get())
    , player(std::make_unique<RecordingPlayer>())
    , playerInstalled(player.get())
    , shell(std::make_unique<ShellActions>(nullptr))
    , shellInstalled(shell.get())
{
}

Application::Application(QObject *parent) : QObject(parent)
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
    IdentityMigration::run();
    m_ = std::make_unique<Members>();
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

    ShellActions::Window window;
    window.show = [this] { mainWindow()->show(); };
    window.showSettings = [this] { mainWindow()->showPage(Navigation::Page::Settings); };
    window.engine = [this] { return engine(); };
    m_->shell->setWindow(std::move(window));
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
    return m_->data->settings();
}

Store *Application::store()
{
    return m_->data->store();
}

KeyStore *Application::keys()
{
    return m_->data->keys();
}

DictationController *Application::controller()
{
    if (!m_->controller) {
        m_->controller = std::make_unique<DictationController>(DictationWiring::productionServices(keys(), microphones()));
    }
    return m_->controller.get();
}

Reader *Application::reader()
{
    if (!m_->reader)
        m_->reader = std::make_unique<Reader>(nullptr);
    return m_->reader.get();
}

BubbleController *Application::bubble()
{
    if (!m_->bubble) {
        m_->bubble = std::make_unique<BubbleController>();
        // The bubble closes on what the keyboard front end observes elsewhere.
        HotkeyMonitor &hotkey = controller()->hotkey();
        BubbleController *bubble = m_->bubble.get();
        hotkey.onPointerPress = [bubble](int button) { bubble->pointerPressed(button, QCursor::pos()); };
        hotkey.onKeyObserved = [bubble](quint16 key) { bubble->keyPressed(key); };
        connect(bubble, &BubbleController::visibleChanged, bubble,
                [&hotkey, bubble] { hotkey.setWatchPointer(bubble->visible()); });
    }
    return m_->bubble.get();
}

Updater *Application::updater()
{
    return m_->updater.get();
}

QQmlEngine *Application::engine()
{
    if (!m_->engine) {
        m_->engine = std::make_unique<QQmlEngine>();
        registerQml(m_->engine.get());
    }
    return m_->engine.get();
}

Paster *Application::paster()
{
    if (!m_->paster)
        m_->paster = std::make_unique<Paster>(DictationWiring::pasteDesktop());
    return m_->paster.get();
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

MainWindow *Application::mainWindow()
{
    if (!m_->mainWindow)
        m_->mainWindow = std::make_unique<MainWindow>(engine(), Defaults::standard());
    return m_->mainWindow.get();
}

SingleInstance *Application::singleInstance()
{
    if (!m_->singleInstance) {
        m_->singleInstance = std::make_unique<SingleInstance>(QDBusConnection::sessionBus());
        ShellActions *actions = shell();
        connect(m_->singleInstance.get(), &SingleInstance::activated, actions, [actions] { actions->showWindow(); });
    }
    return m_->singleInstance.get();
}

MicrophoneList *Application::microphones()
{
    if (!m_->microphones) {
        m_->microphones = std::make_unique<MicrophoneList>();
        m_->microphones->setRecheckInterval(3000);
        m_->microphones->refresh();
    }
    return m_->microphones.get();
}

Tray *Application::tray()
{
    if (!m_->tray) {
        ShellActions *actions = shell();
        Tray::Shell hooks;
        hooks.showWindow = [actions] { actions->showWindow(); };
        hooks.openSettings = [actions] { actions->openSettings(); };
        hooks.quit = [actions] { actions->quit(); };
        hooks.meeting = [this] {
            switch (meetingRecorder()->state()) {
            case MeetingRecorder::State::Recording:
                return StatusMenu::Meeting::Recording;
            case MeetingRecorder::State::Processing:
                return StatusMenu::Meeting::Processing;
            case MeetingRecorder::State::Idle:
                break;
            }
            return StatusMenu::Meeting::Idle;
        };
        hooks.toggleMeeting = [this] { meetingRecorder()->toggle(); };
        // The translator (and its audio thread) is made only once subtitles are asked for.
        hooks.callRunning = [this] { return m_->calls && m_->calls->running(); };
        // The subtitle bar follows the translator once it exists.
        hooks.toggleCall = [this] {
            subtitleWindow();
            callTranslator()->toggle();
        };
        m_->tray = std::make_unique<Tray>(settings(), store(), controller(), microphones(), std::move(hooks));
        connect(meetingRecorder(), &MeetingRecorder::stateChanged, m_->tray.get(), &Tray::scheduleRebuild);
    }
    return m_->tray.get();
}

ShellActions *Application::shell()
{
    return m_->shell.get();
}

OverlayController *Application::overlay()
{
    if (!m_->overlay)
        m_->overlay = std::make_unique<OverlayController>(controller(), engine());
    return m_->overlay.get();
}

CallTranslator *Application::callTranslator()
{
    if (!m_->calls) {
        m_->calls = std::make_unique<CallTranslator>(CallServices::production());
        connect(m_->calls.get(), &CallTranslator::runningChanged, m_->calls.get(), [this] {
            if (m_->tray)
                m_->tray->scheduleRebuild();
        });
    }
    return m_->calls.get();
}

SubtitleWindow *Application::subtitleWindow()
{
    if (!m_->subtitles)
        m_->subtitles = std::make_unique<SubtitleWindow>(callTranslator(), &Defaults::standard());
    return m_->subtitles.get();
}

MeetingRecorder *Application::meetingRecorder()
{
    if (!m_->meetings)
        m_->meetings = std::make_unique<MeetingRecorder>(MeetingServices::production(store(), microphones()));
    return m_->meetings.get();
}

bool Application::useMeetingServices(const MeetingServices &services)
{
    if (m_->meetings)
        return false;
    m_->meetings = std::make_unique<MeetingRecorder>(services);
    return true;
}

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
    if (m_->controller)
        m_->controller->prepareToQuit(kQuitWaitMs);
    if (m_->reader)
        m_->reader->stop();
    if (m_->calls)
        m_->calls->stop();
    // The bar is a view of the engine that goes below.
    if (m_->subtitles)
        m_->subtitles->release();
    if (m_->player)
        m_->player->stop();
    // Our text must not stay on the user's clipboard.
    if (m_->paster)
        m_->paster->flushRestore();
    Clipboard::handOverAtQuit(int(std::max<qint64>(kHandOverMinMs, kHandOverEndMs - quitClock.elapsed())));
    store()->flush();
    // The window's views before the engine that made them.
    m_->mainWindow.reset();
    m_->overlay.reset();
    if (m_->bubble)
        m_->bubble->dropView();
    m_->engine.reset();
    Log::waitUntilWritten();
}
