#pragma once

#include "platform/Accessibility.h"
#include "platform/Clipboard.h"

#include <QElapsedTimer>
#include <QObject>
#include <QString>
#include <QTimer>
#include <qcoro/qcorotask.h>

#include <functional>
#include <optional>

// What the paster needs of the desktop. The composition root hands in the real
// one; tests hand in their own.
struct PasteDesktop
{
    // Posts one key (KeyTable vocabulary) with the modifier flags; false when the
    // key could not be posted (no key code, no XTEST).
    std::function<bool(quint16 key, quint64 modifiers)> post;
    // WM_CLASS of the window that will receive the keys (the instance name for
    // terminals, which is what tells xterm from uxterm).
    std::function<QString()> targetClass;
    // The modifier flags the user holds (HotkeyMonitor's vocabulary).
    std::function<quint64()> modifiers;
    // Localised name of the frontmost application, for log lines.
    std::function<QString()> frontmostName;

    // Left unset, the ones below are the real desktop's.
    // Whether posted keys can reach the window in front (no typing route in a
    // Wayland session: they cannot).
    std::function<bool()> reachesFront;
    // PRIMARY's text when the X client that owns it made the active window.
    std::function<std::optional<QString>()> frontPrimary;
    // The focused element through AT-SPI.
    std::function<QCoro::Task<Accessibility::FocusRead>()> readFocus;
    // The server's time now, and whether another client took the clipboard at
    // that time or later.
    std::function<quint64()> serverTime;
    std::function<bool(quint64 since)> clipboardTakenSince;
    // Server time of the first key of the user's latest copy series.
    std::function<quint64()> copySeriesStart;
    // The X window that receives the paste (0 when unknown): its client's
    // fetch of our text lets the user's clipboard come back.
    std::function<unsigned long()> targetWindow;
};

// What one paste did: whether its key went out, and what the capsule tells of
// the user's clipboard (empty when it comes back whole, or is not to come back).
struct PasteOutcome
{
    bool posted = false;
    QString clipboardNote;
    // Not posted because no keys reach the window in front: the text waits on
    // the clipboard for the user.
    bool leftOnClipboard = false;
};

// How text goes in and out of the frontmost application: the clipboard plus a
// posted Ctrl+V (Ctrl+Shift+V into terminals) or Ctrl+C, and AT-SPI for reading
// the selection and telling whether the focused element takes text. Main thread;
// the AT-SPI questions wait on the accessibility worker, never here.
class Paster final : public QObject
{
    Q_OBJECT

public:
    using Snapshot = Clipboard::Snapshot;

    // Key codes of the system's own vocabulary.
    static constexpr quint16 kKeyV = 9;
    static constexpr quint16 kKeyC = 8;
    // Shift, Control, Option, Command.
    static constexpr quint64 kModifierMask = 0x1E0000;

    explicit Paster(PasteDesktop desktop, QObject *parent = nullptr);
    ~Paster() override;

    // Deep copy of the clipboard (the user's content while a restore waits).
    Snapshot snapshot();

    // Posts `keyCode` (kKeyV or kKeyC) with Control into the frontmost window;
    // paste into a terminal adds Shift, into the xterm family it is Shift+Insert
    // (which pastes PRIMARY). False when the key could not be posted.
    bool command(quint16 keyCode);

    // Puts `text` on the clipboard (and on PRIMARY for the xterm family) and posts
    // paste. With `restore`, the clipboard goes back to `saved`, or to what it
    // held before when none is given (read off the main thread first), and
    // PRIMARY to what it held: once the target has fetched the text, or after
    // the restore delay when it does not. When no keys reach the window in
    // front, the text stays on the clipboard for the user to paste and nothing
    // is put back over it (`leftOnClipboard`).
    QCoro::Task<PasteOutcome> paste(QString text, bool restore, std::optional<Snapshot> saved = std::nullopt);
    // Whether the latest paste left its text on the clipboard that way.
    bool leftOnClipboard() const { return leftOnClipboard_; }

    // Waits while a modifier is held (25 ms polls, 2.0 s at most), then 60 ms more.
    QCoro::Task<> waitForModifiers();

    // The selection of the application in front: AT-SPI, else PRIMARY when that
    // application holds it, else (with `mayPostCopy`, never into a terminal) a
    // posted Ctrl+C whose result counts only if the clipboard changed hands
    // after it. The clipboard is not put back: when the copy is posted,
    // `savedBeforeCopy` (if given) receives the clipboard as it was.
    QCoro::Task<std::optional<QString>> copySelection(bool mayPostCopy = true,
                                                      std::optional<Snapshot> *savedBeforeCopy = nullptr);

    // Whether the user's own copy series put something new on the clipboard:
    // otherwise what it holds is older than the selection.
    bool seriesCopied() const;

    // Whether the window that receives the keys is a terminal.
    bool targetIsTerminal() const;
    // What AT-SPI tells of the focused element (whether it takes text, none
    // when it cannot tell; the character before the caret).
    QCoro::Task<Accessibility::FocusRead> readTarget();

    // Pending restores run now (tests, quitting).
    void flushRestore();
    // The longest wait for the target's fetch before the restore goes ahead.
    void setRestoreDelay(int ms) { restoreDelayMs_ = ms; }
    static constexpr int kRestoreDelayMs = 3000;
    // After the target's last request for our text, this long without another
    // one: it has what it pastes.
    static constexpr int kFetchQuietMs = 200;

    // Whether a window of this WM_CLASS is a terminal (paste is Ctrl+Shift+V there).
    static bool isTerminal(const QString &wmClass);
    // Whether it is one of the xterm family, which binds no Ctrl+Shift+V by default
    // and pastes PRIMARY on Shift+Insert.
    static bool isXtermFamily(const QString &wmClass);

private:
    void runRestore(quint64 serial);
    bool holdingPaste() const;
    bool postPaste(const QString &targetClass);
    void requested(const QString &target, unsigned long requestor);

    const PasteDesktop desktop_;
    // The one restore waiting to run: while it waits, the clipboard holds our
    // pasted text, and the user's own content lives only here.
    quint64 serial_ = 0;
    int restoreDelayMs_ = kRestoreDelayMs;
    bool pending_ = false;
    // The window whose client's fetch ends the wait, and the wait since the paste.
    unsigned long targetWindow_ = 0;
    QElapsedTimer waited_;
    QTimer quiet_;
    bool leftOnClipboard_ = false;
    Snapshot saved_;
    // PRIMARY as it was, when the paste went to the xterm family.
    std::optional<Snapshot> savedPrimary_;
};
