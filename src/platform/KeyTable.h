#pragma once

#include <QList>
#include <QString>

#include <optional>

// The program's key vocabulary is the one its settings files have always stored:
// key codes and modifier flag bits of their own. This table is the only place
// that translates between it and X11 (key symbols and modifier masks); the
// shortcut recorder uses it too.
namespace KeyTable {

// Modifier flags (device-independent).
constexpr quint64 CapsLock = 0x10000;
constexpr quint64 Shift = 0x20000;
constexpr quint64 Control = 0x40000;
constexpr quint64 Alt = 0x80000;
constexpr quint64 Super = 0x100000;
constexpr quint64 Fn = 0x800000;
// Shift, Control, Alt, Super: what shortcut comparisons look at.
constexpr quint64 ModifierMask = 0x1E0000;

// Device-dependent bits, set while that very key is down.
constexpr quint64 LeftControlBit = 0x1;
constexpr quint64 LeftShiftBit = 0x2;
constexpr quint64 RightShiftBit = 0x4;
constexpr quint64 LeftSuperBit = 0x8;
constexpr quint64 RightSuperBit = 0x10;
constexpr quint64 LeftAltBit = 0x20;
constexpr quint64 RightAltBit = 0x40;
constexpr quint64 RightControlBit = 0x2000;

// Key codes used by the program itself.
enum Key : quint16 {
    C = 8,
    V = 9,
    R = 15,
    Escape = 53,
    Insert = 114, // Help on the system's keyboards: the same place

    RightSuper = 54,
    LeftSuper = 55,
    LeftShift = 56,
    CapsLockKey = 57,
    LeftAlt = 58,
    LeftControl = 59,
    RightShift = 60,
    RightAlt = 61,
    RightControl = 62,
    Function = 63,
};

// Copy and paste go with Control.
constexpr quint64 ClipboardModifier = Control;

// A modifier key: its code, the flags set while it is down, the XKB name of the
// physical key (layout-independent) and its usual key symbol.
struct ModifierKey
{
    quint16 key;
    quint64 flags;
    const char *xkbName;
    unsigned long keysym;
};

const QList<ModifierKey> &modifierKeys();
const ModifierKey *modifierKey(quint16 key);

// The X11 key symbol of a key code (unshifted), 0 when the key has none.
unsigned long keysymFor(quint16 key);
// The key code of an X11 key symbol (letters in either case), none when unknown.
std::optional<quint16> keyForKeysym(unsigned long keysym);

// X11 core modifier mask of the flags (Shift, Control, Alt → Mod1,
// Super → Mod4); other bits are ignored.
unsigned int xModifierMask(quint64 flags);
// Flags of an X11 core modifier mask (the inverse of xModifierMask).
quint64 flagsForXState(unsigned int state);

// A shortcut as the desktop writes it ("Ctrl+Alt+C"): what the user sees and
// the journal says.
QString label(quint16 key, quint64 flags);
// The "⌃⌥C"-style label kept in the stored settings, whose files keep the
// vocabulary they always had.
QString storedLabel(quint16 key, quint64 flags);

} // namespace KeyTable
