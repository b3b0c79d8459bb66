// Smeldry's COM server: the class factory and the mail rule client that the
// messaging host creates once and calls for every arriving text message.
#pragma once

#include <mutex>

#include <handset/com_ptr.h>
#include <handset/mapi.h>

#include "sms_alert.h"

namespace smeldry {

// The one class the library serves; the installation package registers the
// library under the same id.
inline constexpr CLSID CLSID_SmsToneService = {0x6C1E2A90, 0x3B7D, 0x4E5F,
                                               {0x9A, 0x12, 0x7D, 0x4C, 0x0B, 0x8E, 0x5F, 0x31}};

// Writes one line on the debug channel; the second form puts `count` into
// `format` ("%d").
void trace(const char* text);
void traceCount(const char* format, LONG count);

// Reference counting for the library's classes: the platform's, with every
// change of the count traced on the debug channel as the phone's build of
// the service does (`Self::kCountTrace` with the new count, then
// `Self::kDeletedTrace` when the last reference went).
template <typename Self, typename Interface, const IID& kInterfaceId>
class TracedObject : public handset::com::Object<Interface, kInterfaceId> {
    using Object = handset::com::Object<Interface, kInterfaceId>;

public:
    // A null output gets E_INVALIDARG, the phone's own code for it, where the
    // platform's objects answer E_POINTER.
    HRESULT QueryInterface(REFIID riid, void** ppv) override
    {
        return ppv ? Object::QueryInterface(riid, ppv) : E_INVALIDARG;
    }
    ULONG AddRef() override
    {
        const ULONG count = Object::AddRef();
        traceCount(Self::kCountTrace, static_cast<LONG>(count));
        return count;
    }
    // The last release deletes the object; only static texts are used after it.
    ULONG Release() override
    {
        const ULONG count = Object::Release();
        traceCount(Self::kCountTrace, static_cast<LONG>(count));
        if (count == 0)
            trace(Self::kDeletedTrace);
        return count;
    }
};

class CFactory final : public TracedObject<CFactory, IClassFactory, IID_IClassFactory> {
public:
    static constexpr const char* kCountTrace = "Factory Reference is now %d\r\n";
    static constexpr const char* kDeletedTrace = "CFactory Deleted!\r\n";

    CFactory();

    // One new rule client, asked for `riid`; no aggregation.
    HRESULT CreateInstance(IUnknown* outer, REFIID riid, void** ppv) override;
    // Counts the library locked (non-zero) or unlocked once more; S_OK.
    HRESULT LockServer(BOOL lock) override;

private:
    ~CFactory() override;
};

class CMailRuleClient final : public TracedObject<CMailRuleClient, IMailRuleClient, IID_IMailRuleClient> {
public:
    static constexpr const char* kCountTrace = "CMailRuleClient reference is now %d\r\n";
    static constexpr const char* kDeletedTrace = "CMailRuleClient Deleted!\r\n";

    CMailRuleClient();

    // Asks for write access; the store is not kept. E_INVALIDARG for a null
    // output.
    HRESULT Initialize(IMsgStore* store, MRCACCESS* desired) override;
    // Alerts one message: decides tone and priority for its sender, sets
    // the phone's SMS notification and starts the player. The message is
    // left to the host (*handled MRC_NOT_HANDLED once it was read). A
    // message that cannot be read is alerted with the last decision and
    // the reading's error is returned, *handled untouched. Calls from
    // several threads are taken one at a time.
    HRESULT ProcessMessage(IMsgStore* store, ULONG cbMsg, LPENTRYID lpMsg, ULONG cbDestFolder,
                           LPENTRYID lpDestFolder, ULONG* eventType, MRCHANDLED* handled) override;

    // The decision of the last message, for tests.
    DecisionState decisionState();

private:
    ~CMailRuleClient() override;
    HRESULT readAndDecide(IMsgStore* store, ULONG cbMsg, LPENTRYID lpMsg, MRCHANDLED* handled);

    std::mutex processing_;
    DecisionState state_;
};

// The bodies of the library's two exports.
HRESULT getClassObject(REFCLSID rclsid, REFIID riid, void** ppv);
// S_OK only when no lock is held and no object of the library is alive.
HRESULT canUnloadNow();

}  // namespace smeldry
