#pragma once

#include <QList>
#include <QString>

#include <functional>
#include <optional>

struct pa_context;
struct pa_threaded_mainloop;

namespace Pulse {

struct Source
{
    quint32 index = 0;
    QString name;
    QString description;
    bool monitor = false; // replays what an output plays
};

struct Sources
{
    QList<Source> list;     // in the server's order
    QString defaultName;    // the server's default source; may be a monitor
};

} // namespace Pulse

// The process's one connection to the sound server, made by the root and
// handed to whatever talks to the server. Its event loop runs on the thread
// "ombry.audio": every stream callback of the recorders runs there, with the
// loop lock held. Blocking calls (connect, queries) wait with a deadline so
// that a sound server that stops answering never hangs the caller. It must
// outlive every stream and query made on it.
class PulseContext
{
public:
    PulseContext();
    ~PulseContext();
    PulseContext(const PulseContext &) = delete;
    PulseContext &operator=(const PulseContext &) = delete;

    // Holds the loop lock for a scope; does nothing on the loop's own thread,
    // where the lock is already held by the callback that runs.
    class Locker
    {
    public:
        explicit Locker(PulseContext &pulse);
        ~Locker();
        Locker(const Locker &) = delete;
        Locker &operator=(const Locker &) = delete;

    private:
        pa_threaded_mainloop *loop_ = nullptr;
    };

    // With the lock held: the connected context, connecting first when needed
    // (at most `timeoutMs`); null when the server does not answer. Not usable on
    // the loop thread for a first connection (nothing would run the handshake).
    pa_context *connectedLocked(int timeoutMs = 2000);

    // With the lock held: runs the loop until `done()` holds or `timeoutMs`
    // passes; true when done. Callbacks that change what `done` reads call
    // signal(). On the loop thread it cannot wait and only tests `done`.
    bool waitLocked(const std::function<bool()> &done, int timeoutMs);

    // Wakes every waitLocked (from a callback, lock held).
    void signal();

    bool inLoopThread() const;
    pa_threaded_mainloop *loop() const { return loop_; }

    // Description of the context's last error ("Connection refused", …).
    QString lastError() const;

    // Server events (pa_subscription_event_type_t facility | type, object
    // index), delivered on the loop thread with the lock held. Several owners
    // listen at once; the server is asked for the union of their masks, also
    // again after a reconnection.
    using Listener = std::function<void(unsigned event, quint32 index)>;
    // With the lock held; `mask` is a pa_subscription_mask_t. Returns an id.
    int addListenerLocked(unsigned mask, Listener listener);
    void removeListenerLocked(int id);
    // Hands one server event to the listeners (loop thread).
    void dispatchLocked(unsigned event, quint32 index);

    // True when the sound server answers within `timeoutMs`.
    bool serverAnswers(int timeoutMs = 1000);

    // The server's sources and its default; none when the server does not answer
    // within `timeoutMs`. Not on the loop thread.
    std::optional<Pulse::Sources> sources(int timeoutMs = 2000);

    // True when the server answers and has a source that is not a monitor: on Linux
    // this stands for the microphone permission.
    bool hasInput(int timeoutMs = 1000);

    // Calls `changed` (on the loop thread: it must only post the news elsewhere)
    // whenever a source or the server's default changes. Connects first when
    // needed; call it again after a failure or a reconnection (harmless when
    // already watching). False when the server does not answer. Not on the loop
    // thread.
    bool watchSources(std::function<void()> changed, int timeoutMs = 2000);

private:
    struct Subscriber
    {
        int id;
        unsigned mask;
        Listener listener;
    };
    void subscribeLocked();

    pa_threaded_mainloop *loop_ = nullptr;
    pa_context *context_ = nullptr;
    int lastErrno_ = 0;
    QList<Subscriber> subscribers_;
    int nextSubscriber_ = 1;
    unsigned subscribedMask_ = 0;
    // Guarded by the loop lock.
    int sourcesListener_ = 0;
    std::function<void()> sourcesChanged_;
};

