#include "model/StoreIo.h"

#include "core/Log.h"

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

void StoreIo::schedule(const QString &key, std::chrono::milliseconds delay, std::function<bool()> job)
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
                             return true;
                         }});
    }
    wake_.notify_all();
}

void StoreIo::cancelAll()
{
    std::lock_guard lock(mutex_);
    jobs_.clear();
}

void StoreIo::flush()
{
    std::unique_lock lock(mutex_);
    const auto now = Clock::now();
    for (Job &j : jobs_)
        j.due = std::min(j.due, now);
    ++flushing_;
    wake_.notify_all();
    idle_.wait(lock, [&] { return jobs_.empty() && !running_; });
    --flushing_;
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
        if (stopping_ && jobs_.empty())
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
        lock.unlock();
        const bool done = job.work();
        lock.lock();
        running_ = false;
        if (!job.key.isEmpty())
            noteOutcome(job, done);
        job.work = nullptr; // release the copied list here, off the main thread
        idle_.notify_all();
    }
}

void StoreIo::noteOutcome(Job &job, bool done)
{
    if (done) {
        failing_.remove(job.key);
        return;
    }
    if (!failing_.contains(job.key)) {
        failing_.insert(job.key);
        Log::write(QStringLiteral("stockage: %1 non écrit, nouvel essai plus tard").arg(job.key));
    }
    const bool replaced = std::any_of(jobs_.begin(), jobs_.end(), [&](const Job &j) { return j.key == job.key; });
    if (replaced || flushing_ || stopping_)
        return;
    job.due = Clock::now() + kRetryDelay;
    job.sequence = ++sequence_;
    jobs_.push_back(std::move(job));
}
