#pragma once

#include <QList>
#include <QtGlobal>

// One posted combination as the key events of the Linux input layer, which is
// what the Wayland routes speak (the RemoteDesktop portal, the virtual keyboard,
// uinput): KEY_* codes of linux/input-event-codes.h.
namespace KeySteps {

struct Step
{
    quint16 code; // KEY_*
    bool down;

    bool operator==(const Step &) const = default;
};

// The Linux code of a key of the program's vocabulary (KeyTable), 0 when the
// table has none.
quint16 linuxCode(quint16 key);

// Modifiers down (Control, Shift, Alt, Super), the key down and up, the
// modifiers up in reverse order; empty when the key has no Linux code.
QList<Step> combination(quint16 key, quint64 modifiers);

// Every code `combination` may use: what a uinput device must declare.
QList<quint16> allCodes();

} // namespace KeySteps
