// The device's message store as its messaging host sees it: opening the
// store object that rule clients are given, and filing an arriving message.
//
// The store is the SQLite file "cemail.vol" of the device. Its one folder is
// the inbox of text messages. A message holds PR_SENDER_EMAIL_ADDRESS (the
// sender as the network gave it), PR_SUBJECT (the text of the message),
// PR_MESSAGE_DELIVERY_TIME (the device clock, UTC, when it was filed) and
// PR_ENTRYID. Entry ids are 28 bytes: four zero flag bytes, the store's
// 16-byte identity, then the message's number (64 bits, little-endian).
#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

#include <handset/mapi.h>

namespace handset {

// Opens the device's message store; the caller releases *ppStore. The file
// is made when the device has none. MAPI_E_INVALID_PARAMETER for a null
// output, MAPI_E_CALL_FAILED when the file cannot be opened (*ppStore is
// null then).
HRESULT openMessageStore(IMsgStore** ppStore);

struct [[nodiscard]] FiledMessage {
    HRESULT hr = S_OK;           // MAPI_E_CALL_FAILED, MAPI_E_NOT_ENOUGH_MEMORY ... when not filed
    std::int64_t number = 0;     // the message's number in the store, from 1
    std::vector<BYTE> entryId;   // what OpenEntry takes

    bool ok() const { return SUCCEEDED(hr); }
};

// Files an arriving text message in the inbox, in one transaction: either
// the whole message is stored or nothing. Both texts are kept exactly as
// given, whatever characters they hold (NUL characters included).
FiledMessage fileMessage(std::u16string_view sender, std::u16string_view text);

}  // namespace handset
