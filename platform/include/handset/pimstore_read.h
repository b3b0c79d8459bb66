// Reads of the contacts volume that must see one state of it.
//
// PimReadEveryContact: the same properties of every contact, read in one
// pass. The phone has no such thing: a list of every contact opens each one and
// reads it with IItem::GetProps, two calls on the contacts volume per
// contact. A list of thousands of contacts at a program's start needs them
// read at once, with the values laid out exactly as GetProps lays them out.
#pragma once

#include <functional>

#include <handset/pimstore.h>

namespace handset {

// Calls `each` once per contact of the contacts folder, in the folder's
// order (that of IFolder::get_Items), with the contact's object id and
// `cProps` records filled as IItem::GetProps fills them: one per id asked
// for, in that order, then the strings and blobs they point to; a property
// the contact does not have, and a stream property, get CEDB_PROPNOTFOUND.
// The records are valid during the call only. Every contact is read in one
// snapshot, so a save by another program is seen whole or not at all.
// `each` runs while the volume is held for the read: it must not call the
// contacts interfaces, and other threads' calls wait for the read to end.
//
// S_OK when every contact was handed over (also when there is none); a
// failure `each` returns ends the read and is returned. E_INVALIDARG for
// null arguments, no properties or an application object of another kind;
// E_UNEXPECTED before Logon; a failed read as the contacts interfaces
// report it (HRESULT_FROM_WIN32(ERROR_WRITE_FAULT) for an I/O error), after
// `each` may have had some of the contacts.
[[nodiscard]] HRESULT PimReadEveryContact(IPOutlookApp* pPOOM, const CEPROPID* rgPropID, WORD cProps,
                                          const std::function<HRESULT(CEOID oid, const CEPROPVAL* values)>& each);

// Runs `work` on one snapshot of the contacts volume: every contacts call it
// makes sees the same state, and a save by another program is seen whole or
// not at all. It also spares each call a read transaction of its own, which
// is most of what looking up a caller costs. A save inside `work` fails
// with E_ACCESSDENIED, since the snapshot cannot become a write; other threads' contacts calls wait for `work` to end, so keep it
// short.
//
// What `work` returns; E_INVALIDARG for a null `work` or an application
// object of another kind; E_UNEXPECTED before Logon; a snapshot that cannot
// be begun as the contacts interfaces report a failed read.
[[nodiscard]] HRESULT PimReadSnapshot(IPOutlookApp* pPOOM, const std::function<HRESULT()>& work);

}  // namespace handset
