#pragma once

#include <QString>
#include <qcoro/qcorotask.h>

#include <functional>
#include <optional>

// The focused element of the desktop through AT-SPI. Every query runs on one
// worker thread with its own GLib context and is waited for at most `timeoutMs`,
// so a hung application costs the caller that long and no more. Without an
// accessibility bus every query answers none. Password fields are never read,
// and this process's own windows are never queried (they answer on the very
// thread that would be waiting).
namespace Accessibility {

// Starts the worker, connects to the accessibility bus and walks the desktop once,
// in the background, so that the first real query finds everything warm.
void warmUp();

// True once the bus answered; false while unknown or when there is none.
bool available();

// The selected text of the focused element; may be empty. None when there is no
// focused element, it holds no text, it is a password field, or time ran out.
std::optional<QString> selectedText(int timeoutMs = 400);

// The same as selectedText(), without waiting: `done` runs once on the main
// thread, with the answer or, `timeoutMs` after the call at the latest, none.
// Called on the main thread.
void readSelectedText(int timeoutMs, std::function<void(std::optional<QString>)> done);

// Whether the focused element takes text; none when it cannot tell.
std::optional<bool> focusedIsEditable(int timeoutMs = 400);

// What one walk found: the answers of selectedText() and focusedIsEditable().
struct FocusRead
{
    std::optional<QString> selected;
    std::optional<bool> editable;
    // The character just before the caret; none when unknown or at the start.
    std::optional<QString> beforeCaret;
};

// selectedText() and focusedIsEditable() at once, without blocking the caller:
// the task ends on the main thread with the answer or, `timeoutMs` after the
// call at the latest, with none. Main thread.
QCoro::Task<FocusRead> readFocus(int timeoutMs = 400);

// The application whose window is active, as the accessibility bus last told:
// for desktops that tell no one else which window is in front.
struct ActiveApplication
{
    qint64 pid = 0;
    QString name;   // the application's accessible name
};
// Starts following window activations (once, in the background); until then,
// and without a bus, there is none.
void followActiveWindow();
std::optional<ActiveApplication> activeApplication();

// Queries asked and not yet answered, blocking or not. Tests tell by it whether
// the main thread still runs while a query waits.
int waiting();

} // namespace Accessibility
