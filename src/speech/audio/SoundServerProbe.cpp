// SPDX-License-Identifier: GPL-3.0-or-later
#include "speech/audio/SoundServerProbe.h"

#include <pulse/context.h>
#include <pulse/mainloop.h>

bool soundServerAnswers()
{
    pa_mainloop *loop = pa_mainloop_new();
    if (!loop)
        return false;
    pa_context *context = pa_context_new(pa_mainloop_get_api(loop), "sayrella-probe");
    bool ready = false;
    // No autospawn: asking must not start a server behind the person's back.
    if (context && pa_context_connect(context, nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr) >= 0) {
        for (;;) {
            const pa_context_state_t state = pa_context_get_state(context);
            if (state == PA_CONTEXT_READY || state == PA_CONTEXT_FAILED || state == PA_CONTEXT_TERMINATED) {
                ready = state == PA_CONTEXT_READY;
                break;
            }
            if (pa_mainloop_iterate(loop, 1, nullptr) < 0)
                break;
        }
        pa_context_disconnect(context);
    }
    if (context)
        pa_context_unref(context);
    pa_mainloop_free(loop);
    return ready;
}
