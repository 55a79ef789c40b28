#pragma once

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QPair>
#include <QString>

#include <optional>

// The CLIPBOARD selection through QClipboard (and PRIMARY where asked). Setting it makes this process the
// owner: the text is served for as long as the process lives or until another
// owner takes over (there is no clipboard manager to hand it to).
namespace Clipboard {

// A deep copy of every format the clipboard offered, in the owner's order.
// Empty when the clipboard was empty.
struct Snapshot
{
    QList<QPair<QString, QByteArray>> formats;
    bool isEmpty() const { return formats.isEmpty(); }
    QByteArray data(const QString &format) const;
    // The plain text it holds, if any.
    std::optional<QString> text() const;
};

// What a snapshot of another owner may cost: the owner gets this long for each
// answer and the whole read this long in all; a format larger than the cap is
// left out (said in the journal).
constexpr int kSnapshotSilenceMs = 500;
constexpr int kSnapshotBudgetMs = 1000;
constexpr qint64 kSnapshotMaxFormatBytes = 8 * 1024 * 1024;

// CLIPBOARD, or PRIMARY (the X selection that Shift+Insert and the middle button paste).
enum class Mode { Clipboard, Primary };

// Formats a snapshot never asks for: those whose reading changes the owner's
// state (an office suite's link, which bookmarks the document) and targets
// that are not data.
bool sideEffects(const QString &target);
// The offered targets a snapshot reads, in reading order: the best text one,
// then every other data format.
QStringList wantedTargets(const QStringList &offered);

Snapshot snapshot(Mode mode = Mode::Clipboard);
// Clears the clipboard, then writes `saved` back unless it is empty.
void restore(const Snapshot &saved, Mode mode = Mode::Clipboard);
// Clears the clipboard and puts `text` on it as plain text.
void setText(const QString &text, Mode mode = Mode::Clipboard);
void clear();
// The clipboard's text; none when it holds no text.
std::optional<QString> text();

// Whether this process currently owns the clipboard.
bool ownedHere(Mode mode = Mode::Clipboard);

// Grows by one each time the clipboard changes owner or content, ours or not.
quint64 changeCount();

// At quit: what this process still owns on the clipboard is handed to the
// clipboard manager, when one runs (the owner of CLIPBOARD_MANAGER), waiting at
// most `budgetMs`; then nothing is left for the toolkit to hand over at its
// exit, where it would wait up to 5 s. Without a manager X11 keeps nothing of a
// program that ends. True when the manager took the content.
bool handOverAtQuit(int budgetMs);

} // namespace Clipboard
