// The storage areas' side of fault injection.
#pragma once

#include <optional>

#include <handset/faults.h>

namespace handset::detail {

// Counts one storage step of `store`; returns the fault to report instead of
// running the step, when a test armed one for this step.
std::optional<faults::Fault> takeStorageStep(faults::Store store);

}  // namespace handset::detail
