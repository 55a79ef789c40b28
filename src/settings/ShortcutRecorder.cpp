#include "settings/ShortcutRecorder.h"

#include "core/SetOnce.h"
#include "dictation/DictationController.h"
#include "dictation/HotkeyMonitor.h"
#include "model/AppSettings.h"
#include "platform/KeyTable.h"
#include "platform/X11Display.h"

#include <QKeyEvent>
#include <QQuickWindow>

using namespace Qt::StringLiterals;

namespace {

const QString kReserved = u"Raccourci réservé"_s;
const QString kUnknown = u"Touche impossible à utiliser"_s;
const QString kTaken = u"Déjà pris par une autre application"_s;

bool isModifierQtKey(int key)
{
    switch (key) {
    case Qt::Key_Shift:
    case Qt::Key_Control:
    case Qt::Key_Meta:
    case Qt::Key_Alt:
    case Qt::Key_AltGr:
    case Qt::Key_CapsLock:
    case Qt::Key_NumLock:
    case Qt::Key_ScrollLock:
    case Qt::Key_Super_L:
    case Qt::Key_Super_R:
    case Qt::Key_Hyper_L:
    case Qt::Key_Hyper_R:
    case Qt::Key_Mode_switch:
    case Qt::Key_Direction_L:
    case Qt::Key_Direction_R:
        return true;
    default:
        return false;
    }
}

quint64 flagsOf(Qt::KeyboardModifiers modifiers)
{
    quint64 flags = 0;
    if (modifiers & Qt::ShiftModifier)
        flags |= KeyTable::Shift;
    if (modifiers & Qt::ControlModifier)
        flags |= KeyTable::Control;
    if (modifiers & Qt::AltModifier)
        flags |= KeyTable::Alt;
    if (modifiers & Qt::MetaModifier)
        flags |= KeyTable::Super;
    return flags;
}

// The key as the input hub names it: the unshifted symbol of the physical key.
std::optional<quint16> keyOf(const QKeyEvent *event)
{
    if (event->nativeScanCode() > 0)
        if (const unsigned long sym = X11::baseKeysym(event->nativeScanCode()))
            return KeyTable::keyForKeysym(sym);
    if (event->nativeVirtualKey() > 0)
        return KeyTable::keyForKeysym(event->nativeVirtualKey());
    return std::nullopt;
}

} // namespace

ShortcutRecorder::ShortcutRecorder(QQuickItem *parent) : QQuickItem(parent) {}

ShortcutRecorder::ShortcutRecorder(AppSettings *settings, QQuickItem *parent) : QQuickItem(parent), settings_(settings)
{
    followSettings();
}

AppSettings *ShortcutRecorder::settings() const
{
    return settings_;
}

DictationController *ShortcutRecorder::controller() const
{
    return controller_;
}

void ShortcutRecorder::setSettings(AppSettings *settings)
{
    if (setOnce(settings_, settings, started_))
        Q_EMIT titleChanged();
}

void ShortcutRecorder::setController(DictationController *controller)
{
    setOnce(controller_, controller, started_);
}

void ShortcutRecorder::componentComplete()
{
    QQuickItem::componentComplete();
    if (started_)
        return;
    if (!monitorSet_ && controller_)
        setMonitor(&controller_->hotkey());
    followSettings();
    if (window())
        checkRefused();
}

void ShortcutRecorder::followSettings()
{
    started_ = true;
    if (settings_) {
        connect(settings_, &AppSettings::correctionKeyCodeChanged, this, &ShortcutRecorder::titleChanged);
        connect(settings_, &AppSettings::correctionModifiersChanged, this, &ShortcutRecorder::titleChanged);
    }
}

ShortcutRecorder::~ShortcutRecorder()
{
    stop();
}

bool ShortcutRecorder::reserved(quint16 key, quint64 flags)
{
    const quint64 m = flags & KeyTable::ModifierMask;
    const quint64 ctrlAlt = KeyTable::Control | KeyTable::Alt;
    if (m == ctrlAlt && (key == KeyTable::V || key == KeyTable::R))
        return true;
    constexpr quint16 X = 7;
    const bool clipboardKey = key == KeyTable::C || key == KeyTable::V || key == X;
    if (clipboardKey && m == KeyTable::Control)
        return true;
    return (key == KeyTable::C || key == KeyTable::V) && m == (KeyTable::Control | KeyTable::Shift);
}

ShortcutRecorder::Outcome ShortcutRecorder::evaluate(std::optional<quint16> key, bool modifierKey, quint64 flags)
{
    Outcome out;
    if (modifierKey || (key && KeyTable::modifierKey(*key)))
        return out;
    constexpr quint64 needed = KeyTable::Control | KeyTable::Alt | KeyTable::Super;
    if (!(flags & needed))
        return out;
    if (!key) {
        out.verdict = Verdict::Unknown;
        return out;
    }
    out.key = *key;
    out.flags = flags & KeyTable::ModifierMask;
    if (reserved(out.key, out.flags)) {
        out.verdict = Verdict::Reserved;
        return out;
    }
    out.verdict = Verdict::Accept;
    out.label = KeyTable::storedLabel(out.key, out.flags);
    return out;
}

void ShortcutRecorder::setMonitor(HotkeyMonitor *monitor)
{
    if (monitor_)
        disconnect(monitor_, nullptr, this, nullptr);
    monitor_ = monitor;
    monitorSet_ = true;
    if (monitor_)
        connect(monitor_, &HotkeyMonitor::refusedChanged, this, &ShortcutRecorder::checkRefused);
}

QString ShortcutRecorder::title() const
{
    if (listening_)
        return u"Tape ton raccourci…"_s;
    // Shown from the code and flags: the stored label keeps its own vocabulary.
    if (!settings_)
        return {};
    return KeyTable::label(quint16(settings_->correctionKeyCode()),
                           quint64(settings_->correctionModifiers()) & KeyTable::ModifierMask);
}

void ShortcutRecorder::setHint(const QString &hint)
{
    if (hint == hint_)
        return;
    hint_ = hint;
    Q_EMIT hintChanged();
}

void ShortcutRecorder::start()
{
    if (listening_)
        return;
    listening_ = true;
    setHint({});
    if (monitor_)
        monitor_->setRecording(true);
    window_ = window();
    if (window_)
        window_->installEventFilter(this);
    Q_EMIT listeningChanged();
    Q_EMIT titleChanged();
}

void ShortcutRecorder::stop()
{
    if (!listening_)
        return;
    if (window_)
        window_->removeEventFilter(this);
    window_.clear();
    listening_ = false;
    // A refusal explained the keys typed while listening; what stays is
    // whether the stored shortcut can fire, known once the grabs are back.
    setHint({});
    if (monitor_)
        monitor_->setRecording(false);
    checkRefused();
    Q_EMIT listeningChanged();
    Q_EMIT titleChanged();
}

void ShortcutRecorder::toggle()
{
    if (listening_)
        stop();
    else
        start();
}

void ShortcutRecorder::checkRefused()
{
    if (listening_ || !settings_ || !monitor_)
        return;
    const bool taken = monitor_->refuses(quint16(settings_->correctionKeyCode()), settings_->correctionModifiers());
    if (taken)
        setHint(kTaken);
    else if (hint_ == kTaken)
        setHint({});
}

void ShortcutRecorder::press(std::optional<quint16> key, bool modifierKey, quint64 flags, bool escape)
{
    if (!listening_)
        return;
    // Escape ends listening whatever is held: it is never a shortcut.
    if (escape) {
        stop();
        return;
    }
    const Outcome out = evaluate(key, modifierKey, flags);
    switch (out.verdict) {
    case Verdict::Ignore:
        return;
    case Verdict::Unknown:
        setHint(kUnknown);
        return;
    case Verdict::Reserved:
        setHint(kReserved);
        return;
    case Verdict::Accept:
        break;
    }
    if (settings_) {
        settings_->setCorrectionKeyCode(out.key);
        settings_->setCorrectionModifiers(out.flags);
        if (settings_->correctionLabel() != out.label)
            settings_->setCorrectionLabel(out.label);
    }
    // The grab is taken again as listening ends: stop() tells whether the server gave it.
    stop();
}

void ShortcutRecorder::handleKey(QKeyEvent *event)
{
    const bool modifierKey = isModifierQtKey(event->key());
    const std::optional<quint16> key = modifierKey ? std::nullopt : keyOf(event);
    const bool escape = event->key() == Qt::Key_Escape || key == KeyTable::Escape;
    press(key, modifierKey, flagsOf(event->modifiers()), escape);
}

bool ShortcutRecorder::eventFilter(QObject *watched, QEvent *event)
{
    if (!listening_ || watched != window_)
        return QQuickItem::eventFilter(watched, event);
    switch (event->type()) {
    case QEvent::KeyPress: {
        auto *key = static_cast<QKeyEvent *>(event);
        if (!key->isAutoRepeat())
            handleKey(key);
        return true;
    }
    case QEvent::KeyRelease:
    case QEvent::ShortcutOverride:
        event->accept();
        return true;
    default:
        return QQuickItem::eventFilter(watched, event);
    }
}

void ShortcutRecorder::itemChange(ItemChange change, const ItemChangeData &value)
{
    if (change == ItemSceneChange && !value.window)
        stop();
    if (change == ItemSceneChange && value.window)
        checkRefused();
    QQuickItem::itemChange(change, value);
}
