// What the vCard import shares with the contacts tools.
#pragma once

#include <handset/contacts_admin.h>

#include "pimstore/store.h"

namespace handset::contacts {

// A phone property that is not a phone number was given.
constexpr int kInvalidField = -2;

// Writes `fields` to contact `oid` (a new contact when 0) through the Store
// the caller holds, so that several contacts can share one transaction.
int saveFields(pim::Store& store, CEOID& oid, const ContactChanges& fields);

// The Win32 code of a saveFields result.
LONG adminResult(int rc);

}  // namespace handset::contacts
