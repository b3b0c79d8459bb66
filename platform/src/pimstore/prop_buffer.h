// Filling a caller's property buffer, as IItem::GetProps and
// CeReadRecordPropsEx both do: one CEPROPVAL per property, then the strings
// and blobs they point to.
#pragma once

#include <optional>
#include <span>

#include <handset/cedb.h>

#include "pimstore/contact_data.h"

namespace handset::pim {

// The bytes the properties need in a buffer. Each string or blob starts at
// an even offset, so that strings stay aligned for WCHAR.
std::size_t packedSize(std::span<const PropRead> props);

// Fills `buffer`, which holds at least packedSize(props) bytes and is
// aligned as a CEPROPVAL. A value whose stored form does not suit the
// property's type reads as not found.
void packProps(std::span<const PropRead> props, BYTE* buffer);

}  // namespace handset::pim
