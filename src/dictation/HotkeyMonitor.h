#pragma once

#include "platform/PortalShortcuts.h"
#include "platform/SessionRoutes.h"
#include "platform/X11InputHub.h"

class AppSettings;
namespace EvdevKeys {
class Reader;
}

#include <QObject>

#include <functional>
#include <memory>
#include <optional>

// The keyboard of the whole session for the dictation pipeline: the dictation
// key's press and release (one of each, however many modifier events arrive),
// the fixed shortcuts (Ctrl+Alt+V, Ctrl+Alt+R, Escape while recording, the
// user's correction shortcut, Ctrl+C pressed two or three times) and the flags
// of the last modifier change. Owned by the dictation controller.
class HotkeyMonitor final : public QObject
{
    Q_OBJECT

public:
    // Process id given for a key that another program posted through XTEST;
    // X11 does not say which program that was.
    static constexpr qint64 PostedByAnotherProgram = -1;

    // Follows the shortcuts chosen in `settings`.
    explicit HotkeyMonitor(AppSettings *settings, QObject *parent = nullptr);
    ~HotkeyMonitor() override;

    std::function<void()> onPress;      // the dictation key went down
    std::function<void()> onRelease;    // the dictation key went up
    std::function<void()> onCorrect;    // the user's correction shortcut
    std::function<void()> onDoubleCopy; // Ctrl+C twice
    std::function<void()> onTripleCopy; // Ctrl+C three times
    std::function<void()> onSpeak;      // Ctrl+Alt+R
    std::function<void()> onTranslate;  // the action "traduire"
    std::function<void()> onCancel;     // Escape while the controller records
    std::function<void()> onPasteLast;  // Ctrl+Alt+V
    // Another key went down while the dictation key was held, within 0.6 s of
    // its press: the key was part of a chord, not a dictation.
    std::function<void()> onChord;
    // Pointer buttons are watched only while someone needs them.
    void setWatchPointer(bool on) { hub_.setWatchButtons(on); }

    // Copy series.
    std::optional<qint64> lastCopy; // monotonic ms of the last counted Ctrl+C
    int copyCount = 0;
    // Server time of the first copy key of the latest series (0 when unknown):
    // the clipboard counts as the user's copy only if it changed hands since.
    static quint64 copySeriesStart();

    // True while the settings' shortcut recorder listens: the fixed shortcuts
    // and the correction shortcut are then let through.
    bool recording() const { return recording_; }
    void setRecording(bool on);

    // Set by the controller while it records: Escape is then swallowed.
    bool dictating() const { return dictating_; }
    void setDictating(bool on);

    // The program's actions, as the desktop's shortcuts and `--action` name them.
    static const QStringList &actionNames();
    // Drives the dictation as the keys do ("dictee-debut" is the dictation
    // key's press…); false for an unknown name.
    bool perform(const QString &action);

    // Where the keys come from; the session's route unless set before start().
    void setRoute(SessionRoutes::Keys route) { route_ = route; }
    SessionRoutes::Keys route() const;
    // What the portal is asked to bind, with the triggers we would like.
    QList<PortalShortcuts::Shortcut> portalShortcuts() const;

    // Starts listening (grabs included); logs whether global keys are available.
    void start();
    // Stops, forgets the held key, starts again.
    void restart();
    // Releases the grabs and stops listening (quitting).
    void stop();
    bool active() const;

    // The flags of the last modifier change (KeyTable vocabulary).
    static quint64 liveFlags();

    // The key combinations swallowed now.
    QList<X11InputHub::Grab> wantedGrabs() const;
    // Whether the server refused to give us this exact combination (another
    // program holds it): the shortcut cannot fire.
    bool refuses(quint16 key, quint64 modifiers) const;

    // The keyboard front end, called with each event (public for tests).
    // A modifier change: stores the flags and queues handle().
    void modifierChange(quint16 key, quint64 flags, qint64 pid, qint64 state);
    // A key down: decides at once whether it is swallowed, queues the action.
    // `time` is the server's time of the key.
    bool keyDown(quint16 key, quint64 flags, bool autorepeat, qint64 pid, quint64 time = 0);
    // The dictation key's edges.
    void handle(quint16 keyCode, quint64 raw, qint64 pid, qint64 state);

    // Monotonic milliseconds (tests may replace it).
    std::function<qint64()> clock;

Q_SIGNALS:
    // What refuses() answers may have changed.
    void refusedChanged();
    // Observed only, never swallowed, queued to the main loop: any key going
    // down (not repeats), and any pointer button going down while watched.
    void keyObserved(quint16 key);
    void pointerPressed(int button);

private:
    bool decide(quint16 key, quint64 flags, bool autorepeat, qint64 pid, quint64 time);
    void updateGrabs();
    void queue(std::function<void()> action, int delayMs = 0);
    void noteOtherKey();
    QString sourceLabel(qint64 pid) const;
    // The dictation key went down or up, once per change.
    void edge(bool down);
    bool startEvdev();
    void startPortal();

    AppSettings *settings_;
    X11InputHub hub_;
    std::optional<SessionRoutes::Keys> route_;
    std::unique_ptr<EvdevKeys::Reader> evdev_;
    std::unique_ptr<PortalShortcuts> portal_;
    bool recording_ = false;
    bool dictating_ = false;
    bool down_ = false;
    qint64 downAt_ = 0;
    bool chordReported_ = false;
};
