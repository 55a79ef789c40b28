#include "platform/WaylandToplevels.h"

#include "platform/SelectionOwners.h"
#include "platform/WaylandDesktop.h"

#include <wayland-client.h>
#include "wlr-foreign-toplevel-management-unstable-v1-client.h"

namespace WaylandToplevels {
namespace {

struct Handle
{
    zwlr_foreign_toplevel_handle_v1 *object = nullptr;
    Toplevel shown;   // as of the latest done event
    Toplevel pending; // events since
    QList<wl_output *> outputs;
};

struct State
{
    bool attached = false;
    quint64 nextId = 0;
    QList<Handle *> handles;
};

State &state()
{
    static State s;
    return s;
}

void title(void *data, zwlr_foreign_toplevel_handle_v1 *, const char *text)
{
    static_cast<Handle *>(data)->pending.title = QString::fromUtf8(text);
}

void appId(void *data, zwlr_foreign_toplevel_handle_v1 *, const char *id)
{
    static_cast<Handle *>(data)->pending.appId = QString::fromUtf8(id);
}

void outputEnter(void *data, zwlr_foreign_toplevel_handle_v1 *, wl_output *output)
{
    auto *h = static_cast<Handle *>(data);
    if (!h->outputs.contains(output))
        h->outputs.append(output);
}

void outputLeave(void *data, zwlr_foreign_toplevel_handle_v1 *, wl_output *output)
{
    static_cast<Handle *>(data)->outputs.removeAll(output);
}

void states(void *data, zwlr_foreign_toplevel_handle_v1 *, wl_array *array)
{
    auto *h = static_cast<Handle *>(data);
    bool activated = false;
    const auto *values = static_cast<const uint32_t *>(array->data);
    for (size_t i = 0; i < array->size / sizeof(uint32_t); ++i)
        activated = activated || values[i] == ZWLR_FOREIGN_TOPLEVEL_HANDLE_V1_STATE_ACTIVATED;
    h->pending.activated = activated;
}

void done(void *data, zwlr_foreign_toplevel_handle_v1 *)
{
    auto *h = static_cast<Handle *>(data);
    if (h->pending.activated && !h->shown.activated)
        h->pending.activatedAt = SelectionOwners::serverTime();
    h->shown = h->pending;
}

void closed(void *data, zwlr_foreign_toplevel_handle_v1 *object)
{
    auto *h = static_cast<Handle *>(data);
    state().handles.removeAll(h);
    zwlr_foreign_toplevel_handle_v1_destroy(object);
    delete h;
}

void parent(void *, zwlr_foreign_toplevel_handle_v1 *, zwlr_foreign_toplevel_handle_v1 *) {}

const zwlr_foreign_toplevel_handle_v1_listener kHandleListener = {title, appId, outputEnter, outputLeave,
                                                                  states, done, closed, parent};

void toplevel(void *, zwlr_foreign_toplevel_manager_v1 *, zwlr_foreign_toplevel_handle_v1 *object)
{
    State &s = state();
    auto *h = new Handle;
    h->object = object;
    h->pending.id = ++s.nextId;
    s.handles.append(h);
    zwlr_foreign_toplevel_handle_v1_add_listener(object, &kHandleListener, h);
}

void finished(void *, zwlr_foreign_toplevel_manager_v1 *manager)
{
    zwlr_foreign_toplevel_manager_v1_destroy(manager);
}

const zwlr_foreign_toplevel_manager_v1_listener kManagerListener = {toplevel, finished};

void forget()
{
    State &s = state();
    qDeleteAll(s.handles);
    s.handles.clear();
}

} // namespace

void attach()
{
    State &s = state();
    if (s.attached || !WaylandDesktop::toplevels())
        return;
    s.attached = true;
    zwlr_foreign_toplevel_manager_v1_add_listener(WaylandDesktop::toplevels(), &kManagerListener, nullptr);
    WaylandDesktop::onLost(forget);
}

bool available()
{
    return WaylandDesktop::toplevels() != nullptr;
}

namespace {

Toplevel described(const Handle *h)
{
    Toplevel t = h->shown;
    for (wl_output *output : h->outputs)
        if ((t.screen = WaylandDesktop::outputPosition(output)))
            break;
    return t;
}

} // namespace

std::optional<Toplevel> active()
{
    if (!available())
        return std::nullopt;
    WaylandDesktop::dispatchPending();
    for (const Handle *h : std::as_const(state().handles))
        if (h->shown.activated)
            return described(h);
    return std::nullopt;
}

std::optional<Toplevel> find(quint64 id)
{
    if (!available())
        return std::nullopt;
    WaylandDesktop::dispatchPending();
    for (const Handle *h : std::as_const(state().handles))
        if (h->shown.id == id)
            return described(h);
    return std::nullopt;
}

bool activate(quint64 id)
{
    if (!available() || !WaylandDesktop::seat())
        return false;
    WaylandDesktop::dispatchPending();
    for (const Handle *h : std::as_const(state().handles)) {
        if (h->shown.id != id)
            continue;
        zwlr_foreign_toplevel_handle_v1_activate(h->object, WaylandDesktop::seat());
        return WaylandDesktop::roundtrip();
    }
    return false;
}

} // namespace WaylandToplevels
