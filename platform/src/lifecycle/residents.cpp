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
};

}  // namespace

std::span<const ResidentProgram> residentPrograms()
{
    return kResidentPrograms;
}

}  // namespace handset::lifecycle
