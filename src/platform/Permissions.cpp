#include "platform/Permissions.h"

#include "platform/PulseContext.h"
#include "platform/X11Display.h"

namespace Permissions {

bool microphone(PulseContext &pulse)
{
    return pulse.hasInput(800);
}

bool accessibility()
{
    return X11::trusted();
}

bool systemAudio(PulseContext &pulse)
{
    return pulse.serverAnswers(800);
}

} // namespace Permissions
