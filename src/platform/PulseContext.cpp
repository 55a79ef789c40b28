#include "platform/PulseContext.h"

#include "core/Log.h"

#include <pulse/context.h>
#include <pulse/error.h>
#include <pulse/introspect.h>
#include <pulse/mainloop-api.h>
#include <pulse/subscribe.h>
#include <pulse/thread-mainloop.h>
#include <pulse/timeval.h>

#include <sys/time.h>

#include <algorithm>

namespace {

struct Deadline
{
    pa_threaded_mainloop *loop = nullptr;
    bool expired = false;
};

void onDeadline(pa_mainloop_api *, pa_time_event *, const struct timeval *, void *userdata)
{
    auto *deadline = static_cast<Deadline *>(userdata);
    deadline->expired = true;
    pa_threaded_mainloop_signal(deadline->loop, 0);
}

void onEvent(pa_context *, pa_subscription_event_type_t event, quint32 index, void *userdata)
{
    static_cast<PulseContext *>(userdata)->dispatchLocked(unsigned(event), index);
}

void onContextState(pa_context *, void *userdata)
{
    pa_threaded_mainloop_signal(static_cast<pa_threaded_mainloop *>(userdata), 0);
}

struct SourceQuery
{
    PulseContext *pulse = nullptr;
    Pulse::Sources result;
    bool listed = false;
    bool named = false;
};

void onSource(pa_context *, const pa_source_info *info, int eol, void *userdata)
{
    auto *query = static_cast<SourceQuery *>(userdata);
    if (eol != 0) {
        query->listed = true;
        query->pulse->signal();
        return;
    }
    if (!info || !info->name || !*info->name)
        return;
    const QString name = QString::fromUtf8(info->name);
    const QString description = info->description && *info->description ? QString::fromUtf8(info->description) : name;
    query->result.list.append({info->index, name, description, info->monitor_of_sink != PA_INVALID_INDEX});
}

void onServerInfo(pa_context *, const pa_server_info *info, void *userdata)
{
    auto *query = static_cast<SourceQuery *>(userdata);
    if (info && info->default_source_name)
        query->result.defaultName = QString::fromUtf8(info->default_source_name);
    query->named = true;
    query->pulse->signal();
}

} // namespace

PulseContext::PulseContext()
{
    loop_ = pa_threaded_mainloop_new();
    pa_threaded_mainloop_set_name(loop_, "ombry.audio");
    pa_threaded_mainloop_start(loop_);
}

PulseContext::~PulseContext()
{
    pa_threaded_mainloop_stop(loop_);
    if (context_) {
        pa_context_disconnect(context_);
        pa_context_unref(context_);
    }
    pa_threaded_mainloop_free(loop_);
}

PulseContext::Locker::Locker(PulseContext &pulse)
{
    if (!pulse.inLoopThread()) {
        loop_ = pulse.loop();
        pa_threaded_mainloop_lock(loop_);
    }
}

PulseContext::Locker::~Locker()
{
    if (loop_)
        pa_threaded_mainloop_unlock(loop_);
}

bool PulseContext::inLoopThread() const
{
    return pa_threaded_mainloop_in_thread(loop_) != 0;
}

void PulseContext::signal()
{
    pa_threaded_mainloop_signal(loop_, 0);
}

bool PulseContext::waitLocked(const std::function<bool()> &done, int timeoutMs)
{
    if (done())
        return true;
    if (inLoopThread())
        return false;
    Deadline deadline{loop_};
    pa_mainloop_api *api = pa_threaded_mainloop_get_api(loop_);
    struct timeval when;
    pa_gettimeofday(&when);
    pa_timeval_add(&when, pa_usec_t(timeoutMs) * PA_USEC_PER_MSEC);
    pa_time_event *event = api->time_new(api, &when, onDeadline, &deadline);
    while (!done() && !deadline.expired)
        pa_threaded_mainloop_wait(loop_);
    api->time_free(event);
    return done();
}

pa_context *PulseContext::connectedLocked(int timeoutMs)
{
    if (context_) {
        const pa_context_state_t state = pa_context_get_state(context_);
        if (state == PA_CONTEXT_READY)
            return context_;
        if (!PA_CONTEXT_IS_GOOD(state)) {
            // The server went away: start over with a new connection.
            lastErrno_ = pa_context_errno(context_);
            pa_context_set_state_callback(context_, nullptr, nullptr);
            pa_context_disconnect(context_);
            pa_context_unref(context_);
            context_ = nullptr;
        }
    }
    if (!context_) {
        if (inLoopThread())
            return nullptr;
        context_ = pa_context_new(pa_threaded_mainloop_get_api(loop_), "Ombry Voice");
        if (!context_)
            return nullptr;
        pa_context_set_state_callback(context_, onContextState, loop_);
        if (pa_context_connect(context_, nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr) < 0) {
            lastErrno_ = pa_context_errno(context_);
            pa_context_unref(context_);
            context_ = nullptr;
            return nullptr;
        }
    }
    pa_context *context = context_;
    const bool settled = waitLocked([context] {
        const pa_context_state_t state = pa_context_get_state(context);
        return state == PA_CONTEXT_READY || !PA_CONTEXT_IS_GOOD(state);
    }, timeoutMs);
    if (settled && pa_context_get_state(context_) == PA_CONTEXT_READY) {
        subscribedMask_ = 0;
        subscribeLocked();
        return context_;
    }
    // Refused, failed or too slow: drop this attempt so that the next call retries.
    lastErrno_ = settled ? pa_context_errno(context_) : PA_ERR_TIMEOUT;
    pa_context_set_state_callback(context_, nullptr, nullptr);
    pa_context_disconnect(context_);
    pa_context_unref(context_);
    context_ = nullptr;
    return nullptr;
}

int PulseContext::addListenerLocked(unsigned mask, Listener listener)
{
    const int id = nextSubscriber_++;
    subscribers_.append({id, mask, std::move(listener)});
    subscribeLocked();
    return id;
}

void PulseContext::removeListenerLocked(int id)
{
    subscribers_.removeIf([id](const Subscriber &s) { return s.id == id; });
    subscribeLocked();
}

void PulseContext::subscribeLocked()
{
    unsigned mask = 0;
    for (const Subscriber &s : std::as_const(subscribers_))
        mask |= s.mask;
    if (!context_ || pa_context_get_state(context_) != PA_CONTEXT_READY || mask == subscribedMask_)
        return;
    subscribedMask_ = mask;
    pa_context_set_subscribe_callback(context_, mask ? onEvent : nullptr, this);
    if (pa_operation *op = pa_context_subscribe(context_, pa_subscription_mask_t(mask), nullptr, nullptr))
        pa_operation_unref(op);
}

void PulseContext::dispatchLocked(unsigned event, quint32 index)
{
    const unsigned facility = unsigned(event) & PA_SUBSCRIPTION_EVENT_FACILITY_MASK;
    // A copy: a listener may remove itself or others.
    const QList<Subscriber> subscribers = subscribers_;
    for (const Subscriber &s : subscribers) {
        if (s.mask & (1u << facility))
            s.listener(unsigned(event), index);
    }
}

QString PulseContext::lastError() const
{
    return QString::fromUtf8(pa_strerror(lastErrno_));
}

bool PulseContext::serverAnswers(int timeoutMs)
{
    Locker lock(*this);
    return connectedLocked(timeoutMs) != nullptr;
}

std::optional<Pulse::Sources> PulseContext::sources(int timeoutMs)
{
    if (inLoopThread())
        return std::nullopt;
    Locker lock(*this);
    pa_context *context = connectedLocked(timeoutMs);
    if (!context)
        return std::nullopt;
    SourceQuery query;
    query.pulse = this;
    // Both questions go out at once: one round trip.
    pa_operation *list = pa_context_get_source_info_list(context, onSource, &query);
    pa_operation *server = pa_context_get_server_info(context, onServerInfo, &query);
    const bool done = list && server && waitLocked([&query] { return query.listed && query.named; }, timeoutMs);
    for (pa_operation *op : {list, server}) {
        if (!op)
            continue;
        if (!done)
            pa_operation_cancel(op);
        pa_operation_unref(op);
    }
    if (!done)
        return std::nullopt;
    return query.result;
}

bool PulseContext::hasInput(int timeoutMs)
{
    const std::optional<Pulse::Sources> found = sources(timeoutMs);
    if (!found)
        return false;
    return std::any_of(found->list.cbegin(), found->list.cend(), [](const Pulse::Source &s) { return !s.monitor; });
}

bool PulseContext::watchSources(std::function<void()> changed, int timeoutMs)
{
    if (inLoopThread())
        return false;
    Locker lock(*this);
    if (!connectedLocked(timeoutMs))
        return false;
    sourcesChanged_ = std::move(changed);
    // One listener among the others, kept across reconnections: the context
    // subscribes it again with the rest.
    if (!sourcesListener_)
        sourcesListener_ = addListenerLocked(PA_SUBSCRIPTION_MASK_SOURCE | PA_SUBSCRIPTION_MASK_SERVER,
                                             [this](unsigned, quint32) {
                                                 if (sourcesChanged_)
                                                     sourcesChanged_();
                                             });
    return true;
}
