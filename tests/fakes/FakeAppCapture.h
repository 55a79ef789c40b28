#pragma once

#include "platform/AppAudioCapture.h"

#include <QPointer>
#include <QTimer>

#include <QCoro/QCoroTimer>

#include <memory>
#include <vector>

// A capture that plays what the test hands it. Every instance made by a
// factory reports to one shared Board, so a test sees every capture of a run.
class FakeAppCapture final : public AppAudioCapture
{
public:
    struct Board
    {
        int made = 0;
        int active = 0;       // started and not stopped
        int setUpMs = 0;      // how long start() takes
        bool absent = false;  // start() finds no target
        QList<CaptureTarget> targets;
        FakeAppCapture *last = nullptr;
    };

    explicit FakeAppCapture(std::shared_ptr<Board> board) : board_(std::move(board))
    {
        ++board_->made;
        board_->last = this;
    }
    ~FakeAppCapture() override
    {
        stop();
        if (board_->last == this)
            board_->last = nullptr;
    }

    QCoro::Task<void> start(CaptureTarget target, Handlers handlers) override
    {
        board_->targets << target;
        handlers_ = std::move(handlers);
        stopped_ = false;
        ++board_->active;
        started_ = true;
        if (board_->setUpMs > 0) {
            QTimer timer;
            timer.setSingleShot(true);
            timer.start(board_->setUpMs);
            co_await timer;
        }
        if (board_->absent && !stopped_) {
            stop();
            throw TargetAbsent();
        }
    }
    void stop() override
    {
        if (started_ && !stopped_)
            --board_->active;
        stopped_ = true;
    }
    int streams() const override { return stopped_ ? 0 : 1; }

    // Plays `samples` as stream `stream` (as the sound thread would).
    void play(quint32 stream, const std::vector<float> &samples)
    {
        if (!stopped_ && handlers_.samples)
            handlers_.samples(stream, samples.data(), int(samples.size()));
    }
    void end(quint32 stream)
    {
        if (!stopped_ && handlers_.ended)
            handlers_.ended(stream);
    }
    // The server went away.
    void lose(const QString &description)
    {
        if (handlers_.stopped)
            handlers_.stopped(description);
    }
    bool stopped() const { return stopped_; }

private:
    std::shared_ptr<Board> board_;
    Handlers handlers_;
    bool started_ = false;
    bool stopped_ = false;
};
