#pragma once

#include <QList>
#include <QObject>
#include <QSet>

#include <functional>
#include <optional>

class QFileSystemWatcher;
class QSocketNotifier;

// The keyboards themselves (/dev/input/event*), for a Wayland session where X11
// sees only the keys typed into X11 windows. Observed only: nothing is swallowed.
namespace EvdevKeys {

// What a key event means in the program's vocabulary (KeyTable).
struct Event
{
    enum Kind { Modifier, KeyDown };
    Kind kind = KeyDown;
    quint16 key = 0;
    quint64 flags = 0; // modifier flags after the event
    bool autorepeat = false;
    bool operator==(const Event &) const = default;
};

// Turns the kernel's input events of the keyboards into key events: modifier
// keys by their physical place, other keys through `keysymOf` (the layout's
// unshifted symbol of a Linux key code).
class Decoder
{
public:
    explicit Decoder(std::function<unsigned long(quint16 code)> keysymOf = {});

    // One input event (type, code, value as the kernel writes them).
    std::optional<Event> feed(quint16 type, quint16 code, qint32 value);
    // After the kernel dropped events: the keys held now (EVIOCGKEY) replace
    // what was followed; a modifier that went up or down meanwhile is reported.
    QList<Event> resync(const QSet<quint16> &heldCodes);
    // Whether events are being skipped until the report that ends a drop.
    bool dropping() const { return dropping_; }
    quint64 flags() const;

private:
    std::function<unsigned long(quint16)> keysymOf_;
    QSet<quint16> held_;
    bool dropping_ = false;
};

// The modifier key (KeyTable) on a Linux key code, none for other keys.
std::optional<quint16> modifierForCode(quint16 code);
// The unshifted symbol of the usual layout, for want of the session's keymap.
unsigned long defaultKeysym(quint16 code);
// Whether a device of that name is one of our own virtual keyboards.
bool ownDevice(const QByteArray &name);

// Reads every keyboard of /dev/input that this user may open, on the main thread.
class Reader final : public QObject
{
    Q_OBJECT

public:
    explicit Reader(QObject *parent = nullptr);
    ~Reader() override;

    // Opens the keyboards; false, with the reason, when none can be read.
    bool start(QString *why = nullptr);
    void stop();
    bool running() const { return !devices_.isEmpty(); }

    std::function<void(quint16 key, quint64 flags)> onModifierChange;
    std::function<void(quint16 key, quint64 flags, bool autorepeat)> onKeyDown;

private:
    struct Device
    {
        int fd = -1;
        QSocketNotifier *notifier = nullptr;
        Decoder decoder;
        QString node;
    };
    // Opens the keyboards not open yet; how many nodes could not be opened.
    int scan();
    void drain(int fd);
    // Flags are those of every keyboard together.
    void deliver(const Device &from, Event event);
    void close(int fd);

    QList<Device> devices_;
    QFileSystemWatcher *watcher_ = nullptr;
};

} // namespace EvdevKeys
