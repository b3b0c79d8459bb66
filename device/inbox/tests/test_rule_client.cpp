// A mail rule client for the messaging host's tests, built as the phone's
// rule clients are: an in-process server whose client reads each message
// through the store it is given and traces what it read on the debug
// output.
#include <new>
#include <string>

#include <handset/debug.h>
#include <handset/loader.h>
#include <handset/mapi.h>
#include <handset/registry.h>

#include "com_test_objects.h"
#include "test_rule_client.h"

namespace {

using handset::testing::CountedFactory;
using handset::testing::CountedObject;

handset::testing::ServerCounts gCounts;

void trace(const std::u16string& text)
{
    OutputDebugString((text + u"\r\n").c_str());
}

bool readSetting(const char16_t* name, DWORD& value)
{
    HKEY key = nullptr;
    if (RegOpenKeyEx(HKEY_CURRENT_USER, kTestRuleClientKey, 0, KEY_READ, &key) != ERROR_SUCCESS)
        return false;
    DWORD type = 0, size = sizeof value;
    const bool read = RegQueryValueEx(key, name, nullptr, &type, reinterpret_cast<BYTE*>(&value), &size) ==
                          ERROR_SUCCESS &&
                      type == REG_DWORD;
    RegCloseKey(key);
    return read;
}

class RuleClient final : public CountedObject<IMailRuleClient, IID_IMailRuleClient> {
public:
    explicit RuleClient(bool failing) : CountedObject(gCounts), failing_(failing) {}
    ~RuleClient() override { trace(u"test rule client: deleted"); }

    HRESULT Initialize(IMsgStore*, MRCACCESS* access) override
    {
        if (failing_)
            return E_FAIL;
        trace(u"test rule client: initialised");
        *access = MRC_ACCESS_WRITE;
        return S_OK;
    }
    HRESULT ProcessMessage(IMsgStore* store, ULONG cbMsg, LPENTRYID lpMsg, ULONG, LPENTRYID, ULONG*,
                           MRCHANDLED* handled) override
    {
        ULONG type = 0;
        IUnknown* unknown = nullptr;
        HRESULT hr = store->OpenEntry(cbMsg, lpMsg, nullptr, 0, &type, &unknown);
        if (FAILED(hr)) {
            trace(u"test rule client: cannot open the message");
            return hr;
        }
        auto* message = static_cast<IMessage*>(unknown);
        struct {
            ULONG cValues;
            ULONG aulPropTag[2];
        } tags{2, {PR_SENDER_EMAIL_ADDRESS, PR_SUBJECT}};
        ULONG count = 0;
        LPSPropValue values = nullptr;
        hr = message->GetProps(reinterpret_cast<LPSPropTagArray>(&tags), MAPI_UNICODE, &count, &values);
        if (hr == S_OK && count == 2)
            trace(u"test rule client: message from " + std::u16string(values[0].Value.lpszW) + u": " +
                  values[1].Value.lpszW);
        else
            trace(u"test rule client: cannot read the message");
        MAPIFreeBuffer(values);
        message->Release();

        DWORD options = 0;
        if (readSetting(u"Options", options)) {
            HKEY key = nullptr;
            if (RegOpenKeyEx(HKEY_CURRENT_USER, kSmsNotificationClassKey, 0, KEY_ALL_ACCESS, &key) == ERROR_SUCCESS) {
                RegSetValueEx(key, u"Options", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&options), sizeof options);
                RegCloseKey(key);
            }
        }
        DWORD answer = MRC_NOT_HANDLED;
        readSetting(u"Handled", answer);
        *handled = static_cast<MRCHANDLED>(answer);
        return S_OK;
    }

private:
    bool failing_;
};

}  // namespace

extern "C" __attribute__((visibility("default"))) HRESULT DllGetClassObject(REFCLSID rclsid, REFIID riid, LPVOID* ppv)
{
    if (!ppv)
        return E_INVALIDARG;
    *ppv = nullptr;
    const bool failing = IsEqualCLSID(rclsid, CLSID_FailingRuleClient);
    if (!failing && !IsEqualCLSID(rclsid, CLSID_TestRuleClient))
        return CLASS_E_CLASSNOTAVAILABLE;
    const auto make = [failing] { return static_cast<IUnknown*>(new (std::nothrow) RuleClient(failing)); };
    return handset::com::handOut(new (std::nothrow) CountedFactory(gCounts, make), riid, ppv);
}

extern "C" __attribute__((visibility("default"))) HRESULT DllCanUnloadNow()
{
    return gCounts.canUnloadNow();
}
