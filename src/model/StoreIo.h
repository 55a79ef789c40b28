#pragma once

#include <QHash>
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

    // A keyed job returns 0 when it is done, else the errno of its failure; it is
    // then tried again later (after a flush too, which does not drop it), unless a
    // newer job of its key replaced it.
    void schedule(const QString &key, std::chrono::milliseconds delay, std::function<int()> job);
    void post(std::function<void()> job);
    // Drops every job that has not started, and what failed with them.
    void cancelAll();
    // Makes every waiting job due now and blocks until each has run once.
    void flush();
    // Blocks until nothing is due and nothing runs.
    void waitUntilIdle();

    // Whether nothing of `key` waits, runs or failed: its last job is on disk.
    bool isSettled(const QString &key) const;
    // The keys whose last job failed and is still to be written, with its errno.
    QHash<QString, int> failing() const;
    // Told on the store's thread after every keyed job: its key, 0 or the errno,
    // and whether it is the first failure of that job (not a retry). Set before use.
    std::function<void(const QString &key, int error, bool firstFailure)> onOutcome;

private:
    struct Job
    {
        quint64 sequence;
        QString key;
        Clock::time_point due;
        std::function<int()> work;
        bool retry = false;
    };

    void run();
    // Called with the lock held.
    void noteOutcome(Job &job, int error);

    static constexpr auto kRetryDelay = std::chrono::seconds(5);

    mutable std::mutex mutex_;
    std::condition_variable wake_;
    std::condition_variable idle_;
    std::vector<Job> jobs_;
    QHash<QString, int> failing_;
    quint64 sequence_ = 0;
    bool running_ = false;
    QString runningKey_;
    bool stopping_ = false;
    std::thread thread_; // last: starts once the fields above exist
};
