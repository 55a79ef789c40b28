#pragma once

#include "platform/KeySteps.h"

#include <QByteArray>

// A keyboard of our own on the compositor's seat (the virtual-keyboard protocol
// of wlroots compositors): its keys go to the focused Wayland window like a real
// keyboard's. It brings its own keymap, which holds only the keys we post.
namespace VirtualKeyboard {

// Makes the keyboard on our Wayland connection; false when the compositor
// offers no virtual keyboards or no seat. Done once, at start-up: a keyboard
// made at the moment of the paste may not be adopted in time.
bool open();
bool isOpen();

// Presses and releases in order, with the modifier state the keys make;
// false when the keyboard is not open or the connection broke.
bool send(const QList<KeySteps::Step> &steps);

// The XKB keymap handed to the compositor: every KeySteps code, as evdev code
// plus 8, with Shift, Control, Mod1 (Alt) and Mod4 (Super) on the modifiers.
QByteArray keymap();
// The modifier mask that the held codes give in that keymap.
quint32 modifierMask(const QList<quint16> &held);

} // namespace VirtualKeyboard
