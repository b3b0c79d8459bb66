// The device's resident programs.
#include <handset/lifecycle.h>

namespace handset::lifecycle {

namespace {

constexpr ResidentProgram kResidentPrograms[] = {
    // The line devices and their calls; every telephony client needs it,
    // so it comes first.
    {"radio", "radio", Required::Yes},
    // The Today screen: it loads the Today items, Tolvane's among them, whose
    // window holds the call monitor.
    {"today", "today", Required::Yes},
    // The messaging host: it loads the SMS rule clients, Smeldry among them,
    // and announces every arriving text message. Optional, so that a build
    // without it still boots a phone that can take calls.
    {"inbox", "inbox", Required::No},
};

}  // namespace

std::span<const ResidentProgram> residentPrograms()
{
    return kResidentPrograms;
}

}  // namespace handset::lifecycle
