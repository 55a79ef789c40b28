#include "platform/EvdevKeys.h"

#include "core/Log.h"
#include "platform/KeyTable.h"
#include "platform/X11Display.h"

#include <QDir>
#include <QFile>
#include <QFileSystemWatcher>
#include <QSocketNotifier>
#include <QTimer>

#include <X11/XKBlib.h>
#include <X11/keysym.h>

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <linux/input.h>
#include <sys/ioctl.h>
#include <unistd.h>

namespace EvdevKeys {
namespace {

// Tests point it at a folder of their own: they never read the machine's keyboards.
QString folder()
{
    return qEnvironmentVariable("OMBRY_TEST_INPUT_DIR", QStringLiteral("/dev/input"));
}

bool bitSet(const unsigned char *bits, int bit)
{
    return (bits[bit / 8] >> (bit % 8)) & 1;
}

// The session's keymap: Xwayland follows the compositor's, with X key codes
// eight above the kernel's.
unsigned long sessionKeysym(quint16 code)
{
    if (Display *dpy = X11::display())
        if (const KeySym sym = XkbKeycodeToKeysym(dpy, KeyCode(code + 8), 0, 0))
            return sym;
    return defaultKeysym(code);
}

} // namespace

std::optional<quint16> modifierForCode(quint16 code)
{
    switch (code) {
    case KEY_LEFTCTRL: return KeyTable::LeftControl;
    case KEY_RIGHTCTRL: return KeyTable::RightControl;
    case KEY_LEFTSHIFT: return KeyTable::LeftShift;
    case KEY_RIGHTSHIFT: return KeyTable::RightShift;
    case KEY_LEFTALT: return KeyTable::LeftAlt;
    case KEY_RIGHTALT: return KeyTable::RightAlt;
    case KEY_LEFTMETA: return KeyTable::LeftSuper;
    case KEY_RIGHTMETA: return KeyTable::RightSuper;
    }
    return std::nullopt;
}

unsigned long defaultKeysym(quint16 code)
{
    static const char rows[][11] = {"1234567890", "qwertyuiop", "asdfghjkl", "zxcvbnm"};
    static const quint16 starts[] = {KEY_1, KEY_Q, KEY_A, KEY_Z};
    for (int r = 0; r < 4; ++r) {
        const int i = int(code) - starts[r];
        if (i >= 0 && i < int(qstrlen(rows[r])))
            return (unsigned long)(unsigned char)rows[r][i];
    }
    if (code >= KEY_F1 && code <= KEY_F10)
        return XK_F1 + (code - KEY_F1);
    switch (code) {
    case KEY_ESC: return XK_Escape;
    case KEY_F11: return XK_F11;
    case KEY_F12: return XK_F12;
    case KEY_INSERT: return XK_Insert;
    case KEY_ENTER: return XK_Return;
    case KEY_TAB: return XK_Tab;
    case KEY_SPACE: return XK_space;
    case KEY_BACKSPACE: return XK_BackSpace;
    case KEY_DELETE: return XK_Delete;
    }
    return 0;
}

bool ownDevice(const QByteArray &name)
{
    return name.startsWith("Ombry Voice");
}

Decoder::Decoder(std::function<unsigned long(quint16)> keysymOf)
    : keysymOf_(keysymOf ? std::move(keysymOf) : std::function<unsigned long(quint16)>(defaultKeysym))
{
}

quint64 Decoder::flags() const
{
    quint64 flags = 0;
    for (quint16 code : held_)
        if (const auto key = modifierForCode(code))
            if (const KeyTable::ModifierKey *m = KeyTable::modifierKey(*key))
                flags |= m->flags;
    return flags;
}

std::optional<Event> Decoder::feed(quint16 type, quint16 code, qint32 value)
{
    if (type == EV_SYN) {
        if (code == SYN_DROPPED)
            dropping_ = true;
        else if (code == SYN_REPORT)
            dropping_ = false; // the reader now asks for the keys held (resync)
        return std::nullopt;
    }
    if (dropping_ || type != EV_KEY || value < 0 || value > 2)
        return std::nullopt;
    const bool down = value != 0;
    const bool repeat = value == 2 || (value == 1 && held_.contains(code));
    if (down)
        held_.insert(code);
    else if (!held_.remove(code))
        return std::nullopt; // went down before we listened
    if (const auto modifier = modifierForCode(code)) {
        if (repeat)
            return std::nullopt;
        return Event{Event::Modifier, *modifier, flags(), false};
    }
    if (!down)
        return std::nullopt;
    const auto key = KeyTable::keyForKeysym(keysymOf_(code));
    if (!key)
        return std::nullopt;
    return Event{Event::KeyDown, *key, flags(), repeat};
}

QList<Event> Decoder::resync(const QSet<quint16> &heldCodes)
{
    QList<Event> events;
    const QSet<quint16> before = held_;
    held_ = heldCodes;
    dropping_ = false;
    // A modifier's flags are those after each change, one change at a time.
    QSet<quint16> now = before;
    const auto change = [&](quint16 code, bool down) {
        if (down)
            now.insert(code);
        else
            now.remove(code);
        std::swap(held_, now);
        events.append(Event{Event::Modifier, *modifierForCode(code), flags(), false});
        std::swap(held_, now);
    };
    QList<quint16> up(before.begin(), before.end()), down(heldCodes.begin(), heldCodes.end());
    std::sort(up.begin(), up.end());
    std::sort(down.begin(), down.end());
    for (quint16 code : std::as_const(up))
        if (!heldCodes.contains(code) && modifierForCode(code))
            change(code, false);
    for (quint16 code : std::as_const(down))
        if (!before.contains(code) && modifierForCode(code))
            change(code, true);
    return events;
}

Reader::Reader(QObject *parent) : QObject(parent) {}

Reader::~Reader()
{
    stop();
}

bool Reader::start(QString *why)
{
    if (running())
        return true;
    const int refused = scan();
    if (devices_.isEmpty()) {
        if (why)
            *why = refused ? QStringLiteral("claviers illisibles (groupe input)") : QStringLiteral("aucun clavier");
        return false;
    }
    // A keyboard plugged in later: udev gives it its group a moment after the node appears.
    watcher_ = new QFileSystemWatcher({folder()}, this);
    connect(watcher_, &QFileSystemWatcher::directoryChanged, this,
            [this] { QTimer::singleShot(1000, this, [this] { scan(); }); });
    return true;
}

int Reader::scan()
{
    const QStringList names = QDir(folder()).entryList({QStringLiteral("event*")}, QDir::System);
    int refused = 0;
    for (const QString &name : names) {
        const QString node = folder() + QLatin1Char('/') + name;
        if (std::any_of(devices_.cbegin(), devices_.cend(), [&](const Device &d) { return d.node == node; }))
            continue;
        const int fd = ::open(QFile::encodeName(node).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
        if (fd < 0) {
            ++refused;
            continue;
        }
        char deviceName[256] = {};
        unsigned char keys[KEY_MAX / 8 + 1] = {};
        if (ioctl(fd, EVIOCGNAME(sizeof deviceName - 1), deviceName) < 0 || ownDevice(deviceName)
            || ioctl(fd, EVIOCGBIT(EV_KEY, sizeof keys), keys) < 0
            || !(bitSet(keys, KEY_C) || bitSet(keys, KEY_RIGHTCTRL))) {
            ::close(fd);
            continue;
        }
        Device device{fd, nullptr, Decoder(sessionKeysym), node};
        device.notifier = new QSocketNotifier(fd, QSocketNotifier::Read, this);
        connect(device.notifier, &QSocketNotifier::activated, this, [this, fd] { drain(fd); });
        devices_.append(device);
        Log::write(QStringLiteral("hotkey: clavier %1 (%2)").arg(QString::fromUtf8(deviceName), name));
    }
    return refused;
}

void Reader::stop()
{
    delete watcher_;
    watcher_ = nullptr;
    while (!devices_.isEmpty())
        close(devices_.first().fd);
}

void Reader::close(int fd)
{
    for (qsizetype i = 0; i < devices_.size(); ++i) {
        if (devices_[i].fd != fd)
            continue;
        delete devices_[i].notifier;
        ::close(fd);
        devices_.removeAt(i);
        return;
    }
}

void Reader::deliver(const Device &from, Event event)
{
    for (const Device &d : std::as_const(devices_))
        if (d.fd != from.fd)
            event.flags |= d.decoder.flags();
    if (event.kind == Event::Modifier) {
        if (onModifierChange)
            onModifierChange(event.key, event.flags);
    } else if (onKeyDown) {
        onKeyDown(event.key, event.flags, event.autorepeat);
    }
}

void Reader::drain(int fd)
{
    const auto device = [this, fd]() -> Device * {
        for (Device &d : devices_)
            if (d.fd == fd)
                return &d;
        return nullptr;
    };
    input_event events[64];
    for (;;) {
        Device *d = device();
        if (!d)
            return;
        const ssize_t n = ::read(fd, events, sizeof events);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            if (n == 0 || (errno != EAGAIN && errno != EWOULDBLOCK)) {
                // Unplugged: its keys are no longer held.
                const QList<Event> released = d->decoder.resync({});
                const Device gone = *d;
                close(fd);
                for (const Event &e : released)
                    deliver(gone, e);
            }
            return;
        }
        for (ssize_t i = 0; i < n / ssize_t(sizeof(input_event)); ++i) {
            const input_event &ev = events[i];
            const bool endOfDrop = d->decoder.dropping() && ev.type == EV_SYN && ev.code == SYN_REPORT;
            if (const auto event = d->decoder.feed(ev.type, ev.code, ev.value))
                deliver(*d, *event);
            if (endOfDrop) {
                unsigned char keys[KEY_MAX / 8 + 1] = {};
                QSet<quint16> held;
                if (ioctl(fd, EVIOCGKEY(sizeof keys), keys) >= 0)
                    for (int code = 0; code <= KEY_MAX; ++code)
                        if (bitSet(keys, code))
                            held.insert(quint16(code));
                for (const Event &e : d->decoder.resync(held))
                    deliver(*d, e);
            }
            // A callback may have stopped the reader.
            if (!(d = device()))
                return;
        }
    }
}

} // namespace EvdevKeys
