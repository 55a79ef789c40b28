#pragma once

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QPair>
#include <QString>
#include <QStringList>
#include <qcoro/qcorotask.h>

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
    // What the owner offered and could not be kept (too slow, too large), by
    // its target names.
    QStringList leftOut;
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
// The snapshot taken off the main thread before a paste waits longer for each
// format (a browser encodes a large image in seconds), never for the list.
constexpr int kSnapshotFormatMs = 4000;
constexpr int kSnapshotLongBudgetMs = 6000;

// CLIPBOARD, or PRIMARY (the X selection that Shift+Insert and the middle button paste).
enum class Mode { Clipboard, Primary };

// Formats a snapshot never asks for: those whose reading changes the owner's
// state (an office suite's link, which bookmarks the document) and targets
// that are not data.
bool sideEffects(const QString &target);
// The offered targets a snapshot reads, in reading order: the best text one,
// then every other data format.
QStringList wantedTargets(const QStringList &offered);

// Main thread, with the short bounds above.
Snapshot snapshot(Mode mode = Mode::Clipboard);
// The same with the longer bounds: another owner is read on a thread and a
// connection of its own, the main thread goes on meanwhile.
QCoro::Task<Snapshot> snapshotAsync(Mode mode = Mode::Clipboard);
// What the capsule says of a snapshot that is to come back: nothing when whole,
// else that it was kept only in part, or not at all.
QString keptNote(const Snapshot &snapshot);
// Clears the clipboard, then writes `saved` back unless it is empty.
void restore(const Snapshot &saved, Mode mode = Mode::Clipboard);
// Clears the clipboard and puts `text` on it as plain text.
void setText(const QString &text, Mode mode = Mode::Clipboard);
void clear();
// The clipboard's text; none when it holds no text.
std::optional<QString> text();

// Whether this process currently owns the clipboard.
bool ownedHere(Mode mode = Mode::Clipboard);

// Whether a request that another client made of our selection is the paste
// target fetching the text: a text target, asked by the X client that made
// `targetWindow` (every id of one client shares the bits outside
// `clientMask`). A clipboard manager copying each new owner does not count, nor
// does anyone when the target is unknown (0).
bool fetchesText(const QString &target, unsigned long requestor, unsigned long targetWindow,
                 unsigned long clientMask);
// The X server's resource-id mask for its clients; 0 without an X server.
unsigned long clientMask();

// The requests of the selections this process owns, seen on the toolkit's own
// connection just before it answers them. Main thread.
class Requests final : public QObject
{
    Q_OBJECT
public:
    using QObject::QObject;
Q_SIGNALS:
    // `target` is empty for targets that name no text.
    void requested(bool primary, const QString &target, unsigned long requestor);
};
// The one watcher, following from its first call; null without an X server.
Requests *requests();

// Grows by one each time the clipboard changes owner or content, ours or not.
quint64 changeCount();

// At quit: what this process still owns on the clipboard is handed to the
// clipboard manager, when one runs (the owner of CLIPBOARD_MANAGER), waiting at
// most `budgetMs`; then nothing is left for the toolkit to hand over at its
// exit, where it would wait up to 5 s. Without a manager X11 keeps nothing of a
// program that ends. True when the manager took the content.
bool handOverAtQuit(int budgetMs);

} // namespace Clipboard
