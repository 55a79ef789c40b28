#include "dictation/Paster.h"

#include "model/Log.h"
#include "model/TextUtil.h"
#include "dictation/HotkeyMonitor.h"
#include "platform/Accessibility.h"
#include "platform/FrontmostApp.h"
#include "platform/KeyPoster.h"
#include "platform/KeyTable.h"

#include <QPointer>
#include <QSet>
#include <QTimer>
#include <qcoro/qcorotimer.h>

#include <chrono>

using namespace std::chrono_literals;

namespace {

// The one restore waiting to run: while it waits, the clipboard holds our pasted
// text, and the user's own content lives only here.
struct PendingRestore
{
    quint64 serial = 0;
    bool active = false;
    Paster::Snapshot saved;
};
PendingRestore pending;

void runRestore(quint64 serial)
{
    if (!pending.active || pending.serial != serial)
        return;
    pending.active = false;
    // Someone copied something in the meantime: theirs is newer than ours.
    if (Clipboard::ownedHere())
        Clipboard::restore(pending.saved);
    pending.saved = {};
}

// While our pasted text waits for its restore, the user's content is the saved one.
bool holdingPaste()
{
    return pending.active && Clipboard::ownedHere();
}

} // namespace

namespace Paster {

namespace {

Hooks systemHooks()
{
    Hooks h;
    h.post = [](quint16 key, bool shift) {
        KeyPoster::post(key, KeyTable::Control | (shift ? KeyTable::Shift : 0));
    };
    h.targetClass = [] {
        const std::optional<RunningApp> app = FrontmostApp::current();
        if (!app)
            return QString();
        return isTerminal(app->wmInstance) ? app->wmInstance : app->wmClass;
    };
    h.modifiers = [] { return HotkeyMonitor::liveFlags(); };
    h.frontmostName = [] {
        const std::optional<RunningApp> app = FrontmostApp::current();
        return app ? app->name : QString();
    };
    return h;
}

} // namespace

Hooks &hooks()
{
    static Hooks h = systemHooks();
    return h;
}

bool isTerminal(const QString &wmClass)
{
    static const QSet<QString> terminals = {
        QStringLiteral("xterm"), QStringLiteral("uxterm"), QStringLiteral("urxvt"),
        QStringLiteral("rxvt"), QStringLiteral("gnome-terminal"), QStringLiteral("gnome-terminal-server"),
        QStringLiteral("konsole"), QStringLiteral("yakuake"), QStringLiteral("xfce4-terminal"),
        QStringLiteral("mate-terminal"), QStringLiteral("lxterminal"), QStringLiteral("qterminal"),
        QStringLiteral("terminator"), QStringLiteral("tilix"), QStringLiteral("alacritty"),
        QStringLiteral("kitty"), QStringLiteral("wezterm"), QStringLiteral("org.wezfurlong.wezterm"),
        QStringLiteral("st"), QStringLiteral("st-256color"), QStringLiteral("foot"),
        QStringLiteral("guake"), QStringLiteral("tilda"), QStringLiteral("terminology"),
        QStringLiteral("sakura"), QStringLiteral("kgx"), QStringLiteral("org.gnome.console"),
        QStringLiteral("ptyxis"), QStringLiteral("cool-retro-term"), QStringLiteral("deepin-terminal"),
        QStringLiteral("eterm"), QStringLiteral("hyper"), QStringLiteral("tabby"),
    };
    return terminals.contains(wmClass.trimmed().toLower());
}

Snapshot snapshot()
{
    return holdingPaste() ? pending.saved : Clipboard::snapshot();
}

void command(quint16 keyCode)
{
    const Hooks &h = hooks();
    if (!h.post)
        return;
    const bool shift = keyCode == kKeyV && h.targetClass && isTerminal(h.targetClass());
    h.post(keyCode, shift);
}

void paste(const QString &text, bool restore, std::optional<Snapshot> saved)
{
    Snapshot previous;
    if (saved) {
        previous = std::move(*saved);
    } else if (holdingPaste()) {
        // The clipboard still holds an earlier paste: the user's content is the
        // one that restore was keeping.
        previous = pending.saved;
    } else {
        previous = snapshot();
    }
    // A newer paste owns the restore from now on.
    pending.active = false;

    Clipboard::setText(text);
    command(kKeyV);

    if (!restore) {
        pending.saved = {};
        return;
    }
    pending.active = true;
    pending.saved = std::move(previous);
    const quint64 serial = ++pending.serial;
    QTimer::singleShot(600, QCoreApplication::instance(), [serial] { runRestore(serial); });
}

void flushRestore()
{
    runRestore(pending.serial);
}

std::optional<QString> selectedTextViaAX()
{
    return Accessibility::selectedText();
}

std::optional<bool> focusedIsEditable()
{
    return Accessibility::focusedIsEditable();
}

QCoro::Task<> waitForModifiers()
{
    const auto held = [] {
        const Hooks &h = hooks();
        return h.modifiers && (h.modifiers() & kModifierMask) != 0;
    };
    for (int polls = 0; polls < 80 && held(); ++polls)
        co_await QCoro::sleepFor(25ms);
    co_await QCoro::sleepFor(60ms);
}

QCoro::Task<std::optional<QString>> copySelection()
{
    co_await waitForModifiers();
    const Hooks &h = hooks();
    const QString app = h.frontmostName ? h.frontmostName() : QString();
    const quint64 flags = h.modifiers ? h.modifiers() : 0;
    Log::write(QStringLiteral("sélection: appli ") + (app.isEmpty() ? QStringLiteral("?") : app)
               + QStringLiteral(", touches 0x") + QString::number(flags, 16));

    const std::optional<QString> viaAX = selectedTextViaAX();
    if (viaAX && !TextUtil::trimmed(*viaAX).isEmpty()) {
        Log::write(QStringLiteral("sélection lue par accessibilité (")
                   + QString::number(TextUtil::characterCount(*viaAX)) + QStringLiteral(" caractères)"));
        co_return viaAX;
    }

    Clipboard::clear();
    const quint64 before = Clipboard::changeCount();
    command(kKeyC);
    // Our own clear may be reported late, so a change only counts once text came.
    const auto copied = [before] { return Clipboard::changeCount() != before && Clipboard::text(); };
    co_await QCoro::sleepFor(25ms);
    for (int polls = 1; polls < 40 && !copied(); ++polls)
        co_await QCoro::sleepFor(25ms);

    const std::optional<QString> text = Clipboard::text();
    Log::write(QStringLiteral("sélection copiée par ⌘C (")
               + QString::number(text ? TextUtil::characterCount(*text) : 0) + QStringLiteral(" caractères)"));
    co_return text;
}

} // namespace Paster
