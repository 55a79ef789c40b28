#include "platform/KeyTable.h"

#include <QHash>

#include <X11/X.h>
#include <X11/keysym.h>

namespace KeyTable {
namespace {

struct Entry
{
    quint16 key;
    unsigned long keysym;
    const char *label;
    const char *name = nullptr; // as the desktop writes it, when it differs from the label
};

// Keys by position on the ANSI layout, with the X11 symbol that a Linux user
// sees on that key.
const Entry kKeys[] = {
    {0, XK_a, "A"}, {1, XK_s, "S"}, {2, XK_d, "D"}, {3, XK_f, "F"}, {4, XK_h, "H"},
    {5, XK_g, "G"}, {6, XK_z, "Z"}, {7, XK_x, "X"}, {8, XK_c, "C"}, {9, XK_v, "V"},
    {11, XK_b, "B"}, {12, XK_q, "Q"}, {13, XK_w, "W"}, {14, XK_e, "E"}, {15, XK_r, "R"},
    {16, XK_y, "Y"}, {17, XK_t, "T"}, {18, XK_1, "1"}, {19, XK_2, "2"}, {20, XK_3, "3"},
    {21, XK_4, "4"}, {22, XK_6, "6"}, {23, XK_5, "5"}, {24, XK_equal, "="}, {25, XK_9, "9"},
    {26, XK_7, "7"}, {27, XK_minus, "-"}, {28, XK_8, "8"}, {29, XK_0, "0"},
    {30, XK_bracketright, "]"}, {31, XK_o, "O"}, {32, XK_u, "U"}, {33, XK_bracketleft, "["},
    {34, XK_i, "I"}, {35, XK_p, "P"}, {36, XK_Return, "↩", "Entrée"}, {37, XK_l, "L"}, {38, XK_j, "J"},
    {39, XK_apostrophe, "'"}, {40, XK_k, "K"}, {41, XK_semicolon, ";"}, {42, XK_backslash, "\\"},
    {43, XK_comma, ","}, {44, XK_slash, "/"}, {45, XK_n, "N"}, {46, XK_m, "M"},
    {47, XK_period, "."}, {48, XK_Tab, "⇥", "Tab"}, {49, XK_space, "Espace"}, {50, XK_grave, "`"},
    {51, XK_BackSpace, "⌫", "Retour arrière"}, {53, XK_Escape, "⎋", "Échap"},
    {96, XK_F5, "F5"}, {97, XK_F6, "F6"}, {98, XK_F7, "F7"}, {99, XK_F3, "F3"},
    {100, XK_F8, "F8"}, {101, XK_F9, "F9"}, {103, XK_F11, "F11"}, {109, XK_F10, "F10"},
    {111, XK_F12, "F12"}, {114, XK_Insert, "Inser"}, {115, XK_Home, "↖", "Début"}, {116, XK_Prior, "⇞", "Page précédente"}, {117, XK_Delete, "⌦", "Suppr"},
    {118, XK_F4, "F4"}, {119, XK_End, "↘", "Fin"}, {120, XK_F2, "F2"}, {121, XK_Next, "⇟", "Page suivante"},
    {122, XK_F1, "F1"}, {123, XK_Left, "←", "Gauche"}, {124, XK_Right, "→", "Droite"}, {125, XK_Down, "↓", "Bas"},
    {126, XK_Up, "↑", "Haut"},
};

} // namespace

const QList<ModifierKey> &modifierKeys()
{
    // Right Alt is found by its physical key: on most European layouts it
    // carries ISO_Level3_Shift (AltGr) rather than Alt_R.
    static const QList<ModifierKey> keys = {
        {RightSuper, Super | RightSuperBit, "RWIN", XK_Super_R},
        {LeftSuper, Super | LeftSuperBit, "LWIN", XK_Super_L},
        {LeftShift, Shift | LeftShiftBit, "LFSH", XK_Shift_L},
        {RightShift, Shift | RightShiftBit, "RTSH", XK_Shift_R},
        {LeftAlt, Alt | LeftAltBit, "LALT", XK_Alt_L},
        {RightAlt, Alt | RightAltBit, "RALT", XK_Alt_R},
        {LeftControl, Control | LeftControlBit, "LCTL", XK_Control_L},
        {RightControl, Control | RightControlBit, "RCTL", XK_Control_R},
    };
    return keys;
}

const ModifierKey *modifierKey(quint16 key)
{
    for (const ModifierKey &m : modifierKeys())
        if (m.key == key)
            return &m;
    return nullptr;
}

unsigned long keysymFor(quint16 key)
{
    for (const Entry &e : kKeys)
        if (e.key == key)
            return e.keysym;
    if (const ModifierKey *m = modifierKey(key))
        return m->keysym;
    return 0;
}

std::optional<quint16> keyForKeysym(unsigned long keysym)
{
    static const QHash<unsigned long, quint16> byKeysym = [] {
        QHash<unsigned long, quint16> map;
        for (const Entry &e : kKeys) {
            map.insert(e.keysym, e.key);
            if (e.keysym >= XK_a && e.keysym <= XK_z)
                map.insert(e.keysym - XK_a + XK_A, e.key);
        }
        for (const ModifierKey &m : modifierKeys())
            map.insert(m.keysym, m.key);
        map.insert(XK_ISO_Level3_Shift, RightAlt);
        map.insert(XK_Meta_L, LeftAlt);
        map.insert(XK_Meta_R, RightAlt);
        map.insert(XK_ISO_Left_Tab, 48);
        return map;
    }();
    const auto it = byKeysym.constFind(keysym);
    if (it == byKeysym.constEnd())
        return std::nullopt;
    return *it;
}

unsigned int xModifierMask(quint64 flags)
{
    unsigned int mask = 0;
    if (flags & Shift)
        mask |= ShiftMask;
    if (flags & Control)
        mask |= ControlMask;
    if (flags & Alt)
        mask |= Mod1Mask;
    if (flags & Super)
        mask |= Mod4Mask;
    return mask;
}

quint64 flagsForXState(unsigned int state)
{
    quint64 flags = 0;
    if (state & ShiftMask)
        flags |= Shift;
    if (state & ControlMask)
        flags |= Control;
    if (state & Mod1Mask)
        flags |= Alt;
    if (state & Mod4Mask)
        flags |= Super;
    return flags;
}

QString storedLabel(quint16 key, quint64 flags)
{
    QString text;
    if (flags & Control)
        text += QStringLiteral("⌃");
    if (flags & Alt)
        text += QStringLiteral("⌥");
    if (flags & Shift)
        text += QStringLiteral("⇧");
    if (flags & Super)
        text += QStringLiteral("⌘");
    for (const Entry &e : kKeys)
        if (e.key == key)
            return text + QString::fromUtf8(e.label);
    return text + QStringLiteral("#") + QString::number(key);
}

QString label(quint16 key, quint64 flags)
{
    QString text;
    if (flags & Control)
        text += QStringLiteral("Ctrl+");
    if (flags & Alt)
        text += QStringLiteral("Alt+");
    if (flags & Shift)
        text += QStringLiteral("Maj+");
    if (flags & Super)
        text += QStringLiteral("Super+");
    for (const Entry &e : kKeys)
        if (e.key == key)
            return text + QString::fromUtf8(e.name ? e.name : e.label);
    return text + QStringLiteral("#") + QString::number(key);
}

} // namespace KeyTable
