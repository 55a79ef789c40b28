// A native Wayland window that copies or pastes as any Wayland application does
// (wl_data_device and the primary selection, once it has the keyboard focus),
// for tests of what the program exchanges with such windows.
//   wayland_client APP_ID serve clipboard|primary FILE   owns the selection with
//       FILE's bytes as text, prints "ready" once the compositor took it, and
//       serves it until it is killed
//   wayland_client APP_ID read clipboard|primary         prints the selection's text
//   wayland_client APP_ID show                            only shows a window
// Exit status: 0 done, 2 no compositor or a missing global, 3 no selection.
// The seat needs a keyboard (a virtual one will do) for the window to get the focus.

#include <wayland-client.h>
#include "primary-selection-unstable-v1-client.h"
#include "xdg-shell-client.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include <fcntl.h>
#include <poll.h>
#include <sys/mman.h>
#include <unistd.h>

namespace {

struct App
{
    wl_compositor *compositor = nullptr;
    wl_shm *shm = nullptr;
    wl_seat *seat = nullptr;
    xdg_wm_base *wm = nullptr;
    wl_data_device_manager *dataManager = nullptr;
    zwp_primary_selection_device_manager_v1 *primaryManager = nullptr;
    wl_data_device *dataDevice = nullptr;
    zwp_primary_selection_device_v1 *primaryDevice = nullptr;
    wl_keyboard *keyboard = nullptr;
    wl_surface *surface = nullptr;
    bool primary = false;
    bool serve = false;
    bool show = false;
    std::string data;
    bool done = false;
    int status = 0;
    // The offer named by the latest selection event, and whether one came.
    void *offer = nullptr;
    bool selectionSeen = false;
    bool focused = false;
    bool owned = false;
};

void global(void *data, wl_registry *registry, uint32_t name, const char *interface, uint32_t)
{
    auto &a = *static_cast<App *>(data);
    const std::string which(interface);
    if (which == wl_compositor_interface.name)
        a.compositor = static_cast<wl_compositor *>(wl_registry_bind(registry, name, &wl_compositor_interface, 4));
    else if (which == wl_shm_interface.name)
        a.shm = static_cast<wl_shm *>(wl_registry_bind(registry, name, &wl_shm_interface, 1));
    else if (which == wl_seat_interface.name && !a.seat)
        a.seat = static_cast<wl_seat *>(wl_registry_bind(registry, name, &wl_seat_interface, 5));
    else if (which == xdg_wm_base_interface.name)
        a.wm = static_cast<xdg_wm_base *>(wl_registry_bind(registry, name, &xdg_wm_base_interface, 1));
    else if (which == wl_data_device_manager_interface.name)
        a.dataManager = static_cast<wl_data_device_manager *>(
            wl_registry_bind(registry, name, &wl_data_device_manager_interface, 3));
    else if (which == zwp_primary_selection_device_manager_v1_interface.name)
        a.primaryManager = static_cast<zwp_primary_selection_device_manager_v1 *>(
            wl_registry_bind(registry, name, &zwp_primary_selection_device_manager_v1_interface, 1));
}
void globalRemove(void *, wl_registry *, uint32_t) {}
const wl_registry_listener kRegistry = {global, globalRemove};

void ping(void *, xdg_wm_base *wm, uint32_t serial)
{
    xdg_wm_base_pong(wm, serial);
}
const xdg_wm_base_listener kWm = {ping};

wl_buffer *blankBuffer(App &a, int width, int height)
{
    const int stride = width * 4, size = stride * height;
    const int fd = memfd_create("wayland_client", MFD_CLOEXEC);
    if (fd < 0 || ftruncate(fd, size) != 0)
        return nullptr;
    void *pixels = mmap(nullptr, size_t(size), PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
    if (pixels != MAP_FAILED) {
        memset(pixels, 0xee, size_t(size));
        munmap(pixels, size_t(size));
    }
    wl_shm_pool *pool = wl_shm_create_pool(a.shm, fd, size);
    wl_buffer *buffer = wl_shm_pool_create_buffer(pool, 0, width, height, stride, WL_SHM_FORMAT_XRGB8888);
    wl_shm_pool_destroy(pool);
    close(fd);
    return buffer;
}

void configure(void *data, xdg_surface *surface, uint32_t serial)
{
    auto &a = *static_cast<App *>(data);
    xdg_surface_ack_configure(surface, serial);
    static wl_buffer *buffer = blankBuffer(a, 200, 100);
    wl_surface_attach(a.surface, buffer, 0, 0);
    wl_surface_commit(a.surface);
}
const xdg_surface_listener kXdgSurface = {configure};

void toplevelConfigure(void *, xdg_toplevel *, int32_t, int32_t, wl_array *) {}
void toplevelClose(void *data, xdg_toplevel *)
{
    static_cast<App *>(data)->done = true;
}
void toplevelBounds(void *, xdg_toplevel *, int32_t, int32_t) {}
void toplevelCapabilities(void *, xdg_toplevel *, wl_array *) {}
const xdg_toplevel_listener kToplevel = {toplevelConfigure, toplevelClose, toplevelBounds, toplevelCapabilities};

// Serving: every request gets the whole text.
void sendData(const std::string &bytes, int fd)
{
    size_t sent = 0;
    while (sent < bytes.size()) {
        const ssize_t n = write(fd, bytes.data() + sent, bytes.size() - sent);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        sent += size_t(n);
    }
    close(fd);
}
void dataSourceTarget(void *, wl_data_source *, const char *) {}
void dataSourceSend(void *data, wl_data_source *, const char *, int32_t fd)
{
    sendData(static_cast<App *>(data)->data, fd);
}
void dataSourceCancelled(void *data, wl_data_source *)
{
    static_cast<App *>(data)->done = true;
}
void dataSourceDnd(void *, wl_data_source *) {}
void dataSourceAction(void *, wl_data_source *, uint32_t) {}
const wl_data_source_listener kDataSource = {dataSourceTarget, dataSourceSend, dataSourceCancelled,
                                             dataSourceDnd,    dataSourceDnd,  dataSourceAction};
void primarySourceSend(void *data, zwp_primary_selection_source_v1 *, const char *, int32_t fd)
{
    sendData(static_cast<App *>(data)->data, fd);
}
void primarySourceCancelled(void *data, zwp_primary_selection_source_v1 *)
{
    static_cast<App *>(data)->done = true;
}
const zwp_primary_selection_source_v1_listener kPrimarySource = {primarySourceSend, primarySourceCancelled};

const char *const kTypes[] = {"text/plain;charset=utf-8", "text/plain", "UTF8_STRING"};

void own(App &a, uint32_t serial, wl_display *display)
{
    if (a.primary) {
        auto *source = zwp_primary_selection_device_manager_v1_create_source(a.primaryManager);
        zwp_primary_selection_source_v1_add_listener(source, &kPrimarySource, &a);
        for (const char *type : kTypes)
            zwp_primary_selection_source_v1_offer(source, type);
        zwp_primary_selection_device_v1_set_selection(a.primaryDevice, source, serial);
    } else {
        auto *source = wl_data_device_manager_create_data_source(a.dataManager);
        wl_data_source_add_listener(source, &kDataSource, &a);
        for (const char *type : kTypes)
            wl_data_source_offer(source, type);
        wl_data_device_set_selection(a.dataDevice, source, serial);
    }
    wl_display_roundtrip(display);
    std::printf("ready\n");
    std::fflush(stdout);
}

wl_display *gDisplay = nullptr;

void receiveText(App &a)
{
    int fds[2];
    if (pipe2(fds, O_CLOEXEC) != 0) {
        a.status = 2;
        a.done = true;
        return;
    }
    if (a.primary)
        zwp_primary_selection_offer_v1_receive(static_cast<zwp_primary_selection_offer_v1 *>(a.offer), kTypes[0], fds[1]);
    else
        wl_data_offer_receive(static_cast<wl_data_offer *>(a.offer), kTypes[0], fds[1]);
    close(fds[1]);
    wl_display_flush(gDisplay);
    std::string text;
    char buffer[65536];
    for (;;) {
        // The owner serves from its own event loop, which may be this
        // connection's compositor round trip away.
        pollfd fd{fds[0], POLLIN, 0};
        if (poll(&fd, 1, 3000) <= 0)
            break;
        const ssize_t n = read(fds[0], buffer, sizeof buffer);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        text.append(buffer, size_t(n));
    }
    close(fds[0]);
    fwrite(text.data(), 1, text.size(), stdout);
    std::fflush(stdout);
    a.done = true;
}

void maybeRead(App &a)
{
    if (a.serve || a.show || !a.focused || !a.selectionSeen || a.done)
        return;
    if (!a.offer) {
        a.status = 3;
        a.done = true;
        return;
    }
    receiveText(a);
}

void dataOfferOffer(void *, wl_data_offer *, const char *) {}
void dataOfferActions(void *, wl_data_offer *, uint32_t) {}
const wl_data_offer_listener kDataOffer = {dataOfferOffer, dataOfferActions, dataOfferActions};
void deviceDataOffer(void *, wl_data_device *, wl_data_offer *offer)
{
    wl_data_offer_add_listener(offer, &kDataOffer, nullptr);
}
void deviceEnter(void *, wl_data_device *, uint32_t, wl_surface *, wl_fixed_t, wl_fixed_t, wl_data_offer *) {}
void deviceLeave(void *, wl_data_device *) {}
void deviceMotion(void *, wl_data_device *, uint32_t, wl_fixed_t, wl_fixed_t) {}
void deviceSelection(void *data, wl_data_device *, wl_data_offer *offer)
{
    auto &a = *static_cast<App *>(data);
    if (a.primary)
        return;
    a.offer = offer;
    a.selectionSeen = true;
    maybeRead(a);
}
const wl_data_device_listener kDataDevice = {deviceDataOffer, deviceEnter, deviceLeave,
                                             deviceMotion,    deviceLeave, deviceSelection};
void primaryOfferOffer(void *, zwp_primary_selection_offer_v1 *, const char *) {}
const zwp_primary_selection_offer_v1_listener kPrimaryOffer = {primaryOfferOffer};
void primaryDataOffer(void *, zwp_primary_selection_device_v1 *, zwp_primary_selection_offer_v1 *offer)
{
    zwp_primary_selection_offer_v1_add_listener(offer, &kPrimaryOffer, nullptr);
}
void primarySelection(void *data, zwp_primary_selection_device_v1 *, zwp_primary_selection_offer_v1 *offer)
{
    auto &a = *static_cast<App *>(data);
    if (!a.primary)
        return;
    a.offer = offer;
    a.selectionSeen = true;
    maybeRead(a);
}
const zwp_primary_selection_device_v1_listener kPrimaryDevice = {primaryDataOffer, primarySelection};

void keymap(void *, wl_keyboard *, uint32_t, int32_t fd, uint32_t)
{
    close(fd);
}
void enter(void *data, wl_keyboard *, uint32_t serial, wl_surface *, wl_array *)
{
    auto &a = *static_cast<App *>(data);
    a.focused = true;
    // Once: taking the selection back at each focus would undo what others put there since.
    if (a.serve && !a.owned) {
        a.owned = true;
        own(a, serial, gDisplay);
    } else if (!a.serve) {
        maybeRead(a);
    }
}
void leave(void *data, wl_keyboard *, uint32_t, wl_surface *)
{
    static_cast<App *>(data)->focused = false;
}
void key(void *, wl_keyboard *, uint32_t, uint32_t, uint32_t, uint32_t) {}
void modifiers(void *, wl_keyboard *, uint32_t, uint32_t, uint32_t, uint32_t, uint32_t) {}
void repeat(void *, wl_keyboard *, int32_t, int32_t) {}
const wl_keyboard_listener kKeyboard = {keymap, enter, leave, key, modifiers, repeat};

void capabilities(void *data, wl_seat *seat, uint32_t caps)
{
    auto &a = *static_cast<App *>(data);
    if ((caps & WL_SEAT_CAPABILITY_KEYBOARD) && !a.keyboard) {
        a.keyboard = wl_seat_get_keyboard(seat);
        wl_keyboard_add_listener(a.keyboard, &kKeyboard, &a);
    }
}
void seatName(void *, wl_seat *, const char *) {}
const wl_seat_listener kSeat = {capabilities, seatName};

std::string slurp(const char *path)
{
    std::string out;
    FILE *f = std::fopen(path, "rb");
    if (!f)
        return out;
    char buffer[65536];
    size_t n;
    while ((n = fread(buffer, 1, sizeof buffer, f)) > 0)
        out.append(buffer, n);
    std::fclose(f);
    return out;
}

} // namespace

int main(int argc, char **argv)
{
    App a;
    a.show = argc == 3 && std::string(argv[2]) == "show";
    if (argc < 4 && !a.show) {
        std::fprintf(stderr, "usage: wayland_client APP_ID serve|read clipboard|primary [FILE] | APP_ID show\n");
        return 2;
    }
    a.serve = std::string(argv[2]) == "serve";
    a.primary = argc >= 4 && std::string(argv[3]) == "primary";
    if (a.serve) {
        if (argc < 5)
            return 2;
        a.data = slurp(argv[4]);
    }
    gDisplay = wl_display_connect(nullptr);
    if (!gDisplay)
        return 2;
    wl_registry *registry = wl_display_get_registry(gDisplay);
    wl_registry_add_listener(registry, &kRegistry, &a);
    wl_display_roundtrip(gDisplay);
    if (!a.compositor || !a.shm || !a.seat || !a.wm || !a.dataManager || (a.primary && !a.primaryManager))
        return 2;
    xdg_wm_base_add_listener(a.wm, &kWm, nullptr);
    wl_seat_add_listener(a.seat, &kSeat, &a);
    a.dataDevice = wl_data_device_manager_get_data_device(a.dataManager, a.seat);
    wl_data_device_add_listener(a.dataDevice, &kDataDevice, &a);
    if (a.primaryManager) {
        a.primaryDevice = zwp_primary_selection_device_manager_v1_get_device(a.primaryManager, a.seat);
        zwp_primary_selection_device_v1_add_listener(a.primaryDevice, &kPrimaryDevice, &a);
    }
    a.surface = wl_compositor_create_surface(a.compositor);
    xdg_surface *xdgSurface = xdg_wm_base_get_xdg_surface(a.wm, a.surface);
    xdg_surface_add_listener(xdgSurface, &kXdgSurface, &a);
    xdg_toplevel *toplevel = xdg_surface_get_toplevel(xdgSurface);
    xdg_toplevel_add_listener(toplevel, &kToplevel, &a);
    xdg_toplevel_set_app_id(toplevel, argv[1]);
    xdg_toplevel_set_title(toplevel, argv[1]);
    wl_surface_commit(a.surface);
    // A server keeps serving after another owner took over: the test ends it.
    while (wl_display_dispatch(gDisplay) >= 0)
        if (a.done && !a.serve && !a.show)
            break;
    wl_display_disconnect(gDisplay);
    return a.status;
}
