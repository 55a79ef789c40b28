#include "calls/CallSegmenter.h"

#include <QtEndian>

#include <algorithm>
#include <cmath>

float CallSegmenter::convert(const float *samples, int count, char *out)
{
    float peak = 0;
    for (int i = 0; i < count; ++i) {
        const float x = std::clamp(samples[i], -1.0f, 1.0f);
        peak = std::max(peak, std::fabs(x));
        // Truncation toward zero: 0.5 gives 16383.
        qToLittleEndian(qint16(x * 32767.0f), out + 2 * i);
    }
    return peak;
}

std::optional<QByteArray> CallSegmenter::feed(const float *samples, int count)
{
    if (count <= 0)
        return std::nullopt;
    const qsizetype at = segment_.size();
    segment_.resize(at + qsizetype(count) * 2);
    const float peak = convert(samples, count, segment_.data() + at);
    if (peak > kVoiceLevel) {
        voiced_ = true;
        silentSamples_ = 0;
    } else {
        silentSamples_ += count;
    }
    const double seconds = double(segment_.size() / 2) / kSampleRate;
    if (voiced_ && (double(silentSamples_) / kSampleRate > kPauseSeconds || seconds > kLongestSeconds))
        return flush();
    if (!voiced_ && seconds > kLongestWaitSeconds)
        segment_.clear();
    return std::nullopt;
}

std::optional<QByteArray> CallSegmenter::flush()
{
    std::optional<QByteArray> sent;
    if (voiced_ && segment_.size() > kShortestBytes)
        sent = segment_;
    reset();
    return sent;
}

void CallSegmenter::reset()
{
    segment_.clear();
    voiced_ = false;
    silentSamples_ = 0;
}
