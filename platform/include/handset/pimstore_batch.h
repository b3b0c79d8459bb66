// Several writes to the contacts applied as one transaction.
//
// The phone has no such thing; a restore of many contacts' settings needs it
// so that a failure part-way leaves every contact as it was. Contacts saved
// on this thread while the batch is open join it (each Save becomes a step
// that a failure undoes with the rest); other threads and processes wait for
// the batch and then see all of it or none of it.
#pragma once

#include <functional>

#include <handset/com.h>

namespace handset {

// Runs `work` inside one transaction of the contacts volume. When `work`
// returns a failure, everything written meanwhile is rolled back and that
// code is returned; otherwise the transaction is committed and S_OK, or the
// commit's failure, is returned.
[[nodiscard]] HRESULT PimApplyBatch(const std::function<HRESULT()>& work);

}  // namespace handset
