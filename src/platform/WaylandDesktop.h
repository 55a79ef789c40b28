#pragma once

#include <QPoint>
#include <QString>

#include <optional>

struct wl_display;
struct wl_output;
struct wl_seat;
struct zwlr_data_control_manager_v1;
struct zwlr_foreign_toplevel_manager_v1;

// This process's own connection to the Wayland compositor, for what X11 cannot
// see of native Wayland windows (their clipboard, which of them is in front).
// Our windows stay X11 windows: this connection shows nothing. Opened on first
// use on the main thread, whose event loop reads its events as they arrive.
namespace WaylandDesktop {

// The connection, or null when WAYLAND_DISPLAY is unset or does not answer, or
// once the compositor went away.
wl_display *display();

// The compositor's globals that we use; null when it does not offer them.
wl_seat *seat();
zwlr_data_control_manager_v1 *dataControl();
zwlr_foreign_toplevel_manager_v1 *toplevels();

// Whether the compositor offers the global `interface` (e.g.
// "zwp_virtual_keyboard_manager_v1").
bool offers(const char *interface);

// Where `output` begins on the desktop, in the coordinates of Xwayland's root
// window (the compositor's logical layout); none when it did not say.
std::optional<QPoint> outputPosition(wl_output *output);

// Handles whatever the compositor has sent by now, without waiting.
void dispatchPending();
// Sends the requests made so far and waits until the compositor has handled
// them and every event they caused has been handled here. False when the
// connection is gone.
bool roundtrip();

// Called when the connection breaks, so that the protocol objects made on it
// are forgotten (they must not be used again).
void onLost(void (*forget)());

} // namespace WaylandDesktop
