#pragma once

#include "calls/MeetingRecorder.h"

#include <QByteArrayView>
#include <QMutex>
#include <QSemaphore>

#include <functional>
#include <memory>
#include <stdexcept>

// The meeting recorder's microphone as a test drives it: what the test feeds
// reaches the recorder's sink exactly, from any thread, while a capture runs.
struct FakeMeetingMic
{
    QMutex lock;
    std::function<void(QByteArrayView)> sink;
    std::function<void()> lost; // the running capture's onLost
    bool fails = false; // starting a capture throws
    int starts = 0;
    QSemaphore *hold = nullptr; // a start waits for it once counted

    // The source goes away: the running capture stops delivering and says so.
    void lose()
    {
        std::function<void()> tell;
        {
            QMutexLocker locker(&lock);
            sink = nullptr;
            tell = std::exchange(lost, nullptr);
        }
        if (tell)
            tell();
    }

    bool capturing()
    {
        QMutexLocker locker(&lock);
        return bool(sink);
    }

    // False when no capture runs.
    bool feed(QByteArrayView pcm)
    {
        QMutexLocker locker(&lock);
        if (!sink)
            return false;
        sink(pcm);
        return true;
    }

    // What MeetingServices::makeCapture gives: captures over `mic`.
    static std::function<std::unique_ptr<MeetingCapture>()> maker(std::shared_ptr<FakeMeetingMic> mic)
    {
        return [mic] { return std::make_unique<Capture>(mic); };
    }

private:
    class Capture final : public MeetingCapture
    {
    public:
        explicit Capture(std::shared_ptr<FakeMeetingMic> mic) : mic_(std::move(mic)) {}
        void start(std::function<void(QByteArrayView)> sink) override
        {
            QSemaphore *hold = nullptr;
            {
                QMutexLocker locker(&mic_->lock);
                ++mic_->starts;
                if (mic_->fails)
                    throw std::runtime_error("no source");
                hold = mic_->hold;
            }
            if (hold)
                hold->acquire();
            QMutexLocker locker(&mic_->lock);
            mic_->sink = std::move(sink);
            mic_->lost = onLost;
        }
        void stop() override
        {
            QMutexLocker locker(&mic_->lock);
            mic_->sink = nullptr;
            mic_->lost = nullptr;
        }

    private:
        std::shared_ptr<FakeMeetingMic> mic_;
    };
};
