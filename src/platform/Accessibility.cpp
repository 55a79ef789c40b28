#include "platform/Accessibility.h"

#include "core/Log.h"
#include "platform/EmbeddedText.h"

#include <QCoreApplication>
#include <QTimer>

#include <atspi/atspi.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <coroutine>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <unordered_map>

#include <dlfcn.h>
#include <unistd.h>

namespace {

// The worker's own GLib context, once it exists (see below).
std::atomic<GMainContext *> gWorkerContext{nullptr};

// Queries waiting for an answer (Accessibility::waiting()).
std::atomic<int> gWaiting{0};

struct Waiting
{
    Waiting() { ++gWaiting; }
    ~Waiting() { --gWaiting; }
    Waiting(const Waiting &) = delete;
    Waiting &operator=(const Waiting &) = delete;
};

// What one walk found about the focused element.
struct Focus
{
    bool found = false;
    bool password = false;
    std::optional<QString> selected;
    std::optional<bool> editable;
    std::optional<QString> beforeCaret;
};

constexpr int kMaxNodes = 4000;
constexpr int kMaxDepth = 48;

struct Unref
{
    void operator()(gpointer p) const { if (p) g_object_unref(p); }
};
using Ref = std::unique_ptr<AtspiAccessible, Unref>;

bool hasState(AtspiAccessible *node, AtspiStateType state)
{
    AtspiStateSet *set = atspi_accessible_get_state_set(node);
    if (!set)
        return false;
    const bool result = atspi_state_set_contains(set, state);
    g_object_unref(set);
    return result;
}

// An accessible as the embedded-text resolution asks about it.
class AtspiNode final : public EmbeddedText::Node
{
public:
    explicit AtspiNode(AtspiAccessible *node) : node_(static_cast<AtspiAccessible *>(g_object_ref(node)))
    {
        text_ = atspi_accessible_get_text_iface(node);
    }
    ~AtspiNode() override
    {
        if (text_)
            g_object_unref(text_);
    }
    std::optional<QString> text(int start, int end) override
    {
        if (!text_)
            return std::nullopt;
        gchar *chars = atspi_text_get_text(text_, start, end, nullptr);
        if (!chars)
            return std::nullopt;
        QString result = QString::fromUtf8(chars);
        g_free(chars);
        return result;
    }
    bool hasText() const { return text_ != nullptr; }
    int characterCount() override { return text_ ? atspi_text_get_character_count(text_, nullptr) : 0; }
    QList<EmbeddedText::Range> selections() override
    {
        QList<EmbeddedText::Range> ranges;
        if (!text_)
            return ranges;
        const int n = atspi_text_get_n_selections(text_, nullptr);
        for (int i = 0; i < n; ++i) {
            AtspiRange *range = atspi_text_get_selection(text_, i, nullptr);
            if (!range)
                continue;
            if (range->end_offset > range->start_offset)
                ranges.append({range->start_offset, range->end_offset});
            g_free(range);
        }
        return ranges;
    }
    bool isBlock() override
    {
        switch (atspi_accessible_get_role(node_.get(), nullptr)) {
        case ATSPI_ROLE_PARAGRAPH:
        case ATSPI_ROLE_HEADING:
        case ATSPI_ROLE_SECTION:
        case ATSPI_ROLE_LIST:
        case ATSPI_ROLE_LIST_ITEM:
        case ATSPI_ROLE_BLOCK_QUOTE:
        case ATSPI_ROLE_TABLE:
        case ATSPI_ROLE_TABLE_ROW:
        case ATSPI_ROLE_ARTICLE:
        case ATSPI_ROLE_FORM:
        case ATSPI_ROLE_HEADER:
        case ATSPI_ROLE_FOOTER:
        case ATSPI_ROLE_CAPTION:
        case ATSPI_ROLE_DOCUMENT_WEB:
        case ATSPI_ROLE_DOCUMENT_TEXT:
        case ATSPI_ROLE_DOCUMENT_FRAME:
            return true;
        default:
            return false;
        }
    }
    std::unique_ptr<EmbeddedText::Node> embedded(int offset) override
    {
        if (AtspiHypertext *hypertext = atspi_accessible_get_hypertext_iface(node_.get())) {
            Ref object;
            const int index = atspi_hypertext_get_link_index(hypertext, offset, nullptr);
            if (index >= 0)
                if (AtspiHyperlink *link = atspi_hypertext_get_link(hypertext, index, nullptr)) {
                    object.reset(atspi_hyperlink_get_object(link, 0, nullptr));
                    g_object_unref(link);
                }
            g_object_unref(hypertext);
            if (object)
                return std::make_unique<AtspiNode>(object.get());
        }
        // Without hypertext, the n-th object character is the n-th child.
        const std::optional<QString> before = text(0, offset);
        if (!before)
            return nullptr;
        Ref child(atspi_accessible_get_child_at_index(node_.get(), int(before->count(QChar(EmbeddedText::kObject))), nullptr));
        return child ? std::make_unique<AtspiNode>(child.get()) : nullptr;
    }

private:
    Ref node_;
    AtspiText *text_ = nullptr;
};

Ref findFocused(AtspiAccessible *node, int depth, int &budget)
{
    if (!node || depth > kMaxDepth || --budget < 0)
        return {};
    if (hasState(node, ATSPI_STATE_FOCUSED))
        return Ref(static_cast<AtspiAccessible *>(g_object_ref(node)));
    GError *error = nullptr;
    const int count = atspi_accessible_get_child_count(node, &error);
    if (error) {
        g_error_free(error);
        return {};
    }
    // Large lists and tables hold no focus of interest; the budget bounds them anyway.
    for (int i = 0; i < count && budget > 0; ++i) {
        Ref child(atspi_accessible_get_child_at_index(node, i, nullptr));
        if (!child)
            continue;
        if (Ref hit = findFocused(child.get(), depth + 1, budget))
            return hit;
    }
    return {};
}

Focus inspect(AtspiAccessible *element)
{
    Focus focus;
    focus.found = true;
    const AtspiRole role = atspi_accessible_get_role(element, nullptr);
    if (role == ATSPI_ROLE_PASSWORD_TEXT) {
        focus.password = true;
        focus.editable = true;
        return focus;
    }
    {
        // Browsers and office documents put one object character per embedded
        // element in the text: the selection is read through those elements, or
        // not at all (none lets the next source speak).
        AtspiNode node(element);
        if (node.hasText())
            focus.selected = EmbeddedText::selectedText(node);
        if (AtspiText *text = atspi_accessible_get_text_iface(element)) {
            const int caret = atspi_text_get_caret_offset(text, nullptr);
            if (caret > 0)
                if (const std::optional<QString> before = node.text(caret - 1, caret);
                    before && !before->isEmpty() && !before->contains(QChar(EmbeddedText::kObject)))
                    focus.beforeCaret = before;
            g_object_unref(text);
        }
    }

    AtspiStateSet *states = atspi_accessible_get_state_set(element);
    const bool editableState = states && atspi_state_set_contains(states, ATSPI_STATE_EDITABLE);
    const bool readOnly = states && atspi_state_set_contains(states, ATSPI_STATE_READ_ONLY);
    if (states)
        g_object_unref(states);
    if (editableState) {
        focus.editable = true;
    } else if (readOnly) {
        focus.editable = false;
    } else {
        switch (role) {
        case ATSPI_ROLE_ENTRY:
        case ATSPI_ROLE_COMBO_BOX:
        case ATSPI_ROLE_EDITBAR:
            focus.editable = true;
            break;
        case ATSPI_ROLE_LABEL:
        case ATSPI_ROLE_STATIC:
        case ATSPI_ROLE_DOCUMENT_WEB:
        case ATSPI_ROLE_DOCUMENT_FRAME:
        case ATSPI_ROLE_TEXT:
            // A text role without the editable state is read-only text.
            focus.editable = false;
            break;
        default:
            break;
        }
    }
    return focus;
}

// The focused element inside the application whose window is active.
Focus focusedElement()
{
    Focus none;
    Ref desktop(atspi_get_desktop(0));
    if (!desktop)
        return none;
    const int apps = atspi_accessible_get_child_count(desktop.get(), nullptr);
    const guint self = guint(getpid());
    int budget = kMaxNodes;
    for (int a = 0; a < apps && budget > 0; ++a) {
        Ref app(atspi_accessible_get_child_at_index(desktop.get(), a, nullptr));
        if (!app)
            continue;
        // Fresh states and children for this walk. Not by turning the
        // application's cache off: libatspi then asks the application for states
        // from inside its own reply handler, which waits on itself for ever.
        atspi_accessible_clear_cache(app.get());
        if (atspi_accessible_get_process_id(app.get(), nullptr) == self)
            continue;
        const int windows = atspi_accessible_get_child_count(app.get(), nullptr);
        for (int w = 0; w < windows && budget > 0; ++w) {
            Ref window(atspi_accessible_get_child_at_index(app.get(), w, nullptr));
            if (!window || !hasState(window.get(), ATSPI_STATE_ACTIVE))
                continue;
            if (Ref element = findFocused(window.get(), 0, budget))
                return inspect(element.get());
        }
    }
    return none;
}

// The active window's application, kept by the worker as the bus tells it.
std::mutex gActiveLock;
std::optional<Accessibility::ActiveApplication> gActive;
std::atomic_bool gFollow{false};

Accessibility::ActiveApplication applicationOf(AtspiAccessible *node)
{
    Accessibility::ActiveApplication app;
    Ref application(atspi_accessible_get_application(node, nullptr));
    if (!application)
        return app;
    app.pid = atspi_accessible_get_process_id(application.get(), nullptr);
    if (gchar *name = atspi_accessible_get_name(application.get(), nullptr)) {
        app.name = QString::fromUtf8(name);
        g_free(name);
    }
    return app;
}

void windowEvent(const AtspiEvent *event)
{
    if (!event || !event->source || !event->type)
        return;
    const QByteArray type(event->type);
    const bool activated = type.startsWith("window:activate")
                           || (type.startsWith("object:state-changed:active") && event->detail1 == 1);
    const bool deactivated = type.startsWith("window:deactivate")
                             || (type.startsWith("object:state-changed:active") && event->detail1 == 0);
    if (type.startsWith("object:state-changed")) {
        const AtspiRole role = atspi_accessible_get_role(event->source, nullptr);
        if (role != ATSPI_ROLE_FRAME && role != ATSPI_ROLE_WINDOW && role != ATSPI_ROLE_DIALOG)
            return;
    }
    if (!activated && !deactivated)
        return;
    const Accessibility::ActiveApplication app = applicationOf(event->source);
    std::lock_guard lock(gActiveLock);
    if (activated && app.pid > 0)
        gActive = app;
    else if (deactivated && gActive && gActive->pid == app.pid)
        gActive.reset();
}

// Listens to window activations and finds the window active now. Worker only.
void followActiveWindows()
{
    AtspiEventListener *listener = atspi_event_listener_new_simple(windowEvent, nullptr);
    for (const char *type : {"window:activate", "window:deactivate", "object:state-changed:active"})
        atspi_event_listener_register(listener, type, nullptr);
    Ref desktop(atspi_get_desktop(0));
    if (!desktop)
        return;
    const int apps = atspi_accessible_get_child_count(desktop.get(), nullptr);
    for (int a = 0; a < apps; ++a) {
        Ref app(atspi_accessible_get_child_at_index(desktop.get(), a, nullptr));
        const int windows = app ? atspi_accessible_get_child_count(app.get(), nullptr) : 0;
        for (int w = 0; w < windows; ++w) {
            Ref window(atspi_accessible_get_child_at_index(app.get(), w, nullptr));
            if (window && hasState(window.get(), ATSPI_STATE_ACTIVE)) {
                // Asked before taking the lock: the main thread reads under it.
                const Accessibility::ActiveApplication active = applicationOf(window.get());
                std::lock_guard lock(gActiveLock);
                gActive = active;
                return;
            }
        }
    }
}

// One worker thread owns every AT-SPI call; callers wait for its answer with a
// deadline and walk away when it passes.
class Worker
{
public:
    static Worker &instance()
    {
        static Worker *worker = new Worker; // lives until the process ends
        return *worker;
    }

    std::optional<Focus> run(int timeoutMs)
    {
        const Waiting counted;
        auto slot = std::make_shared<Slot>();
        {
            std::unique_lock lock(mutex_);
            // Connecting to the bus is a one-time cost that the first query waits for.
            started_.wait_for(lock, std::chrono::seconds(3), [&] { return state_ != State::Starting; });
            if (state_ != State::Ready)
                return std::nullopt;
            jobs_.push_back(slot);
        }
        wake_.notify_one();
        const int wait = deadline(timeoutMs);
        std::unique_lock lock(slot->mutex);
        if (!slot->ready.wait_for(lock, std::chrono::milliseconds(wait), [&] { return slot->done; }))
            return std::nullopt;
        return slot->focus;
    }

    // Queues a walk without waiting for it: `then` runs on the worker (or here,
    // when there is no bus) with its answer.
    void submit(std::function<void(const std::optional<Focus> &)> then)
    {
        auto slot = std::make_shared<Slot>();
        slot->then = std::move(then);
        {
            std::lock_guard lock(mutex_);
            if (state_ != State::Unavailable) {
                jobs_.push_back(slot);
                slot.reset();
            }
        }
        if (slot)
            finish(slot, std::nullopt);
        else
            wake_.notify_one();
    }

    // How long a caller gives a walk asked for with `timeoutMs`: the first walk
    // meets every application cold and may take longer.
    int deadline(int timeoutMs) const { return walked_.load() ? timeoutMs : std::max(timeoutMs, 2500); }

    // One walk nobody waits for: the bus connection and the applications' trees
    // are ready before the first real question.
    void prime()
    {
        {
            std::lock_guard lock(mutex_);
            if (state_ == State::Unavailable || primed_)
                return;
            primed_ = true;
            jobs_.push_back(std::make_shared<Slot>());
        }
        wake_.notify_one();
    }

    bool available()
    {
        std::lock_guard lock(mutex_);
        return state_ == State::Ready;
    }

    void wake() { wake_.notify_one(); }

private:
    enum class State { Starting, Ready, Unavailable };
    struct Slot
    {
        std::mutex mutex;
        std::condition_variable ready;
        bool done = false;
        std::optional<Focus> focus;
        std::function<void(const std::optional<Focus> &)> then;
    };

    Worker()
    {
        thread_ = std::thread([this] { loop(); });
        thread_.detach();
    }

    void loop()
    {
        GMainContext *context = g_main_context_new();
        g_main_context_push_thread_default(context);
        gWorkerContext.store(context);
        // Without a bus atspi_init() fails, and any further call would abort.
        if (atspi_init() != 0) {
            Log::write(QStringLiteral("accessibilité: bus AT-SPI indisponible"));
            std::deque<std::shared_ptr<Slot>> pending;
            {
                std::lock_guard lock(mutex_);
                state_ = State::Unavailable;
                pending.swap(jobs_);
            }
            started_.notify_all();
            for (auto &slot : pending)
                finish(slot, std::nullopt);
            return;
        }
        atspi_set_main_context(context);
        atspi_set_timeout(300, 1500);
        {
            std::lock_guard lock(mutex_);
            state_ = State::Ready;
        }
        started_.notify_all();
        bool following = false;
        for (;;) {
            // Every question asked by now gets the answer of one walk.
            std::deque<std::shared_ptr<Slot>> batch;
            {
                std::unique_lock lock(mutex_);
                wake_.wait_for(lock, std::chrono::milliseconds(250), [&] { return !jobs_.empty(); });
                batch.swap(jobs_);
            }
            // Keep the bus connection's incoming queue drained.
            while (g_main_context_iteration(context, FALSE)) {
            }
            if (gFollow.load() && !following) {
                following = true;
                followActiveWindows();
            }
            if (!batch.empty()) {
                const auto began = std::chrono::steady_clock::now();
                Focus focus = focusedElement();
                // An application met for the first time may only build its
                // tree when asked: look once more.
                if (!focus.found) {
                    std::this_thread::sleep_for(std::chrono::milliseconds(60));
                    focus = focusedElement();
                }
                for (const auto &slot : batch)
                    finish(slot, focus);
                if (!walked_.exchange(true)) {
                    const auto took = std::chrono::duration_cast<std::chrono::milliseconds>(
                        std::chrono::steady_clock::now() - began);
                    Log::write(QStringLiteral("accessibilité: bureau parcouru en %1 ms").arg(took.count()));
                }
            }
        }
    }

    static void finish(const std::shared_ptr<Slot> &slot, std::optional<Focus> focus)
    {
        {
            std::lock_guard lock(slot->mutex);
            slot->focus = focus;
            slot->done = true;
        }
        slot->ready.notify_all();
        if (slot->then)
            slot->then(focus);
    }

    std::mutex mutex_;
    std::condition_variable wake_;
    std::condition_variable started_;
    std::atomic_bool walked_{false};
    bool primed_ = false;
    std::deque<std::shared_ptr<Slot>> jobs_;
    State state_ = State::Starting;
    std::thread thread_;
};

std::optional<QString> selectionOf(const std::optional<Focus> &focus)
{
    if (!focus || !focus->found || focus->password)
        return std::nullopt;
    return focus->selected;
}

// Reads in the background not yet answered, by ticket. Main thread only: the
// worker hands back a ticket and a copy of what it found.
struct Awaited
{
    quint64 next = 0;
    std::unordered_map<quint64, std::function<void(std::optional<Focus>)>> done;
};

Awaited &awaited()
{
    static Awaited instance;
    return instance;
}

void answer(quint64 ticket, std::optional<Focus> focus)
{
    auto &done = awaited().done;
    const auto it = done.find(ticket);
    if (it == done.end())
        return; // answered already: by the deadline, or by the walk
    std::function<void(std::optional<Focus>)> callback = std::move(it->second);
    done.erase(it);
    --gWaiting;
    callback(std::move(focus));
}

// One walk without waiting for it: `done` runs once on the main thread, with
// the answer or, at the deadline, none.
void ask(int timeoutMs, std::function<void(std::optional<Focus>)> done)
{
    QCoreApplication *app = QCoreApplication::instance();
    if (!app) {
        done(std::nullopt);
        return;
    }
    const quint64 ticket = ++awaited().next;
    awaited().done.emplace(ticket, std::move(done));
    ++gWaiting;
    Worker &worker = Worker::instance();
    QTimer::singleShot(worker.deadline(timeoutMs), app, [ticket] { answer(ticket, std::nullopt); });
    worker.submit([ticket](const std::optional<Focus> &focus) {
        QCoreApplication *instance = QCoreApplication::instance();
        if (!instance)
            return;
        QMetaObject::invokeMethod(instance, [ticket, focus] { answer(ticket, focus); }, Qt::QueuedConnection);
    });
}

Accessibility::FocusRead readOf(const std::optional<Focus> &focus)
{
    Accessibility::FocusRead read;
    read.selected = selectionOf(focus);
    if (focus && focus->found) {
        read.editable = focus->editable;
        if (!focus->password)
            read.beforeCaret = focus->beforeCaret;
    }
    return read;
}

// Suspends a coroutine until ask() answers. The state is shared: the answer
// may come before the suspension ends, or after the awaiter is gone.
class FocusAwaiter
{
public:
    explicit FocusAwaiter(int timeoutMs) : timeoutMs_(timeoutMs) {}

    bool await_ready() const noexcept { return false; }

    bool await_suspend(std::coroutine_handle<> handle)
    {
        std::shared_ptr<State> state = state_;
        ask(timeoutMs_, [state](std::optional<Focus> focus) {
            state->read = readOf(focus);
            state->answered = true;
            if (state->handle)
                std::exchange(state->handle, {}).resume();
        });
        if (state_->answered)
            return false; // answered at once: no bus, no application
        state_->handle = handle;
        return true;
    }

    Accessibility::FocusRead await_resume() { return std::move(state_->read); }

private:
    struct State
    {
        bool answered = false;
        std::coroutine_handle<> handle;
        Accessibility::FocusRead read;
    };
    int timeoutMs_;
    std::shared_ptr<State> state_ = std::make_shared<State>();
};

} // namespace

// libatspi attaches the connections it opens itself (the registry's at
// atspi_init(), and one to each application that offers a direct connection, as
// every GTK application does) to the default GLib context, whatever
// atspi_set_main_context() said. Qt's event loop runs that context on the main
// thread: two threads would drive one connection and deadlock. This definition
// comes before the library's own and sends them to the worker's context.
extern "C" void atspi_dbus_connection_setup_with_g_main(DBusConnection *connection, GMainContext *context)
{
    using Setup = void (*)(DBusConnection *, GMainContext *);
    static const auto library = reinterpret_cast<Setup>(dlsym(RTLD_NEXT, "atspi_dbus_connection_setup_with_g_main"));
    GMainContext *own = gWorkerContext.load();
    if (own && (!context || context == g_main_context_default()))
        context = own;
    // Without the library's setup the worker's blocking calls still do their own reading.
    if (library)
        library(connection, context);
}

namespace Accessibility {

void warmUp()
{
    Worker::instance().prime();
}

bool available()
{
    return Worker::instance().available();
}

std::optional<QString> selectedText(int timeoutMs)
{
    return selectionOf(Worker::instance().run(timeoutMs));
}

void readSelectedText(int timeoutMs, std::function<void(std::optional<QString>)> done)
{
    ask(timeoutMs, [done = std::move(done)](std::optional<Focus> focus) { done(selectionOf(focus)); });
}

std::optional<bool> focusedIsEditable(int timeoutMs)
{
    const std::optional<Focus> focus = Worker::instance().run(timeoutMs);
    if (!focus || !focus->found)
        return std::nullopt;
    return focus->editable;
}

QCoro::Task<FocusRead> readFocus(int timeoutMs)
{
    FocusAwaiter awaiter(timeoutMs);
    FocusRead read = co_await awaiter;
    co_return read;
}

int waiting()
{
    return gWaiting.load();
}

void followActiveWindow()
{
    if (gFollow.exchange(true))
        return;
    Worker::instance().wake();
}

std::optional<ActiveApplication> activeApplication()
{
    std::lock_guard lock(gActiveLock);
    return gActive;
}

} // namespace Accessibility
