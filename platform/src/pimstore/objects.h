// The contacts objects shared between the application object and the items.
#pragma once

#include <handset/com_ptr.h>
#include <handset/pimstore.h>

namespace handset::pim {

// Makes the object of contact `oid` (0: a new, unsaved contact) and returns
// its interface `riid` (IContact, IItem, IDispatch or IUnknown) in *ppv.
HRESULT newContactObject(CEOID oid, REFIID riid, void** ppv);

}  // namespace handset::pim
