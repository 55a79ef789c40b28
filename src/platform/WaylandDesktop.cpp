#include "platform/WaylandDesktop.h"

#include "core/Log.h"
#include "platform/WaylandClipboard.h"
#include "platform/WaylandToplevels.h"

#include <QCoreApplication>
#include <QList>
#include <QSet>
#include <QSocketNotifier>

#include <wayland-client.h>
#include "wlr-data-control-unstable-v1-client.h"
#include "wlr-foreign-toplevel-management-unstable-v1-client.h"
#include "xdg-output-unstable-v1-client.h"

#include <poll.h>

namespace WaylandDesktop {
namespace {

struct Output
{
    quint32 name = 0;
    wl_output *output = nullptr;
    zxdg_output_v1 *xdg = nullptr;
    std::optional<QPoint> position;
};

struct Connection
{
    bool tried = false;
    wl_display *display = nullptr;
    wl_registry *registry = nullptr;
    wl_seat *seat = nullptr;
    quint32 seatName = 0;
    zwlr_data_control_manager_v1 *dataControl = nullptr;
    zwlr_foreign_toplevel_manager_v1 *toplevels = nullptr;
    zxdg_output_manager_v1 *xdgOutputs = nullptr;
    QList<Output *> outputs;
    QSet<QByteArray> offered;
    QSocketNotifier *notifier = nullptr;
    QList<void (*)()> forgetters;
};

Connection &connection()
{
    static Connection c;
    return c;
}

void xdgPosition(void *data, zxdg_output_v1 *, int32_t x, int32_t y)
{
    static_cast<Output *>(data)->position = QPoint(x, y);
}
void xdgSize(void *, zxdg_output_v1 *, int32_t, int32_t) {}
void xdgDone(void *, zxdg_output_v1 *) {}
void xdgName(void *, zxdg_output_v1 *, const char *) {}
void xdgDescription(void *, zxdg_output_v1 *, const char *) {}
const zxdg_output_v1_listener kXdgOutputListener = {xdgPosition, xdgSize, xdgDone, xdgName, xdgDescription};

void describe(Connection &c, Output *o)
{
    if (c.xdgOutputs && !o->xdg) {
        o->xdg = zxdg_output_manager_v1_get_xdg_output(c.xdgOutputs, o->output);
        zxdg_output_v1_add_listener(o->xdg, &kXdgOutputListener, o);
    }
}

void global(void *data, wl_registry *registry, uint32_t name, const char *interface, uint32_t version)
{
    auto &c = *static_cast<Connection *>(data);
    const QByteArray which(interface);
    c.offered.insert(which);
    if (which == wl_seat_interface.name && !c.seat) {
        c.seat = static_cast<wl_seat *>(wl_registry_bind(registry, name, &wl_seat_interface, 1));
        c.seatName = name;
    } else if (which == wl_output_interface.name) {
        auto *o = new Output;
        o->name = name;
        o->output = static_cast<wl_output *>(wl_registry_bind(registry, name, &wl_output_interface, 1));
        c.outputs.append(o);
        describe(c, o);
    } else if (which == zxdg_output_manager_v1_interface.name && !c.xdgOutputs) {
        c.xdgOutputs = static_cast<zxdg_output_manager_v1 *>(
            wl_registry_bind(registry, name, &zxdg_output_manager_v1_interface, 1));
        for (Output *o : std::as_const(c.outputs))
            describe(c, o);
    } else if (which == zwlr_data_control_manager_v1_interface.name && !c.dataControl) {
        // Version 2 adds PRIMARY.
        c.dataControl = static_cast<zwlr_data_control_manager_v1 *>(
            wl_registry_bind(registry, name, &zwlr_data_control_manager_v1_interface, std::min(version, 2u)));
    } else if (which == zwlr_foreign_toplevel_manager_v1_interface.name && !c.toplevels) {
        c.toplevels = static_cast<zwlr_foreign_toplevel_manager_v1 *>(
            wl_registry_bind(registry, name, &zwlr_foreign_toplevel_manager_v1_interface, std::min(version, 3u)));
    }
}

void globalRemove(void *data, wl_registry *, uint32_t name)
{
    auto &c = *static_cast<Connection *>(data);
    for (qsizetype i = 0; i < c.outputs.size(); ++i) {
        Output *o = c.outputs.at(i);
        if (o->name != name)
            continue;
        if (o->xdg)
            zxdg_output_v1_destroy(o->xdg);
        wl_output_destroy(o->output);
        c.outputs.removeAt(i);
        delete o;
        return;
    }
}

const wl_registry_listener kRegistryListener = {global, globalRemove};

// The compositor went away: every object made on the connection is void.
bool lost(Connection &c)
{
    if (!c.display || wl_display_get_error(c.display) == 0)
        return false;
    Log::write(QStringLiteral("wayland: connexion au compositeur perdue"));
    for (void (*forget)() : std::as_const(c.forgetters))
        forget();
    if (c.notifier) {
        c.notifier->setEnabled(false);
        c.notifier->deleteLater();
        c.notifier = nullptr;
    }
    qDeleteAll(c.outputs);
    c.outputs.clear();
    c.seat = nullptr;
    c.dataControl = nullptr;
    c.toplevels = nullptr;
    c.xdgOutputs = nullptr;
    c.registry = nullptr;
    wl_display_disconnect(c.display);
    c.display = nullptr;
    return true;
}

// Reads what is waiting on the socket, if anything, and handles it.
void readAvailable(Connection &c, int timeoutMs)
{
    if (!c.display)
        return;
    while (wl_display_prepare_read(c.display) != 0)
        wl_display_dispatch_pending(c.display);
    wl_display_flush(c.display);
    pollfd fd{wl_display_get_fd(c.display), POLLIN, 0};
    if (poll(&fd, 1, timeoutMs) > 0 && (fd.revents & POLLIN))
        wl_display_read_events(c.display);
    else
        wl_display_cancel_read(c.display);
    wl_display_dispatch_pending(c.display);
    lost(c);
}

void open(Connection &c)
{
    c.tried = true;
    // Without WAYLAND_DISPLAY the library would try "wayland-0", which may be
    // another session's.
    if (qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY"))
        return;
    c.display = wl_display_connect(nullptr);
    if (!c.display)
        return;
    c.registry = wl_display_get_registry(c.display);
    wl_registry_add_listener(c.registry, &kRegistryListener, &c);
    if (wl_display_roundtrip(c.display) < 0) {
        lost(c);
        return;
    }
    // Listeners go on before the first events of these objects are read.
    WaylandClipboard::attach();
    WaylandToplevels::attach();
    // The outputs' places, the current selections and the toplevels with their states.
    for (int i = 0; i < 2 && c.display; ++i)
        if (wl_display_roundtrip(c.display) < 0)
            lost(c);
    if (!c.display || !QCoreApplication::instance())
        return;
    c.notifier = new QSocketNotifier(wl_display_get_fd(c.display), QSocketNotifier::Read, QCoreApplication::instance());
    QObject::connect(c.notifier, &QSocketNotifier::activated, c.notifier, [] { readAvailable(connection(), 0); });
}

Connection &opened()
{
    Connection &c = connection();
    if (!c.tried)
        open(c);
    return c;
}

} // namespace

wl_display *display()
{
    return opened().display;
}

wl_seat *seat()
{
    return opened().seat;
}

zwlr_data_control_manager_v1 *dataControl()
{
    return opened().dataControl;
}

zwlr_foreign_toplevel_manager_v1 *toplevels()
{
    return opened().toplevels;
}

bool offers(const char *interface)
{
    return opened().offered.contains(QByteArray(interface));
}

std::optional<QPoint> outputPosition(wl_output *output)
{
    for (const Output *o : std::as_const(opened().outputs))
        if (o->output == output)
            return o->position;
    return std::nullopt;
}

void dispatchPending()
{
    readAvailable(opened(), 0);
}

bool roundtrip()
{
    Connection &c = opened();
    if (!c.display)
        return false;
    if (wl_display_roundtrip(c.display) < 0) {
        lost(c);
        return false;
    }
    return true;
}

void onLost(void (*forget)())
{
    Connection &c = connection();
    if (!c.forgetters.contains(forget))
        c.forgetters.append(forget);
}

} // namespace WaylandDesktop
