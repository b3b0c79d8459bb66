// A message store of the tests' own, which holds text messages in memory and
// answers OpenEntry and GetProps by the message store's rules
// (handset/mapi.h): a missing property is a PT_ERROR value with
// MAPI_W_ERRORS_RETURNED, buffers come from MAPIAllocateBuffer.
#pragma once

#include <atomic>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include <handset/mapi.h>

namespace smeldry::testing {

struct StoredMessage {
    std::optional<std::u16string> subject = u"Hello";
    std::optional<std::u16string> sender;  // may hold NUL characters: the reader sees up to the first
    HRESULT getPropsFails = S_OK;          // a failure code makes every GetProps answer it
};

class FakeMessage final : public IMessage {
public:
    explicit FakeMessage(const StoredMessage& stored, std::atomic<int>& alive) : stored_(stored), alive_(alive)
    {
        ++alive_;
    }

    HRESULT QueryInterface(REFIID riid, void** ppv) override
    {
        if (!ppv)
            return E_INVALIDARG;
        *ppv = nullptr;
        if (!IsEqualIID(riid, IID_IUnknown) && !IsEqualIID(riid, IID_IMAPIProp) && !IsEqualIID(riid, IID_IMessage))
            return E_NOINTERFACE;
        *ppv = static_cast<IMessage*>(this);
        AddRef();
        return S_OK;
    }
    ULONG AddRef() override { return ++references_; }
    ULONG Release() override
    {
        const ULONG count = --references_;
        if (count == 0) {
            --alive_;
            delete this;
        }
        return count;
    }

    HRESULT GetProps(LPSPropTagArray tags, ULONG flags, ULONG* count, LPSPropValue* values) override
    {
        if (!tags || !count || !values)
            return MAPI_E_INVALID_PARAMETER;
        *values = nullptr;
        *count = 0;
        if (FAILED(stored_.getPropsFails))
            return stored_.getPropsFails;
        if (!(flags & MAPI_UNICODE))
            return MAPI_E_NO_SUPPORT;
        LPSPropValue out = nullptr;
        if (FAILED(MAPIAllocateBuffer(static_cast<ULONG>(sizeof(SPropValue) * tags->cValues),
                                      reinterpret_cast<void**>(&out))))
            return MAPI_E_NOT_ENOUGH_MEMORY;
        HRESULT hr = S_OK;
        for (ULONG i = 0; i < tags->cValues; ++i) {
            const ULONG tag = tags->aulPropTag[i];
            const std::optional<std::u16string>* text = tag == PR_SUBJECT                ? &stored_.subject
                                                        : tag == PR_SENDER_EMAIL_ADDRESS ? &stored_.sender
                                                                                         : nullptr;
            if (!text || !*text) {
                out[i].ulPropTag = CHANGE_PROP_TYPE(tag, PT_ERROR);
                out[i].Value.err = MAPI_E_NOT_FOUND;
                hr = MAPI_W_ERRORS_RETURNED;
                continue;
            }
            const std::u16string& value = **text;
            void* copy = nullptr;
            MAPIAllocateMore(static_cast<ULONG>((value.size() + 1) * sizeof(char16_t)), out, &copy);
            std::memcpy(copy, value.c_str(), (value.size() + 1) * sizeof(char16_t));
            out[i].ulPropTag = tag;
            out[i].Value.lpszW = static_cast<LPWSTR>(copy);
        }
        *values = out;
        *count = tags->cValues;
        return hr;
    }

private:
    ~FakeMessage() = default;
    std::atomic<ULONG> references_{1};
    StoredMessage stored_;
    std::atomic<int>& alive_;
};

class FakeStore final : public IMsgStore {
public:
    // Keeps a message and returns its entry id.
    std::vector<BYTE> add(StoredMessage message)
    {
        messages_.push_back(std::move(message));
        std::vector<BYTE> id(8, 0);
        const std::uint32_t index = static_cast<std::uint32_t>(messages_.size() - 1);
        std::memcpy(id.data() + 4, &index, sizeof index);
        return id;
    }
    // An entry id that names no message.
    static std::vector<BYTE> unknownId() { return std::vector<BYTE>{0, 0, 0, 0, 0xff, 0xff, 0xff, 0x7f}; }

    // Messages opened and not yet released.
    int openMessages() const { return alive_.load(); }

    HRESULT QueryInterface(REFIID riid, void** ppv) override { return E_NOINTERFACE; }
    ULONG AddRef() override { return 2; }
    ULONG Release() override { return 1; }
    HRESULT GetProps(LPSPropTagArray, ULONG, ULONG*, LPSPropValue*) override { return MAPI_E_NO_SUPPORT; }

    HRESULT OpenEntry(ULONG cbEntryID, LPENTRYID lpEntryID, LPCIID lpInterface, ULONG ulFlags, ULONG* lpulObjType,
                      LPUNKNOWN* lppUnk) override
    {
        if (!lppUnk || !lpulObjType)
            return MAPI_E_INVALID_PARAMETER;
        *lppUnk = nullptr;
        if (cbEntryID != 8 || !lpEntryID)
            return MAPI_E_INVALID_ENTRYID;
        std::uint32_t index = 0;
        std::memcpy(&index, reinterpret_cast<const BYTE*>(lpEntryID) + 4, sizeof index);
        if (index >= messages_.size())
            return MAPI_E_NOT_FOUND;
        *lpulObjType = MAPI_MESSAGE;
        *lppUnk = new FakeMessage(messages_[index], alive_);
        return S_OK;
    }

private:
    std::vector<StoredMessage> messages_;
    std::atomic<int> alive_{0};
};

}  // namespace smeldry::testing
