#pragma once

class PulseContext;

// The permissions that the program needs, as Linux grants them: there is no
// per-application prompt, so each one is "the service answers".
namespace Permissions {

// The sound server answers and knows a source that is not a monitor: without
// one, a capture would only hear what the computer plays.
bool microphone(PulseContext &pulse);

// Keys can be watched and posted: the X server has XTEST and XInput ≥ 2.2.
bool accessibility();

// Other applications' audio can be captured: the sound server answers.
bool systemAudio(PulseContext &pulse);

} // namespace Permissions
