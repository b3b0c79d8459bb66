// The caller ID as the radio reports it, through the call's ring decision
// and the writing of the phone's ring settings, against a contacts volume
// whose contact (number, tone, category, priority) and profile in force the
// input may also choose.
#include <cstdint>
#include <string>

#include <handset/com.h>
#include <handset/contacts_admin.h>
#include <handset/pimstore.h>
#include <handset/registry.h>

#include <settings/caller.h>
#include <settings/settings.h>

#include "fuzz_support.h"
#include "ring_settings.h"

namespace contacts = handset::contacts;

namespace {

IPOutlookApp* app = nullptr;
CEOID stranger = 0;  // the contact the input rewrites

// A REG_SZ of the phone's ring keys, or nothing when it is not one.
std::u16string readPhoneString(const WCHAR* path, const WCHAR* name)
{
    HKEY key = nullptr;
    if (RegOpenKeyEx(HKEY_CURRENT_USER, path, 0, 0, &key) != ERROR_SUCCESS)
        return {};
    WCHAR text[1024];
    DWORD type = 0, cb = sizeof text;
    const LONG rc = RegQueryValueEx(key, name, nullptr, &type, reinterpret_cast<BYTE*>(text), &cb);
    RegCloseKey(key);
    if (rc != ERROR_SUCCESS || type != REG_SZ || cb < 2)
        return {};
    return std::u16string(text, cb / 2 - 1);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    fuzz::useFactoryDevice();
    settings::resetProfiles();
    settings::writeClassRingTone(settings::KnownCaller, u"\\Windows\\Ring.wav");
    settings::writeClassRingTone(settings::UnknownCaller, u"\\Windows\\Alert.wav");
    settings::writeCategoryRingTone(u"Family", u"\\Windows\\Chimes.mp3");
    settings::writeCategoryPriority(u"Family", settings::PriorityVip);

    contacts::ContactChanges known;
    known.lastName = u"Known";
    known.phones = {{PIMPR_MOBILE_TELEPHONE_NUMBER, u"+44 20 7946 0018"}, {PIMPR_HOME_TELEPHONE_NUMBER, u"5550123"}};
    known.categories = u"Family,Work";
    FUZZ_CHECK(contacts::addContact(known) == ERROR_SUCCESS);
    contacts::ContactChanges other;
    other.lastName = u"Stranger";
    other.phones = {{PIMPR_MOBILE_TELEPHONE_NUMBER, u"0123456789"}};
    FUZZ_CHECK(contacts::addContact(other, &stranger) == ERROR_SUCCESS);

    FUZZ_CHECK(CoInitializeEx(nullptr, COINIT_MULTITHREADED) == S_OK);
    FUZZ_CHECK(CoCreateInstance(CLSID_Application, nullptr, CLSCTX_INPROC_SERVER, IID_IPOutlookApp,
                                reinterpret_cast<void**>(&app)) == S_OK);
    FUZZ_CHECK(app->Logon(0) == S_OK);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    fuzz::Input in(data, size);
    const std::uint8_t flags = in.byte();
    if (flags & 1) {
        contacts::ContactChanges changes;
        changes.phones = {{PIMPR_MOBILE_TELEPHONE_NUMBER, in.units(64)}};
        changes.ringTone = in.units(400);
        changes.categories = in.units(80);
        changes.priority = in.u16();
        // A number the contacts tools refuse is no finding; the call goes on.
        (void)contacts::setContact(stranger, changes);
    }
    if (flags & 2) {
        settings::ProfileRecord record;
        record.index = in.byte() % settings::kProfileCount;
        std::int32_t* fields[] = {&record.callVolume, &record.smsVolume, &record.vibrateCall,
                                  &record.vibrateSms, &record.announceIncomingCall, &record.increasingRing,
                                  &record.vibrateBeforeRing, &record.displaySms};
        for (std::int32_t* field : fields)
            *field = static_cast<std::int32_t>(in.u32());
        FUZZ_CHECK(settings::writeProfile(record));
        settings::writeCurrentProfile(record.index);
    }
    const std::u16string callerId = in.units(4096);

    const settings::RingDecision decision = settings::resolveCallRing(app, callerId.c_str());
    FUZZ_CHECK(decision.tone.size() < settings::kPathCapacity);
    if (decision.mute)
        FUZZ_CHECK(decision.profile == settings::ProfileRecord{});
    FUZZ_CHECK(tolvane::buildRingScript(decision.profile, decision.mute).size() <= 255);

    tolvane::applyRingSettings(app, callerId.c_str());
    FUZZ_CHECK(readPhoneString(u"ControlPanel\\Sounds\\RingTone0", u"Script").size() <= 255);
    FUZZ_CHECK(readPhoneString(u"ControlPanel\\Sounds\\RingTone0", u"Sound").size() < settings::kPathCapacity);

    // Back to the state every input starts from.
    if (flags & 1) {
        contacts::ContactChanges original;
        original.phones = {{PIMPR_MOBILE_TELEPHONE_NUMBER, u"0123456789"}};
        original.ringTone = u"";
        original.categories = u"";
        original.priority = 0;
        FUZZ_CHECK(contacts::setContact(stranger, original) == ERROR_SUCCESS);
    }
    if (flags & 2)
        settings::resetProfiles();
    return 0;
}
