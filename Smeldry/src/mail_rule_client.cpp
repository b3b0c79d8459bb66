#include "mail_rule_client.h"

#include <cstdio>
#include <new>

#include <handset/debug.h>
#include <handset/log.h>
#include <handset/pimstore.h>
#include <handset/wstring.h>

namespace smeldry {

namespace {

// Library-wide counts. Live objects keep the library loaded as much as
// locks do: a host that unloaded it under a living object would call into
// code that is gone.
std::atomic<LONG> gServerLocks{0};
std::atomic<LONG> gLiveObjects{0};

// The contacts application for one message, opened at its start and closed
// at its end. Without COM or the application object no contact matches.
class ContactsConnection {
public:
    ContactsConnection()
    {
        comInitialised_ = SUCCEEDED(CoInitializeEx(nullptr, COINIT_MULTITHREADED));
        if (!comInitialised_)
            return;
        if (FAILED(CoCreateInstance(CLSID_Application, nullptr, CLSCTX_INPROC_SERVER, IID_IPOutlookApp,
                                    reinterpret_cast<void**>(&app_))))
            app_ = nullptr;
        loggedOn_ = app_ && SUCCEEDED(app_->Logon(0));
    }
    ~ContactsConnection()
    {
        // Released and uninitialised whatever Logoff answers: the host runs
        // for months, and one object and one COM initialisation kept per
        // message would add up.
        if (app_) {
            app_->Logoff();
            app_->Release();
        }
        if (comInitialised_)
            CoUninitialize();
    }
    ContactsConnection(const ContactsConnection&) = delete;
    ContactsConnection& operator=(const ContactsConnection&) = delete;

    IPOutlookApp* app() const { return loggedOn_ ? app_ : nullptr; }

private:
    bool comInitialised_ = false;
    bool loggedOn_ = false;
    IPOutlookApp* app_ = nullptr;
};

// The property buffers and the message of one ProcessMessage, freed and
// released on every path.
struct MessageHold {
    IMessage* message = nullptr;
    LPSPropValue subject = nullptr;
    LPSPropValue sender = nullptr;

    MessageHold() = default;
    MessageHold(const MessageHold&) = delete;
    MessageHold& operator=(const MessageHold&) = delete;
    ~MessageHold()
    {
        if (subject)
            MAPIFreeBuffer(subject);
        if (sender)
            MAPIFreeBuffer(sender);
        if (message)
            message->Release();
    }
};

// Reads one string property. Anything but a Unicode string of that tag is a
// failure, so that a missing property (a PT_ERROR value with a warning) is
// never taken for a string.
HRESULT readString(IMessage* message, ULONG tag, LPSPropValue& value)
{
    SPropTagArray tags{1, {tag}};
    ULONG count = 0;
    LPSPropValue values = nullptr;
    const HRESULT hr = message->GetProps(&tags, MAPI_UNICODE, &count, &values);
    value = values;
    if (FAILED(hr))
        return hr;
    if (!values || count != 1)
        return MAPI_E_CALL_FAILED;
    if (PROP_TYPE(values->ulPropTag) == PT_ERROR)
        return FAILED(values->Value.err) ? values->Value.err : MAPI_E_NOT_FOUND;
    if (values->ulPropTag != tag || !values->Value.lpszW)
        return MAPI_E_CALL_FAILED;
    return hr;
}

}  // namespace

void trace(const char* text)
{
    OutputDebugString(handset::fromUtf8(text).c_str());
}

void traceCount(const char* format, LONG count)
{
    char text[64];
    std::snprintf(text, sizeof text, format, static_cast<int>(count));
    trace(text);
}

// --- CFactory ---------------------------------------------------------------

CFactory::CFactory() { ++gLiveObjects; }

CFactory::~CFactory() { --gLiveObjects; }

HRESULT CFactory::CreateInstance(IUnknown* outer, REFIID riid, void** ppv)
{
    if (outer) {
        if (ppv)
            *ppv = nullptr;
        return CLASS_E_NOAGGREGATION;
    }
    // A null output is answered by the new client itself (E_INVALIDARG).
    return handset::com::handOut(new (std::nothrow) CMailRuleClient, riid, ppv);
}

HRESULT CFactory::LockServer(BOOL lock)
{
    if (lock) {
        ++gServerLocks;
        return S_OK;
    }
    // One unlock too many must not leave the count below zero, where the
    // next lock would no longer keep the library loaded.
    LONG held = gServerLocks.load();
    while (held > 0 && !gServerLocks.compare_exchange_weak(held, held - 1)) {
    }
    return S_OK;
}

// --- CMailRuleClient --------------------------------------------------------

CMailRuleClient::CMailRuleClient() { ++gLiveObjects; }

CMailRuleClient::~CMailRuleClient() { --gLiveObjects; }

HRESULT CMailRuleClient::Initialize(IMsgStore* store, MRCACCESS* desired)
{
    if (!desired)
        return E_INVALIDARG;
    *desired = MRC_ACCESS_WRITE;
    return S_OK;
}

HRESULT CMailRuleClient::ProcessMessage(IMsgStore* store, ULONG cbMsg, LPENTRYID lpMsg, ULONG cbDestFolder,
                                        LPENTRYID lpDestFolder, ULONG* eventType, MRCHANDLED* handled)
{
    // The decision state is the object's; two messages at once would mix
    // one sender's tone with another's profile.
    const std::lock_guard<std::mutex> lock(processing_);
    const HRESULT hr = readAndDecide(store, cbMsg, lpMsg, handled);
    startPlayer(state_);
    return hr;
}

HRESULT CMailRuleClient::readAndDecide(IMsgStore* store, ULONG cbMsg, LPENTRYID lpMsg, MRCHANDLED* handled)
{
    MessageHold hold;

    // The message.
    if (!store) {
        trace("Unable to get the message!\r\n");
        return MAPI_E_INVALID_PARAMETER;
    }
    ULONG type = 0;
    LPUNKNOWN unknown = nullptr;
    HRESULT hr = store->OpenEntry(cbMsg, lpMsg, nullptr, 0, &type, &unknown);
    if (FAILED(hr) || !unknown || type != MAPI_MESSAGE) {
        if (unknown)
            unknown->Release();
        trace("Unable to get the message!\r\n");
        return FAILED(hr) ? hr : MAPI_E_INVALID_ENTRYID;
    }
    hold.message = static_cast<IMessage*>(unknown);

    // Its text, which only has to be there.
    if (hr = readString(hold.message, PR_SUBJECT, hold.subject); FAILED(hr)) {
        trace("Unable to get the message body!\r\n");
        return hr;
    }

    // Its sender.
    if (hr = readString(hold.message, PR_SENDER_EMAIL_ADDRESS, hold.sender); FAILED(hr)) {
        trace("Couldn't get the sender's address!\r\n");
        return hr;
    }

    // The decision, with a contacts connection of its own.
    const std::u16string key = lookupKey(hold.sender->Value.lpszW);
    settings::Explanation why;
    {
        const ContactsConnection contacts;
        decide(contacts.app(), key, state_, &why);
    }
    // Why the message sounds as it does, in the user's words, before the
    // player may empty the tone for a silent message.
    handset::logLine("why", settings::describe("sms", hold.sender->Value.lpszW, state_.tone,
                                               settings::toneFileMissing(state_.tone), why));
    if (handled)
        *handled = MRC_NOT_HANDLED;
    return hr;
}

DecisionState CMailRuleClient::decisionState()
{
    const std::lock_guard<std::mutex> lock(processing_);
    return state_;
}

// --- The library's exports ------------------------------------------------

HRESULT getClassObject(REFCLSID rclsid, REFIID riid, void** ppv)
{
    if (!IsEqualCLSID(rclsid, CLSID_SmsToneService)) {
        if (ppv)
            *ppv = nullptr;
        return CLASS_E_CLASSNOTAVAILABLE;
    }
    // A null output is answered by the new factory itself (E_INVALIDARG).
    return handset::com::handOut(new (std::nothrow) CFactory, riid, ppv);
}

HRESULT canUnloadNow()
{
    return gServerLocks.load() == 0 && gLiveObjects.load() == 0 ? S_OK : S_FALSE;
}

}  // namespace smeldry
