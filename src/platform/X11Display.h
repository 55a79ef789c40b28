#pragma once

#include <QString>

struct _XDisplay;

// The shared Xlib connection of the platform layer (queries, key posting,
// window activation), opened on first use on the main thread. The input hub
// keeps a connection of its own for its events.
namespace X11 {

// The connection, or null when there is no X server (pure Wayland, no DISPLAY).
_XDisplay *display();

// Trusted to watch and post keys: the server has XTEST and XInput ≥ 2.2.
bool trusted();
bool trusted(_XDisplay *dpy);

// The X server's current time (a round trip), for requests that window
// managers judge by their timestamp; 0 without an X server.
unsigned long serverTime();

// Bookkeeping of our own synthetic keys, so that the input hub never takes them
// for the user's: the poster notes each key event it sends, the hub claims the
// XTEST events that it sees (in order, within a second).
void notePosted(unsigned int keycode, bool down);
bool claimPosted(unsigned int keycode, bool down);

// The unshifted key symbol of an X key code (what the input hub reads for a key
// press), 0 without an X server or for an unused code.
unsigned long baseKeysym(unsigned int keycode);

// X errors are reported here instead of ending the process (Xlib's default).
// Returns the error code of the last failed request since the previous call,
// 0 when none; call after XSync.
int takeLastError();
void installErrorHandler();

} // namespace X11
