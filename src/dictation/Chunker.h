#pragma once

#include "dictation/DictationData.h"
#include "engines/Net.h"

#include <QByteArray>
#include <QString>
#include <qcoro/qcorotask.h>

#include <atomic>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

class AudioRecorder;

// The raw transcript of a stretch of speech and its cleaned text.
struct ChunkText
{
    QString raw;
    QString clean;
    bool operator==(const ChunkText &) const = default;
};

// Transcribes and cleans a long dictation while it is spoken: each time the
// recorder reports a pause far enough from the last cut, the new stretch is cut
// off and handed to a task of its own; at the end only the tail is left to do.
// Offsets are bytes of 16 kHz mono 16-bit PCM.
class Chunker
{
public:
    using Result = std::optional<ChunkText>;
    // Set once the dictation is cancelled; its requests under way are aborted then.
    struct Cancel
    {
        std::atomic_bool flag{false};
        std::shared_ptr<Net::Stop> requests = std::make_shared<Net::Stop>();
        bool load() const { return flag.load(); }
    };
    using Cancelled = std::shared_ptr<Cancel>;
    // The work on one piece: absent when it failed, two empty texts when it held
    // no usable speech. Runs on the main thread between its awaits.
    using Work = std::function<QCoro::Task<Result>(QByteArray pcm, QString tone, Cancelled cancelled)>;
    using Slice = std::function<QByteArray(qsizetype from, qsizetype to)>;

    // 96,000 bytes: 48,000 samples, 3.0 s.
    static constexpr qsizetype kMinimumChunk = 96000;

    Chunker(QString tone, Work work);

    void cut(qsizetype at, AudioRecorder &recorder);
    void cut(qsizetype at, const Slice &slice);

    // Cuts the tail of `pcm`, awaits every piece in cutting order and joins their
    // texts; absent as soon as one piece failed. The chunker may be destroyed
    // once this has started.
    QCoro::Task<Result> finish(QByteArray pcm);

    // Awaits every piece started so far, in order, keeping their results for
    // finish(). The chunker must live until it returns.
    QCoro::Task<> settle();

    // Cancels every piece (a cancelled recording): their requests under way are
    // aborted, not waited for nor billed. Main thread.
    void cancel();

    qsizetype lastCut() const { return lastCut_; }
    int taskCount() const { return taskCount_; }
    const QString &tone() const { return tone_; }

    // The work of one piece on `data`: speech check, gain, transcription,
    // dictionary corrections, then rewrite (four words or more) or basic clean-up.
    static QCoro::Task<Result> handle(DictationData data, QByteArray pcm, QString tone, Cancelled cancelled);
    // That work as the chunker runs it.
    static Work work(DictationData data);

private:
    void start(QByteArray piece);

    QString tone_;
    Work work_;
    qsizetype lastCut_ = 0;
    int taskCount_ = 0;
    struct Piece
    {
        QCoro::Task<Result> task;
        std::optional<Result> result;
    };
    static QCoro::Task<Result> outcome(std::shared_ptr<Piece> piece);
    std::vector<std::shared_ptr<Piece>> tasks_;
    Cancelled cancelled_ = std::make_shared<Cancel>();
};
