#pragma once

#include "platform/AppAudioCapture.h"

#include <memory>

class PulseContext;

// The capture through the sound server: one record stream per matching
// playback stream, attached to it alone (a monitor stream of that sink input),
// so the user keeps hearing the call exactly as before. Streams are followed
// through server events on `pulse`, which outlives the capture.
class PulseAppCapture final : public AppAudioCapture
{
public:
    explicit PulseAppCapture(PulseContext &pulse);
    ~PulseAppCapture() override;

    QCoro::Task<void> start(CaptureTarget target, Handlers handlers) override;
    void stop() override;
    int streams() const override;

    struct Run;

private:
    PulseContext &pulse_;
    std::shared_ptr<Run> run_;
};
