#include "platform/PulseAppCapture.h"

#include "platform/AudioError.h"
#include "platform/PulseContext.h"

#include <QCoreApplication>
#include <QMap>
#include <QPointer>
#include <QtConcurrent/QtConcurrentRun>

#include <QCoro/QCoroFuture>

#include <pulse/context.h>
#include <pulse/error.h>
#include <pulse/introspect.h>
#include <pulse/proplist.h>
#include <pulse/stream.h>
#include <pulse/subscribe.h>

#include <unistd.h>

namespace {

constexpr int kConnectTimeoutMs = 2000;
constexpr int kListTimeoutMs = 2000;
constexpr uint32_t kFragmentBytes = 320 * sizeof(float); // 20 ms

QString prop(const pa_proplist *props, const char *key)
{
    const char *value = props ? pa_proplist_gets(props, key) : nullptr;
    return value ? QString::fromUtf8(value) : QString();
}

PlaybackStream describe(const pa_sink_input_info *info)
{
    PlaybackStream s;
    s.index = info->index;
    s.sink = info->sink;
    s.pid = prop(info->proplist, PA_PROP_APPLICATION_PROCESS_ID).toLongLong();
    s.binary = prop(info->proplist, PA_PROP_APPLICATION_PROCESS_BINARY);
    s.appName = prop(info->proplist, PA_PROP_APPLICATION_NAME);
    s.appId = prop(info->proplist, "pipewire.access.portal.app_id");
    if (s.appId.isEmpty())
        s.appId = prop(info->proplist, PA_PROP_APPLICATION_ID);
    return s;
}

} // namespace

// Everything of one run; touched on the loop thread or with the loop lock held.
struct PulseAppCapture::Run
{
    struct Attached
    {
        pa_stream *stream = nullptr;
        quint32 sink = 0;
    };

    PulseContext *pulse = nullptr;
    CaptureTarget target;
    Handlers handlers;
    qint64 ownPid = 0;
    bool active = true;
    int listener = 0;
    QMap<quint32, Attached> attached;
    // The initial listing.
    bool listed = false;
    int matching = 0;
    std::weak_ptr<Run> self;

    void consider(const pa_sink_input_info *info);
    void attach(const PlaybackStream &s);
    void detach(quint32 index, bool tell);
    void requery(quint32 index);
    void closeAll();
    void lost(const QString &description);

    static void onRead(pa_stream *stream, size_t, void *userdata);
    static void onState(pa_stream *stream, void *userdata);
};

namespace {

// Keeps a run alive while a server query is outstanding.
struct Query
{
    std::shared_ptr<PulseAppCapture::Run> run;
};

void onInfo(pa_context *, const pa_sink_input_info *info, int eol, void *userdata)
{
    auto *query = static_cast<Query *>(userdata);
    if (eol != 0) {
        query->run->listed = true;
        query->run->pulse->signal();
        delete query;
        return;
    }
    if (info && query->run->active)
        query->run->consider(info);
}

} // namespace

void PulseAppCapture::Run::consider(const pa_sink_input_info *info)
{
    const PlaybackStream s = describe(info);
    if (!CaptureMatch::matches(s, target, ownPid))
        return;
    ++matching;
    const auto it = attached.constFind(s.index);
    if (it != attached.cend()) {
        // Moved to another output, or its monitor was killed by the move.
        if (it->sink == s.sink && pa_stream_get_state(it->stream) == PA_STREAM_READY)
            return;
        detach(s.index, false);
    }
    attach(s);
}

void PulseAppCapture::Run::attach(const PlaybackStream &s)
{
    pa_context *context = pulse->connectedLocked(0);
    if (!context)
        return;
    const pa_sample_spec spec{PA_SAMPLE_FLOAT32LE, AppAudioCapture::kSampleRate, 1};
    pa_proplist *props = pa_proplist_new();
    pa_proplist_sets(props, PA_PROP_MEDIA_ROLE, "production");
    pa_stream *stream = pa_stream_new_with_proplist(context, "Sous-titres", &spec, nullptr, props);
    pa_proplist_free(props);
    if (!stream)
        return;
    if (pa_stream_set_monitor_stream(stream, s.index) < 0) {
        pa_stream_unref(stream);
        return;
    }
    pa_stream_set_read_callback(stream, onRead, this);
    pa_stream_set_state_callback(stream, onState, this);
    pa_buffer_attr attr;
    attr.maxlength = uint32_t(-1);
    attr.tlength = uint32_t(-1);
    attr.prebuf = uint32_t(-1);
    attr.minreq = uint32_t(-1);
    attr.fragsize = kFragmentBytes;
    // The server takes the monitor of the sink the stream plays on; when the
    // playback stream moves, the server ends this one and it is made again on the
    // new output. Not DONT_MOVE: with it the server ends the stream a moment
    // after it starts (when the output settles its rate), and nothing is heard.
    const auto flags = pa_stream_flags_t(PA_STREAM_NOFLAGS);
    if (pa_stream_connect_record(stream, nullptr, &attr, flags) < 0) {
        pa_stream_set_read_callback(stream, nullptr, nullptr);
        pa_stream_set_state_callback(stream, nullptr, nullptr);
        pa_stream_unref(stream);
        return;
    }
    attached.insert(s.index, Attached{stream, s.sink});
}

void PulseAppCapture::Run::detach(quint32 index, bool tell)
{
    const auto it = attached.find(index);
    if (it == attached.end())
        return;
    pa_stream *stream = it->stream;
    attached.erase(it);
    pa_stream_set_read_callback(stream, nullptr, nullptr);
    pa_stream_set_state_callback(stream, nullptr, nullptr);
    if (PA_STREAM_IS_GOOD(pa_stream_get_state(stream)))
        pa_stream_disconnect(stream);
    pa_stream_unref(stream);
    if (tell && handlers.ended)
        handlers.ended(index);
}

void PulseAppCapture::Run::requery(quint32 index)
{
    pa_context *context = pulse->connectedLocked(0);
    if (!context)
        return;
    auto *query = new Query{self.lock()};
    if (!query->run) {
        delete query;
        return;
    }
    if (pa_operation *op = pa_context_get_sink_input_info(context, index, onInfo, query))
        pa_operation_unref(op);
    else
        delete query;
}

void PulseAppCapture::Run::closeAll()
{
    const QList<quint32> indexes = attached.keys();
    for (quint32 index : indexes)
        detach(index, false);
}

void PulseAppCapture::Run::lost(const QString &description)
{
    if (!active)
        return;
    active = false;
    closeAll();
    if (listener) {
        pulse->removeListenerLocked(listener);
        listener = 0;
    }
    auto stopped = handlers.stopped;
    if (!stopped)
        return;
    if (QCoreApplication *app = QCoreApplication::instance())
        QMetaObject::invokeMethod(app, [stopped, description] { stopped(description); }, Qt::QueuedConnection);
}

void PulseAppCapture::Run::onRead(pa_stream *stream, size_t, void *userdata)
{
    auto *run = static_cast<Run *>(userdata);
    const quint32 index = quint32(pa_stream_get_monitor_stream(stream));
    while (run->active && pa_stream_readable_size(stream) > 0) {
        const void *data = nullptr;
        size_t bytes = 0;
        if (pa_stream_peek(stream, &data, &bytes) < 0 || bytes == 0)
            break;
        // A hole carries no samples.
        if (data && run->handlers.samples)
            run->handlers.samples(index, static_cast<const float *>(data), int(bytes / sizeof(float)));
        pa_stream_drop(stream);
    }
}

void PulseAppCapture::Run::onState(pa_stream *stream, void *userdata)
{
    auto *run = static_cast<Run *>(userdata);
    run->pulse->signal();
    const pa_stream_state_t state = pa_stream_get_state(stream);
    if (PA_STREAM_IS_GOOD(state))
        return;
    const quint32 index = quint32(pa_stream_get_monitor_stream(stream));
    pa_context *context = pa_stream_get_context(stream);
    if (!PA_CONTEXT_IS_GOOD(pa_context_get_state(context))) {
        run->lost(QString::fromUtf8(pa_strerror(pa_context_errno(context))));
        return;
    }
    // Killed by a move of its playback stream, or the stream ended: look again.
    run->detach(index, false);
    run->requery(index);
}

PulseAppCapture::PulseAppCapture(PulseContext &pulse) : pulse_(pulse) {}

PulseAppCapture::~PulseAppCapture()
{
    stop();
}

QCoro::Task<void> PulseAppCapture::start(CaptureTarget target, Handlers handlers)
{
    stop();
    auto run = std::make_shared<Run>();
    run->self = run;
    run->pulse = &pulse_;
    run->target = std::move(target);
    run->handlers = std::move(handlers);
    run->ownPid = qint64(::getpid());
    run_ = run;

    // Connecting and listing may wait on the server: never on the main thread.
    auto future = QtConcurrent::run([run]() -> int {
        PulseContext &pulse = *run->pulse;
        PulseContext::Locker lock(pulse);
        pa_context *context = pulse.connectedLocked(kConnectTimeoutMs);
        if (!context)
            return -1;
        if (!run->active)
            return 0;
        std::weak_ptr<Run> weak = run;
        run->listener = pulse.addListenerLocked(PA_SUBSCRIPTION_MASK_SINK_INPUT, [weak](unsigned event, quint32 index) {
            const std::shared_ptr<Run> r = weak.lock();
            if (!r || !r->active)
                return;
            const unsigned type = event & PA_SUBSCRIPTION_EVENT_TYPE_MASK;
            if (type == PA_SUBSCRIPTION_EVENT_REMOVE)
                r->detach(index, true);
            else
                r->requery(index);
        });
        auto *query = new Query{run};
        pa_operation *op = pa_context_get_sink_input_info_list(context, onInfo, query);
        if (!op) {
            delete query;
            return -1;
        }
        pulse.waitLocked([&run] { return run->listed; }, kListTimeoutMs);
        pa_operation_unref(op);
        return run->matching;
    });
    const int matching = co_await future;
    if (run_ != run || !run->active)
        co_return; // stopped or restarted meanwhile
    if (matching < 0) {
        const QString why = pulse_.lastError();
        stop();
        throw AudioError(QStringLiteral("pulse"), PA_ERR_CONNECTIONREFUSED, why);
    }
    if (run->target.bundleId && run->target.pids.isEmpty() && matching == 0) {
        stop();
        throw TargetAbsent();
    }
}

void PulseAppCapture::stop()
{
    const std::shared_ptr<Run> run = std::move(run_);
    run_.reset();
    if (!run)
        return;
    PulseContext::Locker lock(pulse_);
    run->active = false;
    run->closeAll();
    if (run->listener) {
        pulse_.removeListenerLocked(run->listener);
        run->listener = 0;
    }
}

int PulseAppCapture::streams() const
{
    if (!run_)
        return 0;
    PulseContext::Locker lock(pulse_);
    return int(run_->attached.size());
}
