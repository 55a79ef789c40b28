#pragma once

#include <QHash>
#include <QList>
#include <QObject>
#include <QSet>
#include <QString>

#include <functional>

class QSocketNotifier;
struct _XDisplay;

// The keyboard of the whole X session, on a connection of its own read on the
// main thread: XInput2 raw key events observe every key (modifier changes, key
// downs), passive key grabs swallow the shortcuts that the program handles.
// Keys are reported in the program's own vocabulary (KeyTable).
class X11InputHub final : public QObject
{
    Q_OBJECT

public:
    // Where a key event came from. Our own synthetic keys are never reported.
    struct Source
    {
        bool posted = false; // sent by another program through XTEST
        int device = 0;      // XInput2 source device id
        quint64 time = 0;    // the server's time of the event
    };

    // A key combination to swallow: exact modifiers (Caps Lock and Num Lock
    // ignored), or any modifiers.
    struct Grab
    {
        quint16 key = 0;
        quint64 modifiers = 0;
        bool anyModifier = false;
        bool operator==(const Grab &) const = default;
    };

    explicit X11InputHub(QObject *parent = nullptr);
    ~X11InputHub() override;

    // Opens the connection and starts listening. False, with the reason in
    // `why`, without an X server or without XInput ≥ 2.2.
    bool start(QString *why = nullptr);
    void stop();
    bool running() const { return dpy_ != nullptr; }

    // Replaces the set of swallowed combinations. A combination that another
    // client already holds is logged and left out.
    void setGrabs(const QList<Grab> &grabs);
    QList<Grab> grabs() const { return grabs_; }
    // The combinations of grabs() that the server refused (another client holds them).
    QList<Grab> refused() const { return refused_; }

    // Flags of the modifier keys held now (foreign synthetic keys included).
    quint64 flags() const { return flags_; }

    // A modifier key went down or up; flags are those after the change.
    std::function<void(quint16 key, quint64 flags, Source source)> onModifierChange;
    // Any other key went down.
    std::function<void(quint16 key, quint64 flags, bool autorepeat, Source source)> onKeyDown;
    // A pointer button went down anywhere (observed, never grabbed), while
    // watched; X11 button numbers: 1 is the left button.
    std::function<void(int button, Source source)> onButtonPress;
    void setWatchButtons(bool on);

Q_SIGNALS:
    // refused() changed.
    void refusedChanged();

private:
    void drain();
    void handleRaw(void *cookieData, bool down);
    void handleButton(void *cookieData);
    void selectEvents();
    void refreshDevices();
    void refreshKeymap();
    unsigned int keycodeFor(quint16 key) const;
    // Whether the server took the grab (always true when releasing).
    bool applyGrab(const Grab &grab, bool on);
    quint64 computeFlags() const;

    _XDisplay *dpy_ = nullptr;
    QSocketNotifier *notifier_ = nullptr;
    int xiOpcode_ = 0;
    unsigned long root_ = 0;
    unsigned int numLockMask_ = 0;
    bool acceptXTest_ = false;
    QSet<int> xtestDevices_;
    QHash<unsigned int, quint16> modifierKeycodes_; // X keycode → modifier key
    QHash<quint16, unsigned int> keycodeByModifier_;
    QSet<unsigned int> held_;
    quint64 flags_ = 0;
    QList<Grab> grabs_;
    bool watchButtons_ = false;
    QList<Grab> refused_;
};
