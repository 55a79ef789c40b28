#pragma once

#include "platform/Clipboard.h"

#include <QString>
#include <qcoro/qcorotask.h>

#include <functional>
#include <optional>

// How text goes in and out of the frontmost application: the clipboard plus a
// posted Ctrl+V (Ctrl+Shift+V into terminals) or Ctrl+C, and AT-SPI for reading
// the selection and telling whether the focused element takes text.
namespace Paster {

using Snapshot = Clipboard::Snapshot;

// Key codes of the system's own vocabulary.
constexpr quint16 kKeyV = 9;
constexpr quint16 kKeyC = 8;
// Shift, Control, Option, Command.
constexpr quint64 kModifierMask = 0x1E0000;

// Deep copy of the clipboard.
Snapshot snapshot();

// Posts `keyCode` (kKeyV or kKeyC) with Control into the frontmost window;
// paste into a terminal adds Shift.
void command(quint16 keyCode);

// Puts `text` on the clipboard and posts paste. With `restore`, 0.6 s later the
// clipboard goes back to `saved`, or to what it held before when none is given.
// Main thread.
void paste(const QString &text, bool restore, std::optional<Snapshot> saved = std::nullopt);

// The focused element's selected text through AT-SPI (may be blank).
std::optional<QString> selectedTextViaAX();
// Whether the focused element takes text; none when it cannot tell.
std::optional<bool> focusedIsEditable();

// Waits while a modifier is held (25 ms polls, 2.0 s at most), then 60 ms more.
QCoro::Task<> waitForModifiers();

// The selection: through AT-SPI, else a posted Ctrl+C and the clipboard (the
// clipboard is not put back; callers snapshot first).
QCoro::Task<std::optional<QString>> copySelection();

// Pending restores run now (tests, quitting).
void flushRestore();

// Seams for the parts of the desktop that tests replace.
struct Hooks
{
    // Posts one key with Control (and Shift when `shift`).
    std::function<void(quint16 keyCode, bool shift)> post;
    // WM_CLASS class of the window that will receive the keys.
    std::function<QString()> targetClass;
    // The modifier flags the user holds (HotkeyMonitor's vocabulary).
    std::function<quint64()> modifiers;
    // Localised name of the frontmost application, for log lines.
    std::function<QString()> frontmostName;
};
Hooks &hooks();

// Whether a window of this WM_CLASS is a terminal (paste is Ctrl+Shift+V there).
bool isTerminal(const QString &wmClass);

} // namespace Paster
