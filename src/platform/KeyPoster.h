#pragma once

#include <QtGlobal>

// Synthetic keystrokes through XTEST, in the program's key vocabulary
// (KeyTable). Modifier keys that the user still holds are released first, so
// the target application sees exactly the combination asked for; the input hub
// never counts these keys as the user's.
//
//   KeyPoster::post(KeyTable::V, KeyTable::Control)                   Ctrl+V
//   KeyPoster::post(KeyTable::V, KeyTable::Control | KeyTable::Shift) Ctrl+Shift+V
//   KeyPoster::post(KeyTable::C, KeyTable::Control)                   Ctrl+C
namespace KeyPoster {

// Presses and releases `key` with the modifier flags (Shift, Control, Alt,
// Super). False without an X server with XTEST, or when the key has no
// key code on the current layout.
bool post(quint16 key, quint64 modifiers);

} // namespace KeyPoster
