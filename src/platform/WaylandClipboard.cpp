#include "platform/WaylandClipboard.h"

#include "platform/SelectionOwners.h"
#include "platform/WaylandDesktop.h"

#include <QElapsedTimer>
#include <QHash>

#include <wayland-client.h>
#include "wlr-data-control-unstable-v1-client.h"

#include <cerrno>
#include <csignal>
#include <thread>

#include <fcntl.h>
#include <poll.h>
#include <pthread.h>
#include <unistd.h>

namespace WaylandClipboard {
namespace {

struct Offer
{
    zwlr_data_control_offer_v1 *object = nullptr;
    QStringList types;
};

struct Source
{
    zwlr_data_control_source_v1 *object = nullptr;
    QList<QPair<QString, QByteArray>> formats;
    Clipboard::Mode mode = Clipboard::Mode::Clipboard;
};

struct Side
{
    Offer *current = nullptr;
    // Ours while the compositor has not cancelled it.
    Source *own = nullptr;
    std::optional<quint64> takenAt;
};

struct State
{
    zwlr_data_control_device_v1 *device = nullptr;
    // Offers introduced and not yet named as a selection.
    QHash<zwlr_data_control_offer_v1 *, Offer *> introduced;
    Side sides[2];
    quint64 changes = 0;
};

State &state()
{
    static State s;
    return s;
}

Side &side(Clipboard::Mode mode)
{
    return state().sides[mode == Clipboard::Mode::Primary ? 1 : 0];
}

void offerType(void *data, zwlr_data_control_offer_v1 *, const char *type)
{
    static_cast<Offer *>(data)->types.append(QString::fromUtf8(type));
}
const zwlr_data_control_offer_v1_listener kOfferListener = {offerType};

void dropOffer(Offer *offer)
{
    if (!offer)
        return;
    zwlr_data_control_offer_v1_destroy(offer->object);
    delete offer;
}

void dropSource(Source *source)
{
    zwlr_data_control_source_v1_destroy(source->object);
    delete source;
}

// Writes `bytes` into the reader's pipe off the main thread: a reader that
// takes its time must not stall the program.
void serve(QByteArray bytes, int fd)
{
    std::thread([bytes, fd] {
        // A reader that closes early must cost an EPIPE, not the process.
        sigset_t pipe;
        sigemptyset(&pipe);
        sigaddset(&pipe, SIGPIPE);
        pthread_sigmask(SIG_BLOCK, &pipe, nullptr);
        const int flags = fcntl(fd, F_GETFL);
        if (flags >= 0)
            fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);
        qsizetype done = 0;
        while (done < bytes.size()) {
            const ssize_t n = write(fd, bytes.constData() + done, size_t(bytes.size() - done));
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0)
                break;
            done += n;
        }
        close(fd);
    }).detach();
}

void sourceSend(void *data, zwlr_data_control_source_v1 *, const char *type, int32_t fd)
{
    const auto *source = static_cast<Source *>(data);
    const QString wanted = QString::fromUtf8(type);
    const bool text = textTypes().contains(wanted);
    for (const auto &[format, bytes] : source->formats) {
        if (format == wanted || (text && format == QLatin1String("text/plain"))) {
            serve(bytes, fd);
            return;
        }
    }
    close(fd);
}

void sourceCancelled(void *data, zwlr_data_control_source_v1 *)
{
    auto *source = static_cast<Source *>(data);
    Side &s = side(source->mode);
    if (s.own == source)
        s.own = nullptr;
    dropSource(source);
}
const zwlr_data_control_source_v1_listener kSourceListener = {sourceSend, sourceCancelled};

void dataOffer(void *, zwlr_data_control_device_v1 *, zwlr_data_control_offer_v1 *object)
{
    auto *offer = new Offer;
    offer->object = object;
    zwlr_data_control_offer_v1_add_listener(object, &kOfferListener, offer);
    state().introduced.insert(object, offer);
}

void selectionOf(Clipboard::Mode mode, zwlr_data_control_offer_v1 *object)
{
    State &st = state();
    Side &s = side(mode);
    Offer *offer = object ? st.introduced.take(object) : nullptr;
    if (s.current != offer)
        dropOffer(s.current);
    s.current = offer;
    if (mode == Clipboard::Mode::Clipboard)
        ++st.changes;
    if (s.own || !offer)
        s.takenAt.reset();
    else
        s.takenAt = SelectionOwners::serverTime();
}

void selection(void *, zwlr_data_control_device_v1 *, zwlr_data_control_offer_v1 *object)
{
    selectionOf(Clipboard::Mode::Clipboard, object);
}

void primarySelection(void *, zwlr_data_control_device_v1 *, zwlr_data_control_offer_v1 *object)
{
    selectionOf(Clipboard::Mode::Primary, object);
}

void forget()
{
    State &st = state();
    st.device = nullptr;
    qDeleteAll(st.introduced);
    st.introduced.clear();
    for (Side &s : st.sides) {
        delete s.current;
        delete s.own;
        s = Side{};
    }
}

void finished(void *, zwlr_data_control_device_v1 *device)
{
    zwlr_data_control_device_v1_destroy(device);
    State &st = state();
    st.device = nullptr;
    for (Side &s : st.sides) {
        dropOffer(s.current);
        s.current = nullptr;
        s.takenAt.reset();
    }
}

const zwlr_data_control_device_v1_listener kDeviceListener = {dataOffer, selection, finished, primarySelection};

bool primaryOffered()
{
    return zwlr_data_control_manager_v1_get_version(WaylandDesktop::dataControl()) >= 2;
}

// Reads one type of `offer` into `out`: false when the owner fell silent or
// the budget ran out, `tooLarge` set when it offered more than `maxBytes`.
bool receive(Offer *offer, const QString &type, int silenceMs, const QElapsedTimer &clock, int budgetMs,
             qint64 maxBytes, QByteArray *out, bool *tooLarge)
{
    int fds[2];
    if (pipe2(fds, O_CLOEXEC) != 0)
        return false;
    // Only our end waits with a deadline: owners write as to any pipe.
    fcntl(fds[0], F_SETFL, fcntl(fds[0], F_GETFL) | O_NONBLOCK);
    zwlr_data_control_offer_v1_receive(offer->object, type.toUtf8().constData(), fds[1]);
    close(fds[1]);
    wl_display_flush(WaylandDesktop::display());
    char buffer[65536];
    for (;;) {
        const qint64 left = budgetMs - clock.elapsed();
        if (left <= 0)
            break;
        pollfd fd{fds[0], POLLIN, 0};
        const int ready = poll(&fd, 1, int(std::min<qint64>(silenceMs, left)));
        if (ready < 0 && errno == EINTR)
            continue;
        if (ready <= 0)
            break;
        const ssize_t n = ::read(fds[0], buffer, sizeof buffer);
        if (n < 0 && (errno == EINTR || errno == EAGAIN))
            continue;
        if (n <= 0) {
            close(fds[0]);
            return n == 0;
        }
        if (out->size() + n > maxBytes) {
            *tooLarge = true;
            out->clear();
            close(fds[0]);
            return true;
        }
        out->append(buffer, n);
    }
    close(fds[0]);
    return false;
}

} // namespace

QStringList textTypes()
{
    static const QStringList types = {QStringLiteral("text/plain;charset=utf-8"), QStringLiteral("UTF8_STRING"),
                                      QStringLiteral("text/plain"), QStringLiteral("TEXT"), QStringLiteral("STRING")};
    return types;
}

void attach()
{
    State &st = state();
    if (st.device || !WaylandDesktop::dataControl() || !WaylandDesktop::seat())
        return;
    st.device = zwlr_data_control_manager_v1_get_data_device(WaylandDesktop::dataControl(), WaylandDesktop::seat());
    zwlr_data_control_device_v1_add_listener(st.device, &kDeviceListener, nullptr);
    WaylandDesktop::onLost(forget);
}

bool available()
{
    return WaylandDesktop::display() && state().device;
}

std::optional<SelectionReader::Result> read(Clipboard::Mode mode, int silenceMs, int budgetMs, qint64 maxBytes,
                                            const std::function<QStringList(const QStringList &offered)> &wanted)
{
    if (!available() || !WaylandDesktop::roundtrip() || !state().device)
        return std::nullopt;
    SelectionReader::Result result;
    Offer *offer = side(mode).current;
    if (!offer) {
        result.empty = true;
        return result;
    }
    const QStringList types = wanted(offer->types);
    QElapsedTimer clock;
    clock.start();
    for (const QString &type : types) {
        QByteArray bytes;
        bool tooLarge = false;
        if (!receive(offer, type, silenceMs, clock, budgetMs, maxBytes, &bytes, &tooLarge)) {
            result.timedOut = true;
            break;
        }
        if (tooLarge)
            result.tooLarge.append({type, -1});
        else
            result.formats.append({type, bytes});
    }
    return result;
}

void set(Clipboard::Mode mode, const QList<QPair<QString, QByteArray>> &formats)
{
    State &st = state();
    if (!available() || (mode == Clipboard::Mode::Primary && !primaryOffered()))
        return;
    Side &s = side(mode);
    if (s.own) {
        dropSource(s.own);
        s.own = nullptr;
    }
    zwlr_data_control_source_v1 *object = nullptr;
    if (!formats.isEmpty()) {
        auto *source = new Source;
        source->formats = formats;
        source->mode = mode;
        source->object = zwlr_data_control_manager_v1_create_data_source(WaylandDesktop::dataControl());
        zwlr_data_control_source_v1_add_listener(source->object, &kSourceListener, source);
        QStringList offered;
        for (const auto &[format, bytes] : formats) {
            const QStringList names = format == QLatin1String("text/plain") ? textTypes() : QStringList{format};
            for (const QString &name : names)
                if (!offered.contains(name))
                    offered << name;
        }
        for (const QString &name : std::as_const(offered))
            zwlr_data_control_source_v1_offer(source->object, name.toUtf8().constData());
        s.own = source;
        object = source->object;
    }
    if (mode == Clipboard::Mode::Primary)
        zwlr_data_control_device_v1_set_primary_selection(st.device, object);
    else
        zwlr_data_control_device_v1_set_selection(st.device, object);
    // The keys that paste it come through another connection: the compositor
    // holds the new selection before they can arrive.
    WaylandDesktop::roundtrip();
}

bool ownedHere(Clipboard::Mode mode)
{
    if (!available())
        return false;
    WaylandDesktop::dispatchPending();
    return side(mode).own != nullptr;
}

Clipboard::Snapshot own(Clipboard::Mode mode)
{
    Clipboard::Snapshot snapshot;
    if (WaylandClipboard::ownedHere(mode))
        snapshot.formats = side(mode).own->formats;
    return snapshot;
}

quint64 changeCount()
{
    if (available())
        WaylandDesktop::dispatchPending();
    return state().changes;
}

std::optional<quint64> takenAt(Clipboard::Mode mode)
{
    if (!available())
        return std::nullopt;
    WaylandDesktop::dispatchPending();
    return side(mode).takenAt;
}

} // namespace WaylandClipboard
