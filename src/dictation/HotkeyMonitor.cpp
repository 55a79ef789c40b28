#include "dictation/HotkeyMonitor.h"

#include "model/AppSettings.h"
#include "core/Clock.h"
#include "core/Log.h"
#include "platform/EvdevKeys.h"
#include "platform/KeyTable.h"
#include "platform/SelectionOwners.h"

#include <QCoreApplication>
#include <QTimer>

namespace {

quint64 gLiveFlags = 0;
quint64 gCopySeriesStart = 0;

// The device-dependent bit set while the dictation key itself is down.
quint64 flagBit(DictationKey key)
{
    switch (key) {
    case DictationKey::RightAlt:
        return KeyTable::RightAltBit;
    case DictationKey::RightSuper:
        return KeyTable::RightSuperBit;
    case DictationKey::RightControl:
        return KeyTable::RightControlBit;
    case DictationKey::Fn:
        return KeyTable::Fn;
    }
    return 0;
}

constexpr qint64 kCopySeriesMs = 500;
constexpr int kDoubleCopyDecisionMs = 400;
constexpr qint64 kChordWindowMs = 600;

} // namespace

HotkeyMonitor::HotkeyMonitor(AppSettings *settings, QObject *parent) : QObject(parent), settings_(settings)
{
    clock = Clock::monotonicMs;
    hub_.onModifierChange = [this](quint16 key, quint64 flags, X11InputHub::Source source) {
        modifierChange(key, flags, source.posted ? PostedByAnotherProgram : 0, source.device);
    };
    hub_.onKeyDown = [this](quint16 key, quint64 flags, bool autorepeat, X11InputHub::Source source) {
        keyDown(key, flags, autorepeat, source.posted ? PostedByAnotherProgram : 0, source.time);
        if (!autorepeat)
            queue([this, key] { Q_EMIT keyObserved(key); });
    };
    hub_.onButtonPress = [this](int button, X11InputHub::Source) {
        queue([this, button] { Q_EMIT pointerPressed(button); });
    };
    connect(&hub_, &X11InputHub::refusedChanged, this, &HotkeyMonitor::refusedChanged);
    connect(settings_, &AppSettings::correctionShortcutChanged, this, &HotkeyMonitor::updateGrabs);
    connect(settings_, &AppSettings::correctionDoubleCopyChanged, this, &HotkeyMonitor::updateGrabs);
    connect(settings_, &AppSettings::correctionKeyCodeChanged, this, &HotkeyMonitor::updateGrabs);
    connect(settings_, &AppSettings::correctionModifiersChanged, this, &HotkeyMonitor::updateGrabs);
}

HotkeyMonitor::~HotkeyMonitor() = default;

const QStringList &HotkeyMonitor::actionNames()
{
    static const QStringList names = {
        QStringLiteral("dictee-debut"), QStringLiteral("dictee-fin"), QStringLiteral("dictee-basculer"),
        QStringLiteral("annuler"),      QStringLiteral("corriger"),   QStringLiteral("traduire"),
        QStringLiteral("lire"),         QStringLiteral("recoller"),
    };
    return names;
}

bool HotkeyMonitor::perform(const QString &action)
{
    const auto call = [this](const std::function<void()> &hook) {
        queue([hook] {
            if (hook)
                hook();
        });
    };
    if (action == QLatin1String("dictee-debut")) {
        edge(true);
    } else if (action == QLatin1String("dictee-fin")) {
        edge(false);
    } else if (action == QLatin1String("dictee-basculer")) {
        // A tap of the key: its press, then its release at once.
        edge(true);
        edge(false);
    } else if (action == QLatin1String("annuler")) {
        // Escape's rule: it cancels only a recording.
        if (dictating_)
            call(onCancel);
    } else if (action == QLatin1String("corriger")) {
        call(onCorrect);
    } else if (action == QLatin1String("traduire")) {
        call(onTranslate);
    } else if (action == QLatin1String("lire")) {
        call(onSpeak);
    } else if (action == QLatin1String("recoller")) {
        call(onPasteLast);
    } else {
        return false;
    }
    Log::write(QStringLiteral("touche: action %1").arg(action));
    return true;
}

SessionRoutes::Keys HotkeyMonitor::route() const
{
    return route_ ? *route_ : SessionRoutes::current().keys;
}

QList<PortalShortcuts::Shortcut> HotkeyMonitor::portalShortcuts() const
{
    const AppSettings *s = settings_;
    QString correct;
    if (s->correctionShortcut() && !s->correctionDoubleCopy() && s->correctionKeyCode() >= 0
        && s->correctionKeyCode() <= 0xFFFF)
        correct = PortalShortcuts::trigger(quint16(s->correctionKeyCode()), s->correctionModifiers());
    const KeyTable::ModifierKey *key = KeyTable::modifierKey(keyCode(s->key()));
    // Escape is not asked for: the desktop would take it from every application
    // all the time, not only while we record.
    return {
        {QStringLiteral("dictee"), QStringLiteral("Dicter (maintenir la touche)"),
         key ? PortalShortcuts::trigger(key->key, 0) : QString()},
        {QStringLiteral("annuler"), QStringLiteral("Annuler la dictée en cours"), QString()},
        {QStringLiteral("corriger"), QStringLiteral("Corriger la sélection"), correct},
        {QStringLiteral("traduire"), QStringLiteral("Traduire la sélection"), QString()},
        {QStringLiteral("lire"), QStringLiteral("Lire la sélection à voix haute"),
         PortalShortcuts::trigger(KeyTable::R, KeyTable::Control | KeyTable::Alt)},
        {QStringLiteral("recoller"), QStringLiteral("Recoller la dernière dictée"),
         PortalShortcuts::trigger(KeyTable::V, KeyTable::Control | KeyTable::Alt)},
    };
}

bool HotkeyMonitor::active() const
{
    switch (route()) {
    case SessionRoutes::Keys::X11:
        return hub_.running();
    case SessionRoutes::Keys::Evdev:
        return evdev_ && evdev_->running();
    case SessionRoutes::Keys::Portal:
        return (portal_ && portal_->bound()) || (evdev_ && evdev_->running());
    case SessionRoutes::Keys::Actions:
        return true; // the compositor's bindings run `--action`
    }
    return false;
}

quint64 HotkeyMonitor::liveFlags()
{
    return gLiveFlags;
}

quint64 HotkeyMonitor::copySeriesStart()
{
    return gCopySeriesStart;
}

void HotkeyMonitor::setRecording(bool on)
{
    if (recording_ == on)
        return;
    recording_ = on;
    updateGrabs();
}

void HotkeyMonitor::setDictating(bool on)
{
    if (dictating_ == on)
        return;
    dictating_ = on;
    updateGrabs();
}

QList<X11InputHub::Grab> HotkeyMonitor::wantedGrabs() const
{
    QList<X11InputHub::Grab> grabs;
    if (dictating_)
        grabs.append({KeyTable::Escape, 0, true});
    if (!recording_) {
        grabs.append({KeyTable::V, KeyTable::Control | KeyTable::Alt, false});
        grabs.append({KeyTable::R, KeyTable::Control | KeyTable::Alt, false});
        const AppSettings *s = settings_;
        if (s->correctionShortcut() && !s->correctionDoubleCopy() && s->correctionKeyCode() >= 0
            && s->correctionKeyCode() <= 0xFFFF)
            grabs.append({quint16(s->correctionKeyCode()), s->correctionModifiers() & KeyTable::ModifierMask, false});
    }
    return grabs;
}

bool HotkeyMonitor::refuses(quint16 key, quint64 modifiers) const
{
    return hub_.refused().contains(X11InputHub::Grab{key, modifiers & KeyTable::ModifierMask, false});
}

void HotkeyMonitor::updateGrabs()
{
    hub_.setGrabs(wantedGrabs());
}

bool HotkeyMonitor::startEvdev()
{
    if (!evdev_) {
        evdev_ = std::make_unique<EvdevKeys::Reader>();
        evdev_->onModifierChange = [this](quint16 key, quint64 flags) { modifierChange(key, flags, 0, 0); };
        evdev_->onKeyDown = [this](quint16 key, quint64 flags, bool autorepeat) {
            keyDown(key, flags, autorepeat, 0);
            if (!autorepeat)
                queue([this, key] { Q_EMIT keyObserved(key); });
        };
    }
    QString why;
    if (!evdev_->start(&why)) {
        Log::write(QStringLiteral("hotkey: claviers non lus (%1), touches globales par les actions seulement").arg(why));
        return false;
    }
    Log::write(QStringLiteral("hotkey: claviers lus (evdev)"));
    return true;
}

void HotkeyMonitor::startPortal()
{
    if (portal_) {
        // Bound once per session: binding again would ask the user again.
        if (evdev_)
            startEvdev(); // the portal failed earlier
        return;
    }
    portal_ = std::make_unique<PortalShortcuts>(QDBusConnection::sessionBus());
    connect(portal_.get(), &PortalShortcuts::activated, this, [this](const QString &id) {
        perform(id == QLatin1String("dictee") ? QStringLiteral("dictee-debut") : id);
    });
    connect(portal_.get(), &PortalShortcuts::deactivated, this, [this](const QString &id) {
        if (id == QLatin1String("dictee"))
            perform(QStringLiteral("dictee-fin"));
    });
    // Refused or dismissed: the keyboards themselves, where they may be read.
    connect(portal_.get(), &PortalShortcuts::failed, this, [this] { startEvdev(); });
    portal_->start(portalShortcuts());
}

void HotkeyMonitor::start()
{
    switch (route()) {
    case SessionRoutes::Keys::X11:
        break;
    case SessionRoutes::Keys::Evdev:
        startEvdev();
        return;
    case SessionRoutes::Keys::Portal:
        startPortal();
        return;
    case SessionRoutes::Keys::Actions:
        Log::write(QStringLiteral("hotkey: touches par les raccourcis du compositeur (ombry-voice --action)"));
        return;
    }
    QString why;
    if (!hub_.start(&why)) {
        Log::write(QStringLiteral("hotkey: event tap refusé (%1), touches globales indisponibles").arg(why));
        return;
    }
    // Clipboard owner changes are followed from the start: the first copy series
    // after launch is judged by them.
    SelectionOwners::watch();
    updateGrabs();
    Log::write(QStringLiteral("hotkey: event tap actif"));
}

void HotkeyMonitor::stop()
{
    hub_.stop();
    if (evdev_)
        evdev_->stop();
    portal_.reset();
    down_ = false;
}

void HotkeyMonitor::restart()
{
    hub_.stop();
    if (evdev_)
        evdev_->stop();
    down_ = false;
    start();
}

void HotkeyMonitor::queue(std::function<void()> action, int delayMs)
{
    QTimer::singleShot(delayMs, this, [action = std::move(action)] {
        if (action)
            action();
    });
}

void HotkeyMonitor::noteOtherKey()
{
    if (down_ && !chordReported_ && clock() - downAt_ < kChordWindowMs) {
        chordReported_ = true;
        if (onChord)
            onChord();
    }
}

void HotkeyMonitor::modifierChange(quint16 key, quint64 flags, qint64 pid, qint64 state)
{
    gLiveFlags = flags;
    queue([this, key, flags, pid, state] {
        const DictationKey dictationKey = settings_->key();
        if (key != keyCode(dictationKey) && pid == 0) {
            const KeyTable::ModifierKey *m = KeyTable::modifierKey(key);
            if (m && (flags & m->flags) == m->flags)
                noteOtherKey();
        }
        handle(key, flags, pid, state);
    });
}

bool HotkeyMonitor::keyDown(quint16 key, quint64 flags, bool autorepeat, qint64 pid, quint64 time)
{
    const bool swallowed = decide(key, flags, autorepeat, pid, time);
    // Another key pressed while the dictation key is held makes the dictation
    // key part of a chord, also when one of our shortcuts swallows it (right
    // Control held for a Control shortcut); Escape cancelling a recording does not.
    if (!(swallowed && key == KeyTable::Escape) && pid == 0 && !autorepeat)
        queue([this] { noteOtherKey(); });
    return swallowed;
}

bool HotkeyMonitor::decide(quint16 key, quint64 flags, bool autorepeat, qint64 pid, quint64 time)
{
    const quint64 m = flags & KeyTable::ModifierMask;

    if (key == KeyTable::Escape && dictating_) {
        queue([this] {
            if (onCancel)
                onCancel();
        });
        return true;
    }
    if (key == KeyTable::V && !recording_ && m == (KeyTable::Control | KeyTable::Alt)) {
        if (!autorepeat)
            queue([this] {
                if (onPasteLast)
                    onPasteLast();
            });
        return true;
    }
    if (key == KeyTable::R && !recording_ && m == (KeyTable::Control | KeyTable::Alt)) {
        if (!autorepeat)
            queue([this] {
                if (onSpeak)
                    onSpeak();
            });
        return true;
    }
    if (recording_)
        return false;

    const AppSettings *s = settings_;
    // Ctrl+Shift+C is the terminals' copy: both keys, mixed, make one series.
    const bool copyKey = m == KeyTable::ClipboardModifier || m == (KeyTable::ClipboardModifier | KeyTable::Shift);
    if (s->correctionShortcut() && key == KeyTable::C && s->correctionDoubleCopy() && copyKey && !autorepeat
        && pid == 0) {
        const qint64 now = clock();
        copyCount = (lastCopy && now - *lastCopy < kCopySeriesMs) ? copyCount + 1 : 1;
        lastCopy = now;
        if (copyCount == 1)
            gCopySeriesStart = time;
        if (copyCount == 3) {
            copyCount = 0;
            lastCopy.reset();
            queue([this] {
                if (onTripleCopy)
                    onTripleCopy();
            });
        } else if (copyCount == 2) {
            queue(
                [this] {
                    if (copyCount != 2)
                        return;
                    copyCount = 0;
                    lastCopy.reset();
                    if (onDoubleCopy)
                        onDoubleCopy();
                },
                kDoubleCopyDecisionMs);
        }
        return false; // the application still copies
    }
    if (s->correctionShortcut() && !s->correctionDoubleCopy() && key == s->correctionKeyCode()
        && m == (s->correctionModifiers() & KeyTable::ModifierMask)) {
        if (!autorepeat)
            queue([this] {
                if (onCorrect)
                    onCorrect();
            });
        return true;
    }
    return false;
}

QString HotkeyMonitor::sourceLabel(qint64 pid) const
{
    if (pid == PostedByAnotherProgram)
        return QStringLiteral("XTEST");
    if (pid < 1)
        return QStringLiteral("clavier");
    if (pid == QCoreApplication::applicationPid())
        return QStringLiteral("Ombry Voice");
    return QStringLiteral("pid ") + QString::number(pid);
}

void HotkeyMonitor::handle(quint16 keyCode, quint64 raw, qint64 pid, qint64 state)
{
    const DictationKey key = settings_->key();
    if (keyCode != ::keyCode(key))
        return;
    const bool down = (raw & flagBit(key)) != 0;
    Log::write(QStringLiteral("touche: %1 %2 (0x%3, source %4, état %5)")
                   .arg(rawValue(key), down ? QStringLiteral("enfoncée") : QStringLiteral("relâchée"),
                        QString::number(raw, 16), sourceLabel(pid), QString::number(state)));
    if (pid != 0 && pid != QCoreApplication::applicationPid())
        return; // posted by another program
    edge(down);
}

void HotkeyMonitor::edge(bool down)
{
    if (down && !down_) {
        down_ = true;
        downAt_ = clock();
        chordReported_ = false;
        if (onPress)
            onPress();
    } else if (!down && down_) {
        down_ = false;
        if (onRelease)
            onRelease();
    }
}
