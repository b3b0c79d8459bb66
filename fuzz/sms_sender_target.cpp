// The sender address of a text message, as the messaging host hands it to
// the SMS tone service: the lookup key made from it, the five-character
// match against stored numbers, and the contact search on a contacts volume.
#include <cstdint>
#include <string>

#include <handset/com.h>
#include <handset/contacts_admin.h>
#include <handset/pimstore.h>

#include "fuzz_support.h"
#include "sms_alert.h"

namespace {

IPOutlookApp* app = nullptr;

const std::u16string kStored[] = {u"+44 20 7946 0018", u"0151 2345678", u"12345", u"(555) 01-99"};

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    fuzz::useFactoryDevice();
    for (const std::u16string& number : kStored) {
        handset::contacts::ContactChanges contact;
        contact.lastName = u"Sender";
        contact.phones = {{PIMPR_MOBILE_TELEPHONE_NUMBER, number}};
        contact.smsTone = u"\\Windows\\Alert.wav";
        FUZZ_CHECK(handset::contacts::addContact(contact) == ERROR_SUCCESS);
    }
    FUZZ_CHECK(CoInitializeEx(nullptr, COINIT_MULTITHREADED) == S_OK);
    FUZZ_CHECK(CoCreateInstance(CLSID_Application, nullptr, CLSCTX_INPROC_SERVER, IID_IPOutlookApp,
                                reinterpret_cast<void**>(&app)) == S_OK);
    FUZZ_CHECK(app->Logon(0) == S_OK);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size > 8192)
        return 0;
    const std::u16string address = fuzz::unitsOf({reinterpret_cast<const char*>(data), size});
    const std::u16string key = smeldry::lookupKey(address);
    // The key is a piece of the address, never more.
    FUZZ_CHECK(key.size() <= address.size());
    for (const std::u16string& number : kStored)
        (void)smeldry::senderMatches(key, number);
    if (IItem* contact = smeldry::findSenderContact(app, key))
        contact->Release();
    return 0;
}
