#pragma once

#include <QObject>
#include <QPointer>

#include <memory>

class AppSettings;
class BubbleController;
class CallTranslator;
class MeetingRecorder;
struct MeetingServices;
class SubtitleWindow;
class DictationController;
class InterfaceKeys;
class KeyStore;
class Paster;
class MainWindow;
class Navigation;
class MicrophoneList;
class ShellActions;
class SingleInstance;
class Tray;
class OverlayController;
class QQmlEngine;
class Reader;
class RecordingPlayer;
class Store;
class Updater;

// The composition root: builds the long-lived objects in start-up order, hands
// each its neighbours, and tears them down in reverse before the application
// object goes. The data layer (settings, store, keys), the navigation, the
// interface keys, the updater, the player and the shell's actions are built by
// the constructor; the rest on first use.
class Application final : public QObject
{
    Q_OBJECT

public:
    explicit Application(QObject *parent = nullptr);
    ~Application() override;

    // The running root; one must have been built.
    static Application &root();

    AppSettings *settings();
    Store *store();
    KeyStore *keys();
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
    // Builds the recorder over these services (tests: a fake microphone); only
    // before its first use.
    bool useMeetingServices(const MeetingServices &services);
    // The one QML engine, with the Ombry module registered.
    QQmlEngine *engine();
    // Pastes into and copies from the other applications, on the real desktop.
    Paster *paster();
    // The main window's page, the interface keys and the window itself.
    Navigation *navigation();
    InterfaceKeys *interfaceKeys();
    MainWindow *mainWindow();
    // The shell: one running copy per session, the input devices kept current,
    // and the tray icon with its menu.
    SingleInstance *singleInstance();
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
