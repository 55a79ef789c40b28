#include "dictation/Paster.h"

#include "app/Application.h"
#include "model/Log.h"
#include "model/TextUtil.h"
#include "platform/Accessibility.h"
#include "platform/KeyTable.h"

#include <QCoreApplication>
#include <QPointer>
#include <QSet>
#include <QTimer>
#include <qcoro/qcorotimer.h>

#include <chrono>

using namespace std::chrono_literals;

Paster::Paster(PasteDesktop desktop, QObject *parent) : QObject(parent), desktop_(std::move(desktop)) {}

Paster::~Paster()
{
    flushRestore();
}

Paster *Paster::shared()
{
    return Application::root().paster();
}

void Paster::runRestore(quint64 serial)
{
    if (!pending_ || serial_ != serial)
        return;
    pending_ = false;
    // Someone copied something in the meantime: theirs is newer than ours.
    if (Clipboard::ownedHere())
        Clipboard::restore(saved_);
    if (savedPrimary_ && Clipboard::ownedHere(Clipboard::Mode::Primary))
        Clipboard::restore(*savedPrimary_, Clipboard::Mode::Primary);
    saved_ = {};
    savedPrimary_.reset();
}

// While our pasted text waits for its restore, the user's content is the saved one.
bool Paster::holdingPaste() const
{
    return pending_ && Clipboard::ownedHere();
}

bool Paster::isTerminal(const QString &wmClass)
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

bool Paster::isXtermFamily(const QString &wmClass)
{
    static const QSet<QString> family = {QStringLiteral("xterm"), QStringLiteral("uxterm"), QStringLiteral("rxvt"),
                                         QStringLiteral("urxvt")};
    return family.contains(wmClass.trimmed().toLower());
}

Paster::Snapshot Paster::snapshot()
{
    return holdingPaste() ? saved_ : Clipboard::snapshot();
}

bool Paster::command(quint16 keyCode)
{
    if (keyCode == kKeyV)
        return postPaste(desktop_.targetClass ? desktop_.targetClass() : QString());
    return desktop_.post && desktop_.post(keyCode, KeyTable::Control);
}

bool Paster::postPaste(const QString &targetClass)
{
    if (!desktop_.post)
        return false;
    if (isXtermFamily(targetClass))
        return desktop_.post(KeyTable::Insert, KeyTable::Shift);
    return desktop_.post(kKeyV, KeyTable::Control | (isTerminal(targetClass) ? KeyTable::Shift : 0));
}

bool Paster::paste(const QString &text, bool restore, std::optional<Snapshot> saved)
{
    Snapshot previous;
    if (saved) {
        previous = std::move(*saved);
    } else if (holdingPaste()) {
        // The clipboard still holds an earlier paste: the user's content is the
        // one that restore was keeping.
        previous = saved_;
    } else {
        previous = snapshot();
    }
    const QString target = desktop_.targetClass ? desktop_.targetClass() : QString();
    std::optional<Snapshot> previousPrimary;
    if (isXtermFamily(target)) {
        const bool holdingPrimary = pending_ && savedPrimary_ && Clipboard::ownedHere(Clipboard::Mode::Primary);
        previousPrimary = holdingPrimary ? *savedPrimary_ : Clipboard::snapshot(Clipboard::Mode::Primary);
    } else if (pending_ && savedPrimary_ && Clipboard::ownedHere(Clipboard::Mode::Primary)) {
        // An earlier paste into an xterm still holds PRIMARY: it goes back all the same.
        previousPrimary = savedPrimary_;
    }
    // A newer paste owns the restore from now on.
    pending_ = false;

    Clipboard::setText(text);
    if (isXtermFamily(target))
        Clipboard::setText(text, Clipboard::Mode::Primary);
    const bool posted = postPaste(target);

    if (!restore) {
        saved_ = {};
        savedPrimary_.reset();
        return posted;
    }
    pending_ = true;
    saved_ = std::move(previous);
    savedPrimary_ = std::move(previousPrimary);
    const quint64 serial = ++serial_;
    QTimer::singleShot(restoreDelayMs_, this, [this, serial] { runRestore(serial); });
    return posted;
}

void Paster::flushRestore()
{
    runRestore(serial_);
}

QCoro::Task<std::optional<QString>> Paster::selectedTextViaAX()
{
    QCoro::Task<Accessibility::FocusRead> reading = Accessibility::readFocus();
    const Accessibility::FocusRead read = co_await std::move(reading);
    co_return read.selected;
}

QCoro::Task<std::optional<bool>> Paster::focusedIsEditable()
{
    QCoro::Task<Accessibility::FocusRead> reading = Accessibility::readFocus();
    const Accessibility::FocusRead read = co_await std::move(reading);
    co_return read.editable;
}

QCoro::Task<> Paster::waitForModifiers()
{
    const std::function<quint64()> modifiers = desktop_.modifiers;
    const auto held = [&modifiers] { return modifiers && (modifiers() & kModifierMask) != 0; };
    for (int polls = 0; polls < 80 && held(); ++polls)
        co_await QCoro::sleepFor(25ms);
    co_await QCoro::sleepFor(60ms);
}

QCoro::Task<std::optional<QString>> Paster::copySelection()
{
    QPointer<Paster> self(this);
    QCoro::Task<> waiting = waitForModifiers();
    co_await std::move(waiting);
    if (!self)
        co_return std::nullopt;
    const QString app = desktop_.frontmostName ? desktop_.frontmostName() : QString();
    const quint64 flags = desktop_.modifiers ? desktop_.modifiers() : 0;
    Log::write(QStringLiteral("sélection: appli ") + (app.isEmpty() ? QStringLiteral("?") : app)
               + QStringLiteral(", touches 0x") + QString::number(flags, 16));

    QCoro::Task<std::optional<QString>> reading = selectedTextViaAX();
    const std::optional<QString> viaAX = co_await std::move(reading);
    if (!self)
        co_return std::nullopt;
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
