#pragma once

#include "platform/Clipboard.h"
#include "platform/SelectionReader.h"

#include <QtGlobal>

#include <functional>
#include <optional>

// The clipboard and PRIMARY of the Wayland session through the compositor's
// data-control protocol (wlroots compositors, KDE Plasma): what Xwayland does
// not hand to X11 clients while a Wayland window is in front. Setting it makes
// this process the owner, serving the content from memory until another owner
// takes over. Main thread.
namespace WaylandClipboard {

// Whether the compositor offers it (and the connection is up).
bool available();

// Another client's offer, read like SelectionReader::read(): each answer within
// `silenceMs`, the whole read within `budgetMs`, formats above `maxBytes` left
// out. None when the protocol is not available.
std::optional<SelectionReader::Result> read(Clipboard::Mode mode, int silenceMs, int budgetMs, qint64 maxBytes,
                                            const std::function<QStringList(const QStringList &offered)> &wanted);

// Puts `formats` on the selection, served from here; an empty list clears it.
// Returns once the compositor has taken it.
void set(Clipboard::Mode mode, const QList<QPair<QString, QByteArray>> &formats);

// Whether the selection is ours, and what we put there.
bool ownedHere(Clipboard::Mode mode);
Clipboard::Snapshot own(Clipboard::Mode mode);

// Grows by one at each change of CLIPBOARD, ours or not.
quint64 changeCount();

// The X server time (SelectionOwners::serverTime()) at which another client
// last took the selection, when it still holds it; none otherwise.
std::optional<quint64> takenAt(Clipboard::Mode mode);

// The MIME types offered along with a snapshot's "text/plain" (UTF-8): what
// Wayland and X11 clients ask for text.
QStringList textTypes();

// Called by the connection once its globals are known.
void attach();

} // namespace WaylandClipboard
