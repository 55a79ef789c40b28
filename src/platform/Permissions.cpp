#include "platform/Permissions.h"

#include "platform/PulseContext.h"
#include "platform/X11Display.h"

namespace Permissions {

bool microphone()
{
    return Pulse::hasInput(800);
}

bool accessibility()
{
    return X11::trusted();
}

bool systemAudio()
{
    return Pulse::serverAnswers(800);
}

} // namespace Permissions
