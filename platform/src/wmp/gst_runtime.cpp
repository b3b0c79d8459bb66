#include "wmp/gst_runtime.h"

#include <mutex>

#include <gst/gst.h>

namespace handset::wmp {

bool ensureGStreamer(std::string* why)
{
    // GStreamer is process-wide and cannot be started twice, so neither can
    // this; the outcome of the one start is kept for every later caller.
    static std::once_flag once;
    static bool started = false;
    static std::string failure;
    std::call_once(once, [] {
        GError* error = nullptr;
        started = gst_init_check(nullptr, nullptr, &error);
        if (!started)
            failure = error ? error->message : "GStreamer did not start";
        if (error)
            g_error_free(error);
    });
    if (!started && why)
        *why = failure;
    return started;
}

}  // namespace handset::wmp
