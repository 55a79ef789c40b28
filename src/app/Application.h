#pragma once

#include <QObject>
#include <QPointer>

#include <functional>
#include <memory>

class AppSettings;
class BubbleController;
class CallTranslator;
class MeetingRecorder;
struct MeetingServices;
class SubtitleWindow;
class DictationController;
class EngineReadiness;
class InterfaceKeys;
class KeyStore;
class Paster;
class MainWindow;
class Navigation;
class MicrophoneList;
class ShellActions;
class Tray;
class OverlayController;
class QQmlEngine;
class Reader;
class RecordingPlayer;
class Store;
class Updater;

// The composition root: builds every long-lived object in its constructor, in
// start-up order, hands each its neighbours, installs the program's own, and
// tears them down in reverse before the application object goes.
class Application final : public QObject
{
    Q_OBJECT

public:
    struct Options
    {
        // The devices, dictation, calls, meetings and windows: a diagnostic
        // without display builds only the data and the shell's actions.
        bool desktop = true;
        // Changes the meeting recorder's services before it is built (tests:
        // a fake microphone).
        std::function<void(MeetingServices &)> meetings;
    };

    Application();
    explicit Application(const Options &options, QObject *parent = nullptr);
    ~Application() override;

    // The running root; one must have been built.
    static Application &root();

    AppSettings *settings();
    Store *store();
    KeyStore *keys();
    // Whether the engines can answer; probed again when asked.
    EngineReadiness *readiness();
    // The desktop part: null when left out, and the windows and the engine
    // once shut down.
    DictationController *controller();
    Reader *reader();
    BubbleController *bubble();
    Updater *updater();
    // Replays history recordings, one at a time.
    RecordingPlayer *player();
    // The recording overlay's panel, over the controller and the engine.
    OverlayController *overlay();
    // Live call subtitles and their floating bar.
    CallTranslator *callTranslator();
    SubtitleWindow *subtitleWindow();
    // Meetings recorded from the microphone, transcribed and summarised.
    MeetingRecorder *meetingRecorder();
    // The one QML engine, with the Ombry module registered.
    QQmlEngine *engine();
    // Pastes into and copies from the other applications, on the real desktop.
    Paster *paster();
    // The main window's page, the interface keys and the window itself.
    Navigation *navigation();
    InterfaceKeys *interfaceKeys();
    MainWindow *mainWindow();
    // The shell: the input devices kept current, and the tray icon with its menu.
    MicrophoneList *microphones();
    Tray *tray();
    ShellActions *shell();

    // Stops input, audio and pending work, writes what is pending and drops the
    // QML engine; then the objects go in reverse order. Idempotent.
    void shutdown();

    // Registers the Ombry module's types and import path with `engine`.
    static void registerQml(QQmlEngine *engine);

Q_SIGNALS:
    // Emitted at the start of shutdown(), before anything is torn down.
    void aboutToShutDown();

private:
    struct Members;
    std::unique_ptr<Members> m_;
    bool shutDown_ = false;
};
