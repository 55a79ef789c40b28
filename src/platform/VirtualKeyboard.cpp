#include "platform/VirtualKeyboard.h"

#include "core/Log.h"
#include "platform/WaylandDesktop.h"

#include <QElapsedTimer>

#include <wayland-client.h>
#include "virtual-keyboard-unstable-v1-client.h"

#include <fcntl.h>
#include <linux/input-event-codes.h>
#include <sys/mman.h>
#include <unistd.h>

namespace VirtualKeyboard {
namespace {

struct State
{
    bool tried = false;
    zwp_virtual_keyboard_manager_v1 *manager = nullptr;
    zwp_virtual_keyboard_v1 *keyboard = nullptr;
    QElapsedTimer clock;
};

State &state()
{
    static State s;
    return s;
}

void forget()
{
    // The connection is gone; its objects went with it.
    state().manager = nullptr;
    state().keyboard = nullptr;
}

void global(void *data, wl_registry *registry, uint32_t name, const char *interface, uint32_t)
{
    auto &s = *static_cast<State *>(data);
    if (!s.manager && qstrcmp(interface, zwp_virtual_keyboard_manager_v1_interface.name) == 0)
        s.manager = static_cast<zwp_virtual_keyboard_manager_v1 *>(
            wl_registry_bind(registry, name, &zwp_virtual_keyboard_manager_v1_interface, 1));
}
void globalRemove(void *, wl_registry *, uint32_t) {}
const wl_registry_listener kListener = {global, globalRemove};

// Key names of the keycodes section, by evdev code.
struct Key
{
    quint16 code;
    const char *name;
    const char *symbols;
    quint32 mask; // the modifier it sets, 0 for the others
};
constexpr Key kKeys[] = {
    {KEY_LEFTCTRL, "LCTL", "[ Control_L ]", 1u << 2},
    {KEY_LEFTSHIFT, "LFSH", "[ Shift_L ]", 1u << 0},
    {KEY_LEFTALT, "LALT", "[ Alt_L ]", 1u << 3},
    {KEY_LEFTMETA, "LWIN", "[ Super_L ]", 1u << 6},
    {KEY_C, "AB03", "type= \"ALPHABETIC\", [ c, C ]", 0},
    {KEY_V, "AB04", "type= \"ALPHABETIC\", [ v, V ]", 0},
    {KEY_INSERT, "INS", "[ Insert ]", 0},
};

const char *modifierName(quint32 mask)
{
    switch (mask) {
    case 1u << 0: return "Shift";
    case 1u << 2: return "Control";
    case 1u << 3: return "Mod1";
    case 1u << 6: return "Mod4";
    }
    return nullptr;
}

// The keymap goes to the compositor as a sealed memory file.
int keymapFile(const QByteArray &text)
{
    const int fd = memfd_create("ombry-keymap", MFD_CLOEXEC | MFD_ALLOW_SEALING);
    if (fd < 0)
        return -1;
    // The size handed over counts the final NUL.
    const qsizetype size = text.size() + 1;
    if (ftruncate(fd, size) != 0 || write(fd, text.constData(), size_t(size)) != ssize_t(size)) {
        close(fd);
        return -1;
    }
    fcntl(fd, F_ADD_SEALS, F_SEAL_SHRINK | F_SEAL_GROW | F_SEAL_WRITE | F_SEAL_SEAL);
    return fd;
}

} // namespace

QByteArray keymap()
{
    QByteArray keycodes, symbols, modifiers;
    for (const Key &key : kKeys) {
        keycodes += "    <" + QByteArray(key.name) + "> = " + QByteArray::number(key.code + 8) + ";\n";
        symbols += "    key <" + QByteArray(key.name) + "> { " + key.symbols + " };\n";
        if (const char *modifier = modifierName(key.mask))
            modifiers += "    modifier_map " + QByteArray(modifier) + " { <" + key.name + "> };\n";
    }
    return "xkb_keymap {\n"
           "xkb_keycodes \"ombry\" {\n    minimum = 8;\n    maximum = 255;\n"
           + keycodes
           + "};\n"
             "xkb_types \"ombry\" {\n"
             "    type \"ONE_LEVEL\" { modifiers = none; level_name[Level1] = \"Any\"; };\n"
             "    type \"ALPHABETIC\" { modifiers = Shift+Lock; map[Shift] = Level2; map[Lock] = Level2;\n"
             "        level_name[Level1] = \"Base\"; level_name[Level2] = \"Caps\"; };\n"
             "};\n"
             "xkb_compatibility \"ombry\" {\n"
             "    interpret Any+AnyOf(all) { action = SetMods(modifiers=modMapMods,clearLocks); };\n"
             "};\n"
             "xkb_symbols \"ombry\" {\n"
           + symbols + modifiers
           + "};\n"
             "};\n";
}

quint32 modifierMask(const QList<quint16> &held)
{
    quint32 mask = 0;
    for (const Key &key : kKeys)
        if (held.contains(key.code))
            mask |= key.mask;
    return mask;
}

bool open()
{
    State &s = state();
    if (s.keyboard)
        return true;
    if (s.tried)
        return false;
    s.tried = true;
    wl_display *display = WaylandDesktop::display();
    wl_seat *seat = WaylandDesktop::seat();
    if (!display || !seat)
        return false;
    WaylandDesktop::onLost(forget);
    wl_registry *registry = wl_display_get_registry(display);
    wl_registry_add_listener(registry, &kListener, &s);
    WaylandDesktop::roundtrip();
    wl_registry_destroy(registry);
    if (!s.manager)
        return false;
    s.keyboard = zwp_virtual_keyboard_manager_v1_create_virtual_keyboard(s.manager, seat);
    const int fd = keymapFile(keymap());
    if (fd < 0) {
        Log::write(QStringLiteral("frappe: clavier virtuel sans disposition (mémoire refusée)"));
        zwp_virtual_keyboard_v1_destroy(s.keyboard);
        s.keyboard = nullptr;
        return false;
    }
    zwp_virtual_keyboard_v1_keymap(s.keyboard, WL_KEYBOARD_KEYMAP_FORMAT_XKB_V1, fd, quint32(keymap().size() + 1));
    close(fd);
    s.clock.start();
    // A compositor that refuses us ends the connection: this round trip tells.
    if (!WaylandDesktop::roundtrip() || !s.keyboard) {
        Log::write(QStringLiteral("frappe: le compositeur refuse le clavier virtuel"));
        return false;
    }
    return true;
}

bool isOpen()
{
    return state().keyboard != nullptr;
}

bool send(const QList<KeySteps::Step> &steps)
{
    State &s = state();
    wl_display *display = WaylandDesktop::display();
    if (!s.keyboard || !display || steps.isEmpty())
        return false;
    QList<quint16> held;
    for (const KeySteps::Step &step : steps) {
        const quint32 time = quint32(s.clock.elapsed());
        zwp_virtual_keyboard_v1_key(s.keyboard, time, step.code,
                                    step.down ? WL_KEYBOARD_KEY_STATE_PRESSED : WL_KEYBOARD_KEY_STATE_RELEASED);
        const quint32 before = modifierMask(held);
        if (step.down)
            held.append(step.code);
        else
            held.removeAll(step.code);
        if (const quint32 after = modifierMask(held); after != before)
            zwp_virtual_keyboard_v1_modifiers(s.keyboard, after, 0, 0, 0);
    }
    return wl_display_flush(display) >= 0;
}

} // namespace VirtualKeyboard
