#include "calls/CallAudioQueue.h"

#include <QElapsedTimer>
#include <QSemaphore>
#include <QTimer>

#include <memory>

namespace {

// Pacing state, queue thread only.
struct Pace
{
    QElapsedTimer clock;
    qint64 delivered = 0;
    CallAudioQueue::BlockHandler handler;
};

} // namespace

CallAudioQueue::CallAudioQueue(QObject *parent) : QObject(parent)
{
    thread_.setObjectName(QStringLiteral("ombry.call.audio"));
    worker_ = new QObject;
    timer_ = new QTimer(worker_);
    timer_->setTimerType(Qt::PreciseTimer);
    timer_->setInterval(CallMixer::kBlockSamples * 1000 / 16000);
    worker_->moveToThread(&thread_);
    connect(&thread_, &QThread::finished, worker_, &QObject::deleteLater);
}

CallAudioQueue::~CallAudioQueue()
{
    thread_.quit();
    thread_.wait();
    // Never started: nothing on it deletes the worker.
    if (!thread_.isFinished())
        delete worker_;
}

void CallAudioQueue::post(std::function<void()> work)
{
    // The thread starts with the first work: most sessions translate no call.
    std::call_once(startOnce_, [this] { thread_.start(); });
    QMetaObject::invokeMethod(worker_, std::move(work), Qt::QueuedConnection);
}

void CallAudioQueue::startPacing(BlockHandler handler, quint64 epoch)
{
    post([this, handler = std::move(handler), epoch] {
        auto pace = std::make_shared<Pace>();
        pace->handler = handler;
        pace->clock.start();
        QObject::disconnect(timer_, &QTimer::timeout, nullptr, nullptr);
        connect(timer_, &QTimer::timeout, worker_, [this, pace, epoch] {
            const qint64 due = (pace->clock.elapsed() - kAllowanceMs) * 16000 / 1000 / CallMixer::kBlockSamples;
            float block[CallMixer::kBlockSamples];
            while (pace->delivered < due && timer_->isActive()) {
                if (!mixer_.mixEpoch(epoch, block)) {
                    timer_->stop();
                    break;
                }
                ++pace->delivered;
                pace->handler(block, CallMixer::kBlockSamples);
            }
        });
        timer_->start();
    });
}

void CallAudioQueue::stopPacing()
{
    post([this] {
        timer_->stop();
        QObject::disconnect(timer_, &QTimer::timeout, nullptr, nullptr);
    });
}

void CallAudioQueue::drain(BlockHandler handler, quint64 epoch)
{
    post([this, handler = std::move(handler), epoch] {
        float block[CallMixer::kBlockSamples];
        while (mixer_.mixWholeEpoch(epoch, block))
            handler(block, CallMixer::kBlockSamples);
    });
}

void CallAudioQueue::sync()
{
    if (QThread::currentThread() == &thread_)
        return;
    auto done = std::make_shared<QSemaphore>();
    post([done] { done->release(); });
    done->acquire();
}
