// Several registry calls applied as one transaction, or read as one.
//
// The phone has no such thing; the device's own tools need it so that an
// import or an installation that fails part-way leaves the registry exactly
// as it was. Registry calls made on this thread while a batch is open join
// it; other processes see all of it or none of it.
#pragma once

#include <functional>

#include <handset/registry.h>

namespace handset {

// Runs `work` inside one registry transaction. When `work` returns anything
// other than ERROR_SUCCESS, everything it wrote is rolled back and that code
// is returned; otherwise the batch is committed and its result returned.
[[nodiscard]] LONG RegApplyBatch(const std::function<LONG()>& work);

// Runs `work`'s registry reads on one snapshot of the registry, so that the
// values it reads together are consistent: what other processes commit
// meanwhile is not seen. It never waits for a writer. Inside a batch it is
// part of the batch; a write inside a snapshot fails with ERROR_CANTWRITE.
// Returns what `work` returns, or the code of a snapshot that could not be
// taken.
[[nodiscard]] LONG RegReadSnapshot(const std::function<LONG()>& work);

}  // namespace handset
