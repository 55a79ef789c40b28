#include "platform/X11InputHub.h"

#include "core/Log.h"
#include "platform/KeyTable.h"
#include "platform/X11Display.h"

#include <QSocketNotifier>
#include <QTimer>

#include <X11/XKBlib.h>
#include <X11/Xlib.h>
#include <X11/extensions/XInput2.h>
#include <X11/keysym.h>

X11InputHub::X11InputHub(QObject *parent) : QObject(parent) {}

X11InputHub::~X11InputHub()
{
    stop();
}

bool X11InputHub::start(QString *why)
{
    if (dpy_)
        return true;
    X11::installErrorHandler();
    Display *dpy = XOpenDisplay(nullptr);
    if (!dpy) {
        if (why)
            *why = QStringLiteral("pas de serveur X");
        return false;
    }
    int event = 0, error = 0;
    int major = 2, minor = 2;
    if (!XQueryExtension(dpy, "XInputExtension", &xiOpcode_, &event, &error)
        || XIQueryVersion(dpy, &major, &minor) != Success || major < 2 || (major == 2 && minor < 2)) {
        XCloseDisplay(dpy);
        if (why)
            *why = QStringLiteral("XInput 2.2 absent");
        return false;
    }
    dpy_ = dpy;
    root_ = DefaultRootWindow(dpy);
    acceptXTest_ = qEnvironmentVariable("OMBRY_TEST_ACCEPT_XTEST") == QLatin1String("1");

    // Without this the server sends a release before every repeated press.
    XkbSetDetectableAutoRepeat(dpy, True, nullptr);

    selectEvents();

    refreshDevices();
    refreshKeymap();
    held_.clear();
    flags_ = 0;

    notifier_ = new QSocketNotifier(ConnectionNumber(dpy), QSocketNotifier::Read, this);
    connect(notifier_, &QSocketNotifier::activated, this, &X11InputHub::drain);
    const QList<Grab> wanted = grabs_;
    grabs_.clear();
    setGrabs(wanted);
    XFlush(dpy);
    QTimer::singleShot(0, this, &X11InputHub::drain);
    return true;
}

void X11InputHub::selectEvents()
{
    // Slave devices: raw events for master devices are dropped during a grab.
    unsigned char bits[XIMaskLen(XI_LASTEVENT)] = {};
    XISetMask(bits, XI_RawKeyPress);
    XISetMask(bits, XI_RawKeyRelease);
    if (watchButtons_)
        XISetMask(bits, XI_RawButtonPress);
    XISetMask(bits, XI_HierarchyChanged);
    XIEventMask mask{XIAllDevices, int(sizeof bits), bits};
    XISelectEvents(dpy_, root_, &mask, 1);
}

void X11InputHub::setWatchButtons(bool on)
{
    if (watchButtons_ == on)
        return;
    watchButtons_ = on;
    if (dpy_) {
        selectEvents();
        XFlush(dpy_);
    }
}

void X11InputHub::stop()
{
    if (!dpy_)
        return;
    delete notifier_;
    notifier_ = nullptr;
    XCloseDisplay(dpy_); // also ends every grab of this connection
    dpy_ = nullptr;
    held_.clear();
    flags_ = 0;
}

void X11InputHub::refreshDevices()
{
    xtestDevices_.clear();
    int count = 0;
    XIDeviceInfo *info = XIQueryDevice(dpy_, XIAllDevices, &count);
    for (int i = 0; i < count; ++i)
        if (QByteArray(info[i].name).contains("XTEST"))
            xtestDevices_.insert(info[i].deviceid);
    XIFreeDeviceInfo(info);
}

void X11InputHub::refreshKeymap()
{
    modifierKeycodes_.clear();
    keycodeByModifier_.clear();
    // Modifier keys by their physical name first, whatever the layout puts on them.
    if (XkbDescPtr xkb = XkbGetMap(dpy_, 0, XkbUseCoreKbd)) {
        if (XkbGetNames(dpy_, XkbKeyNamesMask, xkb) == Success && xkb->names && xkb->names->keys) {
            for (int kc = xkb->min_key_code; kc <= xkb->max_key_code; ++kc) {
                const QByteArray name(xkb->names->keys[kc].name, strnlen(xkb->names->keys[kc].name, XkbKeyNameLength));
                for (const KeyTable::ModifierKey &m : KeyTable::modifierKeys()) {
                    if (name == m.xkbName && !keycodeByModifier_.contains(m.key)) {
                        modifierKeycodes_.insert(unsigned(kc), m.key);
                        keycodeByModifier_.insert(m.key, unsigned(kc));
                    }
                }
            }
        }
        XkbFreeKeyboard(xkb, 0, True);
    }
    for (const KeyTable::ModifierKey &m : KeyTable::modifierKeys()) {
        if (keycodeByModifier_.contains(m.key))
            continue;
        const unsigned kc = XKeysymToKeycode(dpy_, m.keysym);
        if (kc && !modifierKeycodes_.contains(kc)) {
            modifierKeycodes_.insert(kc, m.key);
            keycodeByModifier_.insert(m.key, kc);
        }
    }
    numLockMask_ = 0;
    if (XModifierKeymap *map = XGetModifierMapping(dpy_)) {
        const KeyCode numLock = XKeysymToKeycode(dpy_, XK_Num_Lock);
        for (int mod = 0; mod < 8; ++mod)
            for (int j = 0; j < map->max_keypermod; ++j)
                if (numLock && map->modifiermap[mod * map->max_keypermod + j] == numLock)
                    numLockMask_ = 1u << mod;
        XFreeModifiermap(map);
    }
}

unsigned int X11InputHub::keycodeFor(quint16 key) const
{
    if (keycodeByModifier_.contains(key))
        return keycodeByModifier_.value(key);
    const unsigned long sym = KeyTable::keysymFor(key);
    return sym ? XKeysymToKeycode(dpy_, sym) : 0;
}

bool X11InputHub::applyGrab(const Grab &grab, bool on)
{
    const unsigned int kc = keycodeFor(grab.key);
    if (!kc)
        return true;
    // Every combination one by one rather than AnyModifier: one combination that
    // another client holds would make the server refuse AnyModifier entirely.
    QList<unsigned int> bases;
    if (grab.anyModifier) {
        const unsigned int mods[] = {ShiftMask, ControlMask, Mod1Mask, Mod4Mask};
        for (unsigned int subset = 0; subset < 16; ++subset) {
            unsigned int mask = 0;
            for (int i = 0; i < 4; ++i)
                if (subset & (1u << i))
                    mask |= mods[i];
            bases.append(mask);
        }
    } else {
        bases.append(KeyTable::xModifierMask(grab.modifiers));
    }
    QList<unsigned int> masks;
    for (unsigned int base : std::as_const(bases)) {
        masks += {base, base | LockMask};
        if (numLockMask_)
            masks += {base | numLockMask_, base | LockMask | numLockMask_};
    }
    // Only the plain combination counts as refused: a window manager often
    // holds the key with some other modifiers (Alt+Escape…), which is expected.
    bool refused = false;
    X11::takeLastError();
    for (unsigned int m : std::as_const(masks)) {
        if (!on) {
            XUngrabKey(dpy_, int(kc), m, root_);
            continue;
        }
        XGrabKey(dpy_, int(kc), m, root_, False, GrabModeAsync, GrabModeAsync);
        XSync(dpy_, False);
        if (X11::takeLastError() != 0 && m == masks.first())
            refused = true;
    }
    XSync(dpy_, False);
    X11::takeLastError();
    if (refused)
        Log::write(QStringLiteral("hotkey: raccourci %1 déjà pris par une autre application")
                       .arg(KeyTable::label(grab.key, grab.anyModifier ? 0 : grab.modifiers)));
    return !refused;
}

void X11InputHub::setGrabs(const QList<Grab> &grabs)
{
    const QList<Grab> refusedBefore = refused_;
    if (!dpy_) {
        grabs_ = grabs;
        refused_.clear();
        if (refused_ != refusedBefore)
            Q_EMIT refusedChanged();
        return;
    }
    for (const Grab &g : std::as_const(grabs_))
        if (!grabs.contains(g))
            applyGrab(g, false);
    QList<Grab> refused;
    for (const Grab &g : grabs) {
        if (!grabs_.contains(g)) {
            if (!applyGrab(g, true))
                refused.append(g);
        } else if (refused_.contains(g)) {
            refused.append(g);
        }
    }
    grabs_ = grabs;
    refused_ = refused;
    if (refused_ != refusedBefore)
        Q_EMIT refusedChanged();
    // XSync may have queued events that the socket will not announce again.
    QTimer::singleShot(0, this, &X11InputHub::drain);
}

quint64 X11InputHub::computeFlags() const
{
    quint64 flags = 0;
    for (unsigned int kc : held_) {
        const auto it = modifierKeycodes_.constFind(kc);
        if (it != modifierKeycodes_.constEnd())
            if (const KeyTable::ModifierKey *m = KeyTable::modifierKey(*it))
                flags |= m->flags;
    }
    return flags;
}

void X11InputHub::drain()
{
    while (dpy_ && XPending(dpy_) > 0) {
        XEvent ev;
        XNextEvent(dpy_, &ev);
        if (ev.type == GenericEvent && ev.xcookie.extension == xiOpcode_) {
            if (!XGetEventData(dpy_, &ev.xcookie))
                continue;
            switch (ev.xcookie.evtype) {
            case XI_RawKeyPress:
                handleRaw(ev.xcookie.data, true);
                break;
            case XI_RawKeyRelease:
                handleRaw(ev.xcookie.data, false);
                break;
            case XI_RawButtonPress:
                handleButton(ev.xcookie.data);
                break;
            case XI_HierarchyChanged:
                refreshDevices();
                break;
            }
            XFreeEventData(dpy_, &ev.xcookie);
        } else if (ev.type == MappingNotify) {
            XRefreshKeyboardMapping(&ev.xmapping);
            if (ev.xmapping.request != MappingPointer) {
                refreshKeymap();
                const QList<Grab> wanted = grabs_;
                for (const Grab &g : wanted)
                    applyGrab(g, false);
                QList<Grab> refused;
                for (const Grab &g : wanted)
                    if (!applyGrab(g, true))
                        refused.append(g);
                if (refused != refused_) {
                    refused_ = refused;
                    Q_EMIT refusedChanged();
                }
            }
        }
        // Key events of our own grabs are what the grab swallowed: nothing to do.
    }
}

void X11InputHub::handleButton(void *cookieData)
{
    const auto *raw = static_cast<const XIRawEvent *>(cookieData);
    if (raw->deviceid != raw->sourceid || !onButtonPress)
        return;
    Source source;
    source.device = raw->sourceid;
    source.posted = xtestDevices_.contains(raw->sourceid) && !acceptXTest_;
    onButtonPress(raw->detail, source);
}

void X11InputHub::handleRaw(void *cookieData, bool down)
{
    const auto *raw = static_cast<const XIRawEvent *>(cookieData);
    if (raw->deviceid != raw->sourceid)
        return; // the same event again through the master device
    const unsigned int kc = unsigned(raw->detail);
    Source source;
    source.device = raw->sourceid;
    source.time = raw->time;
    if (xtestDevices_.contains(raw->sourceid)) {
        if (X11::claimPosted(kc, down))
            return; // our own synthetic key
        source.posted = !acceptXTest_;
    }

    const bool repeat = down && held_.contains(kc);
    if (down)
        held_.insert(kc);
    else
        held_.remove(kc);

    const auto mod = modifierKeycodes_.constFind(kc);
    if (mod != modifierKeycodes_.constEnd()) {
        if (repeat)
            return;
        flags_ = computeFlags();
        if (onModifierChange)
            onModifierChange(*mod, flags_, source);
        return;
    }
    if (!down || !onKeyDown)
        return;
    const KeySym sym = XkbKeycodeToKeysym(dpy_, KeyCode(kc), 0, 0);
    if (const auto key = KeyTable::keyForKeysym(sym))
        onKeyDown(*key, flags_, repeat, source);
}
