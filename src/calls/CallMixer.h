#pragma once

#include <QHash>
#include <QList>
#include <QMutex>

#include <vector>

// Sums the captured streams of a call into blocks of one length. Streams push
// what they receive from any thread; the mixing thread takes one block at a
// time, and a stream that has nothing at that moment (stalled, ended, not yet
// started) adds silence. A stream that runs ahead keeps at most kMaxQueued
// samples: the oldest go first, so a drifting clock cannot build up a delay.
class CallMixer
{
public:
    static constexpr int kBlockSamples = 320;   // 20 ms at 16 kHz
    static constexpr int kMaxQueued = 16000;    // 1 s

    void push(quint32 stream, const float *samples, int count);
    // The stream is gone: what it queued is still mixed, then it is forgotten.
    void end(quint32 stream);
    // Sums the next kBlockSamples of every stream into `out`, clamped to ±1.
    // False when no stream added anything (the block is silence).
    bool mix(float *out);
    void clear();
    // Sound pushed between two clear() calls is one epoch. The *epoch calls
    // below take nothing once a clear() came since `epoch` was read, so that
    // work queued for one run never takes the sound of the next.
    quint64 epoch() const;
    // mix() of the next block.
    bool mixEpoch(quint64 epoch, float *out);
    // mix() of the next block only when every stream has a whole block.
    bool mixWholeEpoch(quint64 epoch, float *out);
    // Mixes every whole block queued now and clears, in one step.
    std::vector<float> takeRest(quint64 epoch);
    int streams() const;
    // The most a stream keeps (kMaxQueued by default); sound that is not real
    // time is mixed as it comes and keeps everything.
    void setMaxQueued(int samples);
    // Whole blocks that every queued stream can give now (0 without streams).
    int wholeBlocks() const;

private:
    struct Queue
    {
        std::vector<float> samples;
        size_t head = 0;
        bool ended = false;
        size_t available() const { return samples.size() - head; }
    };

    bool mixLocked(float *out);
    int wholeBlocksLocked() const;

    mutable QMutex lock_;
    quint64 epoch_ = 0;
    QHash<quint32, Queue> queues_;
    size_t maxQueued_ = kMaxQueued;
};
