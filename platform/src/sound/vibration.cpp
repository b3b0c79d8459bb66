#include "sound/vibration.h"

#include <cstdio>

#include <handset/log.h>

namespace handset::sound {

void Vibration::add(double start, double end)
{
    flush();
    pending_.emplace(start, end);
}

void Vibration::stopAt(double end)
{
    if (pending_) {
        if (pending_->first >= end)
            pending_.reset();
        else if (pending_->second > end)
            pending_->second = end;
    }
    flush();
}

void Vibration::flush()
{
    if (!pending_)
        return;
    char text[96];
    std::snprintf(text, sizeof text, ": start=%.3f s length=%.3f s", pending_->first,
                  pending_->second - pending_->first);
    logLine("vibrate", owner_ + text);
    pending_.reset();
}

}  // namespace handset::sound
