#pragma once

#include "calls/CallMixer.h"

#include <QObject>
#include <QThread>

#include <functional>
#include <mutex>

class QTimer;

// The serial capture queue "ombry.call.audio": a thread of its own on which the
// mixed call sound is delivered in blocks and segmented. While pacing, a 20 ms
// timer takes one block from the mixer per 20 ms of the monotonic clock (with a
// short allowance for the sound server's delivery), so that a stream that stalls
// or ends turns into silence on time. While not pacing the thread sleeps.
class CallAudioQueue : public QObject
{
    Q_OBJECT

public:
    using BlockHandler = std::function<void(const float *block, int count)>;
    static constexpr int kAllowanceMs = 120;

    explicit CallAudioQueue(QObject *parent = nullptr);
    ~CallAudioQueue() override;

    CallMixer &mixer() { return mixer_; }
    // Runs `work` on the queue after everything posted before it.
    void post(std::function<void()> work);
    // Starts or stops the paced delivery of mixed blocks to `handler` (queue
    // thread); the pacing ends by itself once the mixer leaves `epoch`.
    void startPacing(BlockHandler handler, quint64 epoch);
    void stopPacing();
    // Mixes and delivers, on the queue, every whole block of `epoch` the mixer
    // holds then (unpaced delivery, for sound that is not real time).
    void drain(BlockHandler handler, quint64 epoch);
    // Waits until everything posted so far has run (not on the queue itself).
    void sync();
    QThread *thread() { return &thread_; }

private:
    QThread thread_;
    std::once_flag startOnce_;
    QObject *worker_ = nullptr; // lives on thread_
    QTimer *timer_ = nullptr;   // lives on thread_
    CallMixer mixer_;
};
