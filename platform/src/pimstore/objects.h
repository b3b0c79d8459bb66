// The contacts objects shared between the application object and the items.
#pragma once

#include <atomic>

#include <handset/pimstore.h>

namespace handset::pim {

// Reference counting for the platform's COM objects: atomic, as the call
// ring service releases items on the telephony thread.
template <typename Self>
class RefCounted {
protected:
    ULONG addRef() { return ++refs_; }
    ULONG release()
    {
        const ULONG left = --refs_;
        if (left == 0)
            delete static_cast<Self*>(this);
        return left;
    }

private:
    std::atomic<ULONG> refs_{1};
};

// Makes the object of contact `oid` (0: a new, unsaved contact) and returns
// its interface `riid` (IContact, IItem, IDispatch or IUnknown) in *ppv.
HRESULT newContactObject(CEOID oid, REFIID riid, void** ppv);

}  // namespace handset::pim
