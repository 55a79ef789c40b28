#pragma once

#include "platform/PortalKeyboard.h"

#include <QtGlobal>

// Synthetic keystrokes in the program's key vocabulary (KeyTable): through
// XTEST into X11 windows and, in a Wayland session, through the session's
// typing route into Wayland windows (the RemoteDesktop portal, the compositor's
// virtual keyboard, uinput). Through XTEST, modifier keys that the user still
// holds are released first, so the target application sees exactly the
// combination asked for; the input hub never counts these keys as the user's.
//
//   KeyPoster::post(KeyTable::V, KeyTable::Control)                   Ctrl+V
//   KeyPoster::post(KeyTable::V, KeyTable::Control | KeyTable::Shift) Ctrl+Shift+V
//   KeyPoster::post(KeyTable::C, KeyTable::Control)                   Ctrl+C
namespace KeyPoster {

// Presses and releases `key` with the modifier flags (Shift, Control, Alt,
// Super). False when no route reaches the window in front (see reachesFront),
// or when the key has no key code.
bool post(quint16 key, quint64 modifiers);

// Opens the session's typing route at start-up: the compositor takes a moment
// to adopt a new keyboard, and the portal asks the user before the first
// paste, not during it. Nothing to do on X11. Main thread.
void prepare(PortalKeyboard::TokenStore tokens);

// Whether keys can reach the window in front now: an X11 window (Xwayland's
// too) always, a Wayland one when the session's route is open.
bool reachesFront();

} // namespace KeyPoster
