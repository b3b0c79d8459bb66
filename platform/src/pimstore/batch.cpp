#include <handset/pimstore_batch.h>

#include "pimstore/results.h"
#include "pimstore/store.h"

namespace handset {

HRESULT PimApplyBatch(const std::function<HRESULT()>& work)
{
    // The store's lock is recursive and held for the whole batch, so the
    // writes `work` makes through the contacts interfaces nest in it as
    // savepoints of this transaction.
    pim::Store store;
    if (store.status() != SQLITE_OK)
        return pim::toHresult(store.status());
    const int begun = store.beginWrite();
    if (begun != SQLITE_OK)
        return pim::toHresult(store.endWrite(begun));
    const HRESULT hr = work();
    const int ended = store.endWrite(SUCCEEDED(hr) ? SQLITE_OK : SQLITE_ABORT);
    if (FAILED(hr))
        return hr;
    return pim::toHresult(ended);
}

}  // namespace handset
