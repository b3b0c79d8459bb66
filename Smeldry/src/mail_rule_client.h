// Smeldry's COM server: the class factory and the mail rule client that the
// messaging host creates once and calls for every arriving text message.
#pragma once

#include <atomic>
#include <mutex>

#include <handset/com.h>
#include <handset/mapi.h>

#include "sms_alert.h"

namespace smeldry {

// The one class the library serves; the installation package registers the
// library under the same id.
inline constexpr CLSID CLSID_SmsToneService = {0x6C1E2A90, 0x3B7D, 0x4E5F,
                                               {0x9A, 0x12, 0x7D, 0x4C, 0x0B, 0x8E, 0x5F, 0x31}};

class CFactory final : public IClassFactory {
public:
    CFactory();
    CFactory(const CFactory&) = delete;
    CFactory& operator=(const CFactory&) = delete;

    // IUnknown and IClassFactory only; E_INVALIDARG for a null output.
    HRESULT QueryInterface(REFIID riid, void** ppv) override;
    ULONG AddRef() override;
    ULONG Release() override;
    // One new rule client, asked for `riid`; no aggregation.
    HRESULT CreateInstance(IUnknown* outer, REFIID riid, void** ppv) override;
    // Counts the library locked (non-zero) or unlocked once more; S_OK.
    HRESULT LockServer(BOOL lock) override;

private:
    ~CFactory();
    std::atomic<LONG> references_{1};
};

class CMailRuleClient final : public IMailRuleClient {
public:
    CMailRuleClient();
    CMailRuleClient(const CMailRuleClient&) = delete;
    CMailRuleClient& operator=(const CMailRuleClient&) = delete;

    // IUnknown and IMailRuleClient only; E_INVALIDARG for a null output.
    HRESULT QueryInterface(REFIID riid, void** ppv) override;
    ULONG AddRef() override;
    ULONG Release() override;
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
    ~CMailRuleClient();
    HRESULT readAndDecide(IMsgStore* store, ULONG cbMsg, LPENTRYID lpMsg, MRCHANDLED* handled);

    std::atomic<LONG> references_{1};
    std::mutex processing_;
    DecisionState state_;
};

// The bodies of the library's two exports.
HRESULT getClassObject(REFCLSID rclsid, REFIID riid, void** ppv);
// S_OK only when no lock is held and no object of the library is alive.
HRESULT canUnloadNow();

}  // namespace smeldry
