#include "platform/Permissions.h"

#include "platform/X11Display.h"

#include <QDeadlineTimer>

#include <pulse/context.h>
#include <pulse/mainloop.h>

namespace Permissions {
namespace {

// Connects to the sound server and waits at most 800 ms for it to be ready.
bool soundServerAnswers()
{
    pa_mainloop *loop = pa_mainloop_new();
    if (!loop)
        return false;
    pa_context *context = pa_context_new(pa_mainloop_get_api(loop), "Ombry Voice");
    bool ready = false;
    if (context && pa_context_connect(context, nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr) >= 0) {
        QDeadlineTimer deadline(800);
        while (!deadline.hasExpired()) {
            const pa_context_state_t state = pa_context_get_state(context);
            if (state == PA_CONTEXT_READY) {
                ready = true;
                break;
            }
            if (!PA_CONTEXT_IS_GOOD(state))
                break;
            if (pa_mainloop_prepare(loop, 20000) < 0 || pa_mainloop_poll(loop) < 0 || pa_mainloop_dispatch(loop) < 0)
                break;
        }
        pa_context_disconnect(context);
    }
    if (context)
        pa_context_unref(context);
    pa_mainloop_free(loop);
    return ready;
}

} // namespace

bool microphone()
{
    return soundServerAnswers();
}

bool accessibility()
{
    return X11::trusted();
}

bool systemAudio()
{
    return soundServerAnswers();
}

} // namespace Permissions
