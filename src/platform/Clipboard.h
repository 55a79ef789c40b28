#pragma once

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QPair>
#include <QString>

#include <optional>

// The CLIPBOARD selection through QClipboard. Setting it makes this process the
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
};

Snapshot snapshot();
// Clears the clipboard, then writes `saved` back unless it is empty.
void restore(const Snapshot &saved);
// Clears the clipboard and puts `text` on it as plain text.
void setText(const QString &text);
void clear();
// The clipboard's text; none when it holds no text.
std::optional<QString> text();

// Whether this process currently owns the clipboard.
bool ownedHere();

// Grows by one each time the clipboard changes owner or content, ours or not.
quint64 changeCount();

} // namespace Clipboard
