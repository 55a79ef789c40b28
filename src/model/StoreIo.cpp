#include "model/StoreIo.h"

#include <algorithm>

#include <pthread.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

StoreIo::StoreIo()
    : thread_([this] { run(); })
{
}

StoreIo::~StoreIo()
{
    flush();
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    wake_.notify_all();
    thread_.join();
}

void StoreIo::schedule(const QString &key, std::chrono::milliseconds delay, std::function<int()> job)
{
    {
        std::lock_guard lock(mutex_);
        std::erase_if(jobs_, [&](const Job &j) { return j.key == key; });
        jobs_.push_back({++sequence_, key, Clock::now() + delay, std::move(job)});
    }
    wake_.notify_all();
}

void StoreIo::post(std::function<void()> job)
{
    {
        std::lock_guard lock(mutex_);
        jobs_.push_back({++sequence_, QString(), Clock::now(), [job = std::move(job)] {
                             job();
                             return 0;
                         }});
    }
    wake_.notify_all();
}

void StoreIo::cancelAll()
{
    std::lock_guard lock(mutex_);
    jobs_.clear();
    failing_.clear();
}

bool StoreIo::isSettled(const QString &key) const
{
    std::lock_guard lock(mutex_);
    return !failing_.contains(key) && !(running_ && runningKey_ == key)
           && std::none_of(jobs_.begin(), jobs_.end(), [&](const Job &j) { return j.key == key; });
}

QHash<QString, int> StoreIo::failing() const
{
    std::lock_guard lock(mutex_);
    return failing_;
}

void StoreIo::flush()
{
    std::unique_lock lock(mutex_);
    const auto now = Clock::now();
    for (Job &j : jobs_)
        j.due = std::min(j.due, now);
    // A job that fails comes back under a newer sequence: the wait ends all the same.
    const quint64 last = sequence_;
    wake_.notify_all();
    idle_.wait(lock, [&] {
        return !running_ && std::none_of(jobs_.begin(), jobs_.end(), [&](const Job &j) { return j.sequence <= last; });
    });
}

void StoreIo::waitUntilIdle()
{
    std::unique_lock lock(mutex_);
    idle_.wait(lock, [&] {
        if (running_)
            return false;
        const auto now = Clock::now();
        return std::none_of(jobs_.begin(), jobs_.end(), [&](const Job &j) { return j.due <= now; });
    });
}

void StoreIo::run()
{
    pthread_setname_np(pthread_self(), "ombry.store.io");
    // A background utility: below the interface and the audio.
    setpriority(PRIO_PROCESS, pid_t(syscall(SYS_gettid)), 5);
    std::unique_lock lock(mutex_);
    for (;;) {
        // The destructor flushed first: what is left failed and cannot be written.
        if (stopping_)
            return;
        auto next = std::min_element(jobs_.begin(), jobs_.end(), [](const Job &a, const Job &b) {
            return a.due != b.due ? a.due < b.due : a.sequence < b.sequence;
        });
        if (next == jobs_.end()) {
            idle_.notify_all();
            wake_.wait(lock);
            continue;
        }
        if (next->due > Clock::now()) {
            idle_.notify_all();
            wake_.wait_until(lock, next->due);
            continue;
        }
        Job job = std::move(*next);
        jobs_.erase(next);
        running_ = true;
        runningKey_ = job.key;
        lock.unlock();
        const int error = job.work();
        const QString key = job.key;
        const bool firstFailure = error != 0 && !job.retry;
        lock.lock();
        running_ = false;
        if (!key.isEmpty())
            noteOutcome(job, error);
        job.work = nullptr; // release the copied list here, off the main thread
        // Told once failing() says the same: a store that reads it when told
        // neither misses this failure nor keeps one that was just written.
        if (!key.isEmpty() && onOutcome) {
            lock.unlock();
            onOutcome(key, error, firstFailure);
            lock.lock();
        }
        idle_.notify_all();
    }
}

void StoreIo::noteOutcome(Job &job, int error)
{
    if (!error) {
        failing_.remove(job.key);
        return;
    }
    const bool replaced = std::any_of(jobs_.begin(), jobs_.end(), [&](const Job &j) { return j.key == job.key; });
    failing_.insert(job.key, error);
    if (replaced || stopping_)
        return;
    job.due = Clock::now() + kRetryDelay;
    job.sequence = ++sequence_;
    job.retry = true;
    jobs_.push_back(std::move(job));
}
