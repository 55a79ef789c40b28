#include "audio/Microphones.h"

#include "platform/PulseContext.h"

#include <pulse/context.h>
#include <pulse/introspect.h>
#include <pulse/operation.h>

namespace {

constexpr int kQueryTimeoutMs = 2000;

struct SourceList
{
    PulseContext *pulse = nullptr;
    QList<Microphones::Device> devices;
    bool done = false;
};

void onSource(pa_context *, const pa_source_info *info, int eol, void *userdata)
{
    auto *list = static_cast<SourceList *>(userdata);
    if (eol != 0) {
        list->done = true;
        list->pulse->signal();
        return;
    }
    // Monitors replay what an output plays: they are not microphones.
    if (!info || info->monitor_of_sink != PA_INVALID_INDEX || !info->name)
        return;
    const QString uid = QString::fromUtf8(info->name);
    const QString name = info->description ? QString::fromUtf8(info->description) : uid;
    if (uid.isEmpty())
        return;
    list->devices.append({info->index, uid, name});
}

struct ServerDefault
{
    PulseContext *pulse = nullptr;
    std::optional<QString> source;
    bool done = false;
};

void onServerInfo(pa_context *, const pa_server_info *info, void *userdata)
{
    auto *result = static_cast<ServerDefault *>(userdata);
    if (info && info->default_source_name && *info->default_source_name)
        result->source = QString::fromUtf8(info->default_source_name);
    result->done = true;
    result->pulse->signal();
}

// Runs one query and waits for its end; false when it could not complete.
template<typename Start>
bool query(PulseContext &pulse, bool &done, Start start)
{
    pa_context *context = pulse.connectedLocked(kQueryTimeoutMs);
    if (!context)
        return false;
    pa_operation *op = start(context);
    if (!op)
        return false;
    const bool finished = pulse.waitLocked([&done] { return done; }, kQueryTimeoutMs);
    if (!finished)
        pa_operation_cancel(op);
    pa_operation_unref(op);
    return finished;
}

} // namespace

namespace Microphones {

QList<Device> all()
{
    PulseContext &pulse = PulseContext::shared();
    if (pulse.inLoopThread())
        return {};
    PulseContext::Locker lock(pulse);
    SourceList list{&pulse, {}, false};
    if (!query(pulse, list.done, [&list](pa_context *c) {
            return pa_context_get_source_info_list(c, onSource, &list);
        }))
        return {};
    return list.devices;
}

std::optional<Device> device(const QString &uid)
{
    for (const Device &d : all()) {
        if (d.uid == uid)
            return d;
    }
    return std::nullopt;
}

std::optional<QString> defaultUID()
{
    PulseContext &pulse = PulseContext::shared();
    if (pulse.inLoopThread())
        return std::nullopt;
    PulseContext::Locker lock(pulse);
    ServerDefault result{&pulse, std::nullopt, false};
    if (!query(pulse, result.done, [&result](pa_context *c) {
            return pa_context_get_server_info(c, onServerInfo, &result);
        }))
        return std::nullopt;
    return result.source;
}

void select(const std::optional<QString> &uid, QString *input)
{
    if (!uid || !input)
        return;
    if (!device(*uid))
        return;
    *input = *uid;
}

} // namespace Microphones
