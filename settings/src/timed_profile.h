// The step of an explicit profile choice that ends the timed profile, for
// the selector's writer to run in its own transaction.
#pragma once

namespace settings::detail {

// Deletes the timed profile's key; true when it is gone (or never was).
bool deleteTimedProfileKey();

}  // namespace settings::detail
