#include "dictation/Paster.h"

#include "dictation/HotkeyMonitor.h"
#include "core/Log.h"
#include "model/TextUtil.h"
#include "platform/Accessibility.h"
#include "platform/FrontSelection.h"
#include "platform/FrontmostApp.h"
#include "platform/KeyPoster.h"
#include "platform/KeyTable.h"
#include "platform/SelectionOwners.h"

#include <QCoreApplication>
#include <QPointer>
#include <QSet>
#include <QTimer>
#include <qcoro/qcorotimer.h>

#include <chrono>

using namespace std::chrono_literals;

namespace {

PasteDesktop completed(PasteDesktop desktop)
{
    if (!desktop.frontPrimary)
        desktop.frontPrimary = []() -> std::optional<QString> {
            const std::optional<RunningApp> app = FrontmostApp::current();
            if (!app || !FrontSelection::primaryHeldBy(*app))
                return std::nullopt;
            return Clipboard::snapshot(Clipboard::Mode::Primary).text();
        };
    if (!desktop.readFocus)
        desktop.readFocus = [] { return Accessibility::readFocus(); };
    if (!desktop.serverTime)
        desktop.serverTime = SelectionOwners::serverTime;
    if (!desktop.clipboardTakenSince)
        desktop.clipboardTakenSince = FrontSelection::clipboardTakenSince;
    if (!desktop.copySeriesStart)
        desktop.copySeriesStart = HotkeyMonitor::copySeriesStart;
    if (!desktop.targetWindow)
        desktop.targetWindow = []() -> unsigned long {
            const std::optional<RunningApp> app = FrontmostApp::current();
            return app ? app->window : 0;
        };
    if (!desktop.reachesFront)
        desktop.reachesFront = KeyPoster::reachesFront;
    return desktop;
}

bool blank(const std::optional<QString> &text)
{
    return !text || TextUtil::trimmed(*text).isEmpty();
}

} // namespace

Paster::Paster(PasteDesktop desktop, QObject *parent) : QObject(parent), desktop_(completed(std::move(desktop)))
{
    // Owner changes are followed from now on: a copy series judged later needs them.
    SelectionOwners::watch();
    quiet_.setSingleShot(true);
    connect(&quiet_, &QTimer::timeout, this, [this] {
        Log::write(QStringLiteral("presse-papiers: texte lu par l'application, rendu après %1 ms").arg(waited_.elapsed()));
        runRestore(serial_);
    });
    if (Clipboard::Requests *requests = Clipboard::requests())
        connect(requests, &Clipboard::Requests::requested, this,
                [this](bool, const QString &target, unsigned long requestor) { requested(target, requestor); });
}

void Paster::requested(const QString &target, unsigned long requestor)
{
    if (pending_ && Clipboard::fetchesText(target, requestor, targetWindow_, Clipboard::clientMask()))
        quiet_.start(kFetchQuietMs);
}

Paster::~Paster()
{
    flushRestore();
}

void Paster::runRestore(quint64 serial)
{
    if (!pending_ || serial_ != serial)
        return;
    pending_ = false;
    quiet_.stop();
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
        QStringLiteral("roxterm"), QStringLiteral("termit"), QStringLiteral("termite"), QStringLiteral("stterm"),
        QStringLiteral("mlterm"), QStringLiteral("aterm"), QStringLiteral("kterm"), QStringLiteral("zutty"),
        QStringLiteral("contour"), QStringLiteral("blackbox"), QStringLiteral("com.raggesilver.blackbox"),
    };
    return terminals.contains(wmClass.trimmed().toLower());
}

bool Paster::targetIsTerminal() const
{
    return desktop_.targetClass && isTerminal(desktop_.targetClass());
}

bool Paster::seriesCopied() const
{
    // A series of unknown start proves nothing about the clipboard.
    const quint64 start = desktop_.copySeriesStart();
    return start != 0 && desktop_.clipboardTakenSince(start);
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

QCoro::Task<PasteOutcome> Paster::paste(QString text, bool restore, std::optional<Snapshot> saved)
{
    QPointer<Paster> self(this);
    leftOnClipboard_ = !desktop_.reachesFront();
    if (leftOnClipboard_) {
        // The user pastes it: a restore, this one or one still waiting, would
        // take it away from under them.
        pending_ = false;
        quiet_.stop();
        saved_ = {};
        savedPrimary_.reset();
        Clipboard::setText(text);
        Log::write(QStringLiteral("collage: aucune saisie possible, ") + QString::number(TextUtil::characterCount(text))
                   + QStringLiteral(" caractères laissés dans le presse-papiers"));
        PasteOutcome left;
        left.leftOnClipboard = true;
        co_return left;
    }
    Snapshot previous;
    if (saved) {
        previous = std::move(*saved);
    } else if (holdingPaste()) {
        // The clipboard still holds an earlier paste: the user's content is the
        // one that restore was keeping.
        previous = saved_;
    } else {
        // A slow owner (a browser encoding an image) answers in seconds: waited
        // for off the main thread.
        QCoro::Task<Snapshot> keeping = Clipboard::snapshotAsync();
        previous = co_await std::move(keeping);
        if (!self)
            co_return PasteOutcome{};
        if (holdingPaste())
            previous = saved_;
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
    quiet_.stop();

    Clipboard::setText(text);
    if (isXtermFamily(target))
        Clipboard::setText(text, Clipboard::Mode::Primary);
    // All is set before the key goes out: the target may fetch at once.
    QString note;
    if (restore) {
        pending_ = true;
        note = Clipboard::keptNote(previous);
        saved_ = std::move(previous);
        savedPrimary_ = std::move(previousPrimary);
        targetWindow_ = desktop_.targetWindow();
        waited_.start();
        const quint64 serial = ++serial_;
        QTimer::singleShot(restoreDelayMs_, this, [this, serial] {
            if (!pending_ || serial_ != serial)
                return;
            Log::write(QStringLiteral("presse-papiers: rendu après %1 ms sans que l'application ait lu le texte collé")
                           .arg(restoreDelayMs_));
            runRestore(serial);
        });
    } else {
        saved_ = {};
        savedPrimary_.reset();
    }
    const bool posted = postPaste(target);
    co_return PasteOutcome{posted, note};
}

void Paster::flushRestore()
{
    runRestore(serial_);
}

QCoro::Task<> Paster::waitForModifiers()
{
    const std::function<quint64()> modifiers = desktop_.modifiers;
    const auto held = [&modifiers] { return modifiers && (modifiers() & kModifierMask) != 0; };
    for (int polls = 0; polls < 80 && held(); ++polls)
        co_await QCoro::sleepFor(25ms);
    co_await QCoro::sleepFor(60ms);
}

QCoro::Task<Accessibility::FocusRead> Paster::readTarget()
{
    QCoro::Task<Accessibility::FocusRead> reading = desktop_.readFocus();
    Accessibility::FocusRead read = co_await std::move(reading);
    co_return read;
}

QCoro::Task<std::optional<QString>> Paster::copySelection(bool mayPostCopy, std::optional<Snapshot> *savedBeforeCopy)
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

    QCoro::Task<Accessibility::FocusRead> reading = desktop_.readFocus();
    const Accessibility::FocusRead focus = co_await std::move(reading);
    if (!self)
        co_return std::nullopt;
    if (!blank(focus.selected)) {
        Log::write(QStringLiteral("sélection lue par accessibilité (")
                   + QString::number(TextUtil::characterCount(*focus.selected)) + QStringLiteral(" caractères)"));
        co_return focus.selected;
    }
    // PRIMARY holds the selection of applications that AT-SPI cannot read, terminals
    // first. Some applications keep it after their selection went away: a focused
    // text that says nothing is selected wins over it, except in a terminal, whose
    // AT-SPI side may not tell its selection.
    const bool terminal = targetIsTerminal();
    if (terminal || !focus.selected) {
        const std::optional<QString> primary = desktop_.frontPrimary();
        if (!blank(primary)) {
            Log::write(QStringLiteral("sélection lue dans la sélection primaire (")
                       + QString::number(TextUtil::characterCount(*primary)) + QStringLiteral(" caractères)"));
            co_return primary;
        }
    }
    // Ctrl+C is an interrupt in a terminal: it would end the user's job.
    if (terminal) {
        Log::write(QStringLiteral("sélection: terminal, pas de Ctrl+C envoyé"));
        co_return std::nullopt;
    }
    if (!mayPostCopy)
        co_return std::nullopt;
    // A copy key that cannot be posted would leave only our clear behind.
    if (!desktop_.reachesFront()) {
        Log::write(QStringLiteral("sélection: aucune saisie possible, pas de Ctrl+C envoyé"));
        co_return std::nullopt;
    }

    if (savedBeforeCopy)
        *savedBeforeCopy = snapshot();
    const quint64 mark = desktop_.serverTime();
    Clipboard::clear();
    command(kKeyC);
    // Only a clipboard taken after the key holds the selection: one left as it
    // was (the key ignored, our clear refused) holds something older.
    const std::function<bool(quint64)> takenSince = desktop_.clipboardTakenSince;
    const auto copied = [&takenSince, mark] { return takenSince(mark) && Clipboard::text(); };
    co_await QCoro::sleepFor(25ms);
    for (int polls = 1; polls < 40 && !copied(); ++polls)
        co_await QCoro::sleepFor(25ms);
    if (!self)
        co_return std::nullopt;

    const std::optional<QString> text = takenSince(mark) ? Clipboard::text() : std::nullopt;
    if (!takenSince(mark))
        Log::write(QStringLiteral("sélection: presse-papiers inchangé après Ctrl+C"));
    Log::write(QStringLiteral("sélection copiée par Ctrl+C (")
               + QString::number(text ? TextUtil::characterCount(*text) : 0) + QStringLiteral(" caractères)"));
    co_return text;
}
