#pragma once

#include <QtGlobal>

// Who holds the X selections, on a connection of its own. A copy posted into an
// application counts only when the clipboard changed hands after it: the
// server's own record of owner changes tells that, whatever the owners say.
// Main thread.
namespace SelectionOwners {

// Starts following CLIPBOARD's owner changes; changes made before the first
// call are not seen. False without an X server or XFIXES.
bool watch();

// The server's time now (milliseconds, wrapping like every X time); 0 without
// an X server.
quint64 serverTime();

// Whether some client became the owner of CLIPBOARD at server time `since` or
// later and still holds it.
bool clipboardTakenSince(quint64 since);

// Whether the owner of `selection` ("PRIMARY", "CLIPBOARD") is the X client
// that created `window`.
bool ownedByClientOf(const char *selection, unsigned long window);

} // namespace SelectionOwners
