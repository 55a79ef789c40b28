#pragma once

#include <QByteArray>

#include <optional>

// Cuts a call's sound into segments at pauses. Buffers of 32-bit float samples
// (16 kHz mono) go in; a segment comes out as 16-bit PCM when its speech is
// followed by a pause or when it grows too long. Not thread-safe: one owner
// thread feeds it.
class CallSegmenter
{
public:
    static constexpr double kSampleRate = 16000.0;
    static constexpr float kVoiceLevel = 0.02f;   // a buffer whose peak is above is voiced
    static constexpr double kPauseSeconds = 0.7;
    static constexpr double kLongestSeconds = 14.0;
    static constexpr double kLongestWaitSeconds = 3.0;
    static constexpr qsizetype kShortestBytes = 16000; // this much or less is not sent

    // Appends one buffer; the segment it completes, if any.
    std::optional<QByteArray> feed(const float *samples, int count);
    // Ends the segment: its PCM when it holds speech and is long enough to send;
    // the state is empty afterwards either way.
    std::optional<QByteArray> flush();
    void reset();

    bool voiced() const { return voiced_; }
    qsizetype bytes() const { return segment_.size(); }

    // Converts into `out` (count × 2 bytes, s16le) and returns the peak of the
    // clamped samples.
    static float convert(const float *samples, int count, char *out);

private:
    QByteArray segment_;
    qint64 silentSamples_ = 0;
    bool voiced_ = false;
};
