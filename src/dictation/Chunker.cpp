#include "dictation/Chunker.h"

#include <QStringList>

Chunker::Chunker(QString tone, Work work)
    : tone_(std::move(tone))
    , work_(std::move(work))
{
}

void Chunker::start(QByteArray piece)
{
    // Tasks start at once and run on while the recording goes on.
    tasks_.push_back(std::make_shared<Piece>(Piece{work_(std::move(piece), tone_, cancelled_), std::nullopt}));
    ++taskCount_;
}

void Chunker::cut(qsizetype at, const Slice &slice)
{
    if (at - lastCut_ < kMinimumChunk)
        return;
    QByteArray piece = slice(lastCut_, at);
    lastCut_ = at;
    start(std::move(piece));
}

void Chunker::cancel()
{
    cancelled_->flag.store(true);
    cancelled_->requests->stop();
}

QCoro::Task<Chunker::Result> Chunker::finish(QByteArray pcm)
{
    if (lastCut_ < pcm.size()) {
        QByteArray tail = pcm.mid(lastCut_);
        lastCut_ = pcm.size();
        start(std::move(tail));
    }
    // Nothing of the chunker is touched after the first suspension.
    std::vector<std::shared_ptr<Piece>> tasks = std::move(tasks_);
    tasks_.clear();

    QStringList raws;
    QStringList cleans;
    for (const auto &task : tasks) {
        const Result piece = co_await outcome(task);
        if (!piece)
            co_return std::nullopt;
        if (piece->raw.isEmpty())
            continue;
        raws.append(piece->raw);
        cleans.append(piece->clean);
    }
    co_return ChunkText{raws.join(QLatin1Char(' ')), cleans.join(QLatin1Char(' '))};
}

QCoro::Task<Chunker::Result> Chunker::outcome(std::shared_ptr<Piece> piece)
{
    if (!piece->result)
        piece->result = co_await std::move(piece->task);
    // A copy: returning the stored value itself would move it out of the piece.
    Result copy = *piece->result;
    co_return copy;
}

QCoro::Task<> Chunker::settle()
{
    const std::vector<std::shared_ptr<Piece>> tasks = tasks_;
    for (const auto &task : tasks)
        co_await outcome(task);
}
