// What the platform's areas share about the device beyond the public API.
#pragma once

#include <cstdint>

namespace handset::detail {

// Changes whenever the process switches to another device, so that areas
// holding a connection to the old one (the registry) reopen it.
std::uint64_t deviceGeneration();

}  // namespace handset::detail
