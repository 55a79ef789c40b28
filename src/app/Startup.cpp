#include "calls/MeetingRecorder.h"
#include "app/Startup.h"

#include "app/Application.h"
#include "diagnostics/CommandLine.h"
#include "shell/InterfaceKeys.h"
#include "shell/LoginItem.h"
#include "shell/OmbryIcon.h"
#include "app/QtFrench.h"
#include "shell/ShellActions.h"
#include "shell/SingleInstance.h"
#include "shell/Tray.h"
#include "app/StartupNotice.h"
#include "update/Updater.h"
#include "app/Wiring.h"
#include "platform/Accessibility.h"
#include "platform/KeyPoster.h"
#include "platform/SessionRoutes.h"
#include "platform/X11Display.h"
#include "dictation/DictationController.h"
#include "dictation/DictationSpool.h"
#include "dictation/OverlayController.h"
#include "engines/Net.h"
#include "model/AppSettings.h"
#include "model/Defaults.h"
#include "model/DeviceProfile.h"
#include "core/Log.h"
#include "model/Store.h"

#include <QApplication>
#include <QSocketNotifier>
#include <QTimer>

#include <memory>

#include <csignal>
#include <cstdio>
#include <sys/socket.h>
#include <unistd.h>

namespace {

// The arguments as given, before the application object takes its own options out.
QStringList rawArguments(int argc, char *argv[])
{
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    return arguments;
}

int gSignalPipe[2] = {-1, -1};
volatile std::sig_atomic_t gQuitAsked = 0;
// A quit that has not ended this long after the signal never will.
constexpr unsigned kQuitBoundSeconds = 5;

void onSignal(int signal)
{
    if (gQuitAsked) {
        // Asked again: the user wants it gone now.
        ::signal(signal, SIG_DFL);
        ::raise(signal);
        return;
    }
    gQuitAsked = 1;
    ::alarm(kQuitBoundSeconds);
    const char byte = 1;
    [[maybe_unused]] const ssize_t n = ::write(gSignalPipe[1], &byte, 1);
}

// Ctrl+C in a terminal or a session logout quits through the event loop, so the
// pending saves are written like at any other quit. A second signal, or a quit
// stuck for kQuitBoundSeconds, ends the process at once.
void quitOnTerminationSignals(QCoreApplication *app)
{
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, gSignalPipe) != 0)
        return;
    auto *notifier = new QSocketNotifier(gSignalPipe[0], QSocketNotifier::Read, app);
    QObject::connect(notifier, &QSocketNotifier::activated, app, [] {
        char byte;
        [[maybe_unused]] const ssize_t n = ::read(gSignalPipe[0], &byte, 1);
        QCoreApplication::quit();
    });
    struct sigaction action {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    ::sigaction(SIGINT, &action, nullptr);
    ::sigaction(SIGTERM, &action, nullptr);
    ::sigaction(SIGHUP, &action, nullptr);
}

// What a diagnostic switch works on: the root's own objects.
Diagnostics::Program diagnosticProgram(Application &root)
{
    return Diagnostics::Program{root.settings(), root.store(), root.keys(),
                                root.updater(), root.navigation(), root.engine()};
}

QString noDisplayMessage()
{
    const QString display = qEnvironmentVariable("DISPLAY");
    const QString wayland = qEnvironmentVariable("WAYLAND_DISPLAY");
    QString why = display.isEmpty() ? QStringLiteral("DISPLAY n'est pas défini")
                                    : QStringLiteral("l'écran X « %1 » ne répond pas").arg(display);
    if (!wayland.isEmpty())
        why += QStringLiteral(", et la session Wayland « %1 » n'offre pas Xwayland").arg(wayland);
    return QStringLiteral("Ombry Voice ne peut pas démarrer : aucun écran X n'est joignable (%1). "
                          "Lance-le depuis ta session graphique ; sous Wayland, installe Xwayland.")
        .arg(why);
}

} // namespace

namespace Startup {

void wireActions(SingleInstance &instance, DictationController *controller)
{
    if (!controller)
        return;
    QObject::connect(&instance, &SingleInstance::actionRequested, controller,
                     [controller](const QString &name) { controller->hotkey().perform(name); });
}

int run(int argc, char *argv[])
{
    const QStringList arguments = rawArguments(argc, argv);
    // Handed to the running copy: run from a compositor's key binding, maybe as
    // another account, so the data folder is never opened.
    if (const qsizetype at = arguments.indexOf(QStringLiteral("--action")); at >= 0) {
        QCoreApplication app(argc, argv);
        QString message;
        const int status = at + 1 < arguments.size()
                               ? SingleInstance::sendAction(QDBusConnection::sessionBus(), arguments.at(at + 1), &message)
                               : (message = QStringLiteral("usage : ombry-voice --action NOM"), 2);
        if (status != 0)
            std::fprintf(stderr, "ombry-voice: %s\n", message.toUtf8().constData());
        return status;
    }
    // Before any line: the data folder is settled (moved from an older name) first.
    Log::setFolder(Store::folder());
    if (arguments.contains(QStringLiteral("--help")) || arguments.contains(QStringLiteral("-h"))) {
        std::fputs(CommandLine::usage().toUtf8().constData(), stdout);
        return 0;
    }
    // A diagnostic switch that draws nothing runs without a display.
    const std::optional<CommandLine::Match> diagnostic = CommandLine::find(arguments);
    if (diagnostic && diagnostic->which->gui()) {
        // Drawn on the X server: the offscreen platform silently drops effects.
        if (!X11::display()) {
            Diagnostics::print(QStringLiteral("erreur: pas d'écran X (DISPLAY) : impossible de dessiner hors d'une session graphique"));
            return 0;
        }
        qputenv("QT_QPA_PLATFORM", "xcb");
    }
    if (!diagnostic || diagnostic->which->gui()) {
        // Our windows are X11 windows, through Xwayland in a Wayland session.
        if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
            qputenv("QT_QPA_PLATFORM", "xcb");
        // Without a display Qt would abort: say what is missing instead.
        if (qgetenv("QT_QPA_PLATFORM").startsWith("xcb") && !X11::display()) {
            const QString message = noDisplayMessage();
            std::fputs((message + u'\n').toUtf8().constData(), stderr);
            Log::write(message);
            Log::shutdown();
            return 1;
        }
    }
    std::unique_ptr<QCoreApplication> app;
    if (diagnostic && !diagnostic->which->gui()) {
        app = std::make_unique<QCoreApplication>(argc, argv);
    } else {
        QtFrench::choosePlatformTheme();
        auto gui = std::make_unique<QApplication>(argc, argv);
        gui->setDesktopFileName(QStringLiteral("com.corvanel.ombryvoice"));
        gui->setQuitOnLastWindowClosed(false);
        gui->setWindowIcon(OmbryIcon::applicationIcon());
        app = std::move(gui);
    }
    QCoreApplication::setApplicationName(QStringLiteral("Ombry Voice"));
    QCoreApplication::setOrganizationDomain(QStringLiteral("corvanel.com"));
    QCoreApplication::setApplicationVersion(QStringLiteral(OMBRY_VERSION));
    QtFrench::install(app.get());

    // Two copies would both record and paste every dictation: a second launch
    // shows the running copy's window instead, before it builds anything.
    // Diagnostics never take part.
    SingleInstance instance(QDBusConnection::sessionBus());
    const SingleInstance::Outcome claimed = diagnostic ? SingleInstance::Outcome::NoBus : instance.claim();
    if (claimed == SingleInstance::Outcome::HandedOver) {
        std::fputs("Ombry Voice est déjà lancé : sa fenêtre est affichée.\n", stderr);
        return 0;
    }
    if (claimed == SingleInstance::Outcome::Unanswered) {
        std::fputs("Ombry Voice ne démarre pas : le nom com.corvanel.ombryvoice est pris sur le bus de session "
                   "par un programme qui ne répond pas.\n",
                   stderr);
        return 1;
    }
    // Owns every long-lived object; goes before the application object.
    Application::Options options;
    options.desktop = !diagnostic || diagnostic->which->gui();
    auto root = std::make_unique<Application>(options);
    QObject::connect(&instance, &SingleInstance::activated, root->shell(), &ShellActions::showWindow);
    wireActions(instance, root->controller());
    quitOnTerminationSignals(app.get());
    // A file size limit makes a write fail (and be told) instead of ending the program.
    std::signal(SIGXFSZ, SIG_IGN);
    QTimer::singleShot(0, app.get(), [arguments] { finishLaunching(arguments); });
    const int status = app->exec();
    root.reset();
    Log::shutdown();
    return status;
}

bool finishLaunching(const QStringList &arguments)
{
    Application &root = Application::root();
    if (CommandLine::examine(arguments, diagnosticProgram(root)))
        return true;

    // The main menu belongs to the window's view; the tray comes up now.
    root.tray()->show();

    DictationController *controller = root.controller();
    // A failure that needs a key, a permission or the microphone opens the settings.
    ShellActions *shell = root.shell();
    QObject::connect(controller, &DictationController::needsAttention, shell, &ShellActions::openSettings);
    // A missing or refused key: the tab where keys are entered.
    InterfaceKeys *interfaceKeys = root.interfaceKeys();
    QObject::connect(controller, &DictationController::needsKey, shell, [shell, interfaceKeys] {
        interfaceKeys->setSettingsTab(QStringLiteral("account"));
        shell->openSettings();
    });
    // A chosen local server that does not answer: the tab where engines are chosen.
    QObject::connect(controller, &DictationController::needsEngine, shell, [shell, interfaceKeys] {
        interfaceKeys->setSettingsTab(QStringLiteral("dictation"));
        shell->openSettings();
    });
    // The overlay's panel exists before the first key press.
    root.overlay()->prepare();
    controller->start();
    LoginItem::applyDefault(Defaults::standard());
    root.store()->pruneAudio();
    // A meeting cut short by a quit, a logout or a crash is processed now; a
    // dictation cut short is kept in the history, to be transcribed by the user.
    root.meetingRecorder()->recoverSpool();
    if (const int recovered = DictationSpool::recover(root.store()))
        controller->show(DictationSpool::recoveredText(recovered), false);
    controller->warmUpAudio();
    // The selection is read at the first key press: connect to AT-SPI now.
    Accessibility::warmUp();
    Log::write(QStringLiteral("ordinateur: ") + DeviceProfile::summary() + QStringLiteral(", effets ")
               + (DeviceProfile::lightVisuals(root.settings()->performanceMode()) ? QStringLiteral("légers") : QStringLiteral("complets")));
    for (const QString &line : SessionRoutes::journalLines(SessionRoutes::current()))
        Log::write(line);
    KeyPoster::prepare(Wiring::portalToken());
    Net::warmUp();
    auto *warmUpTimer = new QTimer(QCoreApplication::instance());
    QObject::connect(warmUpTimer, &QTimer::timeout, warmUpTimer, [] { Net::warmUp(); });
    warmUpTimer->start(240 * 1000);
    root.updater()->start();
    StartupNotice::print(root.settings(), root.keys(), root.readiness());
    shell->showWindow();
    return false;
}

} // namespace Startup
