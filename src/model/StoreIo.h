#pragma once

#include <QSet>
#include <QString>

#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

// The store's serial worker thread. Jobs run one at a time in order of due time (then
// of submission); a keyed job replaces a waiting job of the same key.
class StoreIo
{
public:
    using Clock = std::chrono::steady_clock;

    StoreIo();
    ~StoreIo();

    // A keyed job returns false when it failed; it is then tried again later, unless a
    // newer job of its key replaced it or a flush is running.
    void schedule(const QString &key, std::chrono::milliseconds delay, std::function<bool()> job);
    void post(std::function<void()> job);
    // Drops every job that has not started.
    void cancelAll();
    // Makes every waiting job due now and blocks until all have run.
    void flush();
    // Blocks until nothing is due and nothing runs.
    void waitUntilIdle();

private:
    struct Job
    {
        quint64 sequence;
        QString key;
        Clock::time_point due;
        std::function<bool()> work;
    };

    void run();
    // Called with the lock held.
    void noteOutcome(Job &job, bool done);

    static constexpr auto kRetryDelay = std::chrono::seconds(10);

    std::mutex mutex_;
    std::condition_variable wake_;
    std::condition_variable idle_;
    std::vector<Job> jobs_;
    QSet<QString> failing_;
    int flushing_ = 0;
    quint64 sequence_ = 0;
    bool running_ = false;
    bool stopping_ = false;
    std::thread thread_; // last: starts once the fields above exist
};
