#include "calls/CallMixer.h"

#include <algorithm>
#include <cstdint>

void CallMixer::push(quint32 stream, const float *samples, int count)
{
    if (count <= 0)
        return;
    QMutexLocker locker(&lock_);
    Queue &queue = queues_[stream];
    queue.ended = false;
    // Compact now and then rather than on every block.
    if (queue.head > size_t(kBlockSamples) * 50) {
        queue.samples.erase(queue.samples.begin(), queue.samples.begin() + qsizetype(queue.head));
        queue.head = 0;
    }
    queue.samples.insert(queue.samples.end(), samples, samples + count);
    if (queue.available() > maxQueued_)
        queue.head = queue.samples.size() - maxQueued_;
}

void CallMixer::end(quint32 stream)
{
    QMutexLocker locker(&lock_);
    auto it = queues_.find(stream);
    if (it == queues_.end())
        return;
    if (it->available() == 0)
        queues_.erase(it);
    else
        it->ended = true;
}

bool CallMixer::mix(float *out)
{
    QMutexLocker locker(&lock_);
    return mixLocked(out);
}

bool CallMixer::mixLocked(float *out)
{
    std::fill(out, out + kBlockSamples, 0.0f);
    bool any = false;
    for (auto it = queues_.begin(); it != queues_.end();) {
        Queue &queue = *it;
        const size_t n = std::min(queue.available(), size_t(kBlockSamples));
        const float *from = queue.samples.data() + queue.head;
        for (size_t i = 0; i < n; ++i)
            out[i] += from[i];
        queue.head += n;
        any = any || n > 0;
        if (queue.available() == 0) {
            queue.samples.clear();
            queue.head = 0;
            if (queue.ended) {
                it = queues_.erase(it);
                continue;
            }
        }
        ++it;
    }
    if (any) {
        for (int i = 0; i < kBlockSamples; ++i)
            out[i] = std::clamp(out[i], -1.0f, 1.0f);
    }
    return any;
}

void CallMixer::clear()
{
    QMutexLocker locker(&lock_);
    queues_.clear();
    ++epoch_;
}

quint64 CallMixer::epoch() const
{
    QMutexLocker locker(&lock_);
    return epoch_;
}

bool CallMixer::mixEpoch(quint64 epoch, float *out)
{
    QMutexLocker locker(&lock_);
    if (epoch != epoch_)
        return false;
    mixLocked(out);
    return true;
}

bool CallMixer::mixWholeEpoch(quint64 epoch, float *out)
{
    QMutexLocker locker(&lock_);
    if (epoch != epoch_ || wholeBlocksLocked() == 0)
        return false;
    mixLocked(out);
    return true;
}

std::vector<float> CallMixer::takeRest(quint64 epoch)
{
    QMutexLocker locker(&lock_);
    if (epoch != epoch_)
        return {};
    std::vector<float> rest(size_t(wholeBlocksLocked()) * kBlockSamples);
    for (size_t at = 0; at < rest.size(); at += kBlockSamples)
        mixLocked(rest.data() + at);
    queues_.clear();
    ++epoch_;
    return rest;
}

int CallMixer::streams() const
{
    QMutexLocker locker(&lock_);
    return int(queues_.size());
}

int CallMixer::wholeBlocks() const
{
    QMutexLocker locker(&lock_);
    return wholeBlocksLocked();
}

int CallMixer::wholeBlocksLocked() const
{
    if (queues_.isEmpty())
        return 0;
    size_t least = SIZE_MAX;
    for (const Queue &queue : queues_)
        least = std::min(least, queue.available());
    return int(least / kBlockSamples);
}

void CallMixer::setMaxQueued(int samples)
{
    QMutexLocker locker(&lock_);
    maxQueued_ = size_t(std::max(samples, kBlockSamples));
}
