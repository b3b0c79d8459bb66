// Every registry value the settings library reads, planted with any type,
// size and content: each reader must take its fallback or read the value
// whole, never more than its buffer, never a crash.
#include <cstdint>
#include <string>

#include <handset/registry.h>

#include <settings/settings.h>

#include "fuzz_support.h"

namespace {

struct Slot {
    HKEY root;
    const WCHAR* key;
    const WCHAR* name;
};

// The values as the readers find them (the product key and the MIDI type).
const Slot kSlots[] = {
    {HKEY_CURRENT_USER, u"Software\\Quorrel\\Tonquil\\Profiles", u"currentProfile"},
    {HKEY_CURRENT_USER, u"Software\\Quorrel\\Tonquil\\Profiles", u"schedule"},
    {HKEY_CURRENT_USER, u"Software\\Quorrel\\Tonquil", u"InstallDir"},
    {HKEY_CURRENT_USER, u"Software\\Quorrel\\Tonquil\\Profiles\\0", u"callVolume"},
    {HKEY_CURRENT_USER, u"Software\\Quorrel\\Tonquil\\Profiles\\0", u"vibrateBeforeRing"},
    {HKEY_CURRENT_USER, u"Software\\Quorrel\\Tonquil\\Profiles\\3", u"displaySms"},
    {HKEY_CURRENT_USER, u"Software\\Quorrel\\Tonquil\\Profiles\\VIP", u"callVolume"},
    {HKEY_CURRENT_USER, u"Software\\Quorrel\\Tonquil\\Profiles\\VIP", u"vibrateBeforeRing"},
    {HKEY_CURRENT_USER, u"Software\\Quorrel\\Tonquil\\System\\KnownCaller", u"Ring Tone"},
    {HKEY_CURRENT_USER, u"Software\\Quorrel\\Tonquil\\System\\UnknownCaller", u"Sms Tone"},
    {HKEY_CURRENT_USER, u"Software\\Quorrel\\Tonquil\\System\\NoCallerId", u"Ring Tone"},
    {HKEY_CURRENT_USER, u"Software\\Quorrel\\Tonquil\\Categories\\Family", u"Ring Tone"},
    {HKEY_CURRENT_USER, u"Software\\Quorrel\\Tonquil\\Categories\\Family", u"Sms Tone"},
    {HKEY_CURRENT_USER, u"Software\\Quorrel\\Tonquil\\Categories\\Family", u"Priority"},
    {HKEY_CLASSES_ROOT, u"Media Type\\Extensions\\.mid", u""},
};
constexpr std::size_t kSlotCount = sizeof kSlots / sizeof kSlots[0];

const DWORD kTypes[] = {REG_SZ, REG_DWORD, REG_BINARY, REG_NONE, REG_MULTI_SZ, REG_EXPAND_SZ};

void plant(const Slot& slot, DWORD type, const std::string& bytes)
{
    HKEY key = nullptr;
    if (RegCreateKeyEx(slot.root, slot.key, 0, nullptr, 0, 0, nullptr, &key, nullptr) != ERROR_SUCCESS)
        return;
    (void)RegSetValueEx(key, slot.name, 0, type, reinterpret_cast<const BYTE*>(bytes.data()),
                        static_cast<DWORD>(bytes.size()));
    RegCloseKey(key);
}

void checkTone(const settings::TonePath& path)
{
    FUZZ_CHECK(path.size() < settings::kPathCapacity);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    fuzz::useScratchDevice();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    fuzz::Input in(data, size);
    // The defaults first, so that a planted value sits among sound ones.
    if (in.byte() & 1)
        settings::resetProfiles();
    for (int planted = 0; planted < 8 && !in.empty(); ++planted) {
        const Slot& slot = kSlots[in.byte() % kSlotCount];
        const std::uint8_t typeByte = in.byte();
        const DWORD type = typeByte < 0xF0 ? kTypes[typeByte % 6] : typeByte;  // now and then a type of no name
        plant(slot, type, in.bytes(2048));
    }

    const std::int32_t selector = settings::readCurrentProfile();
    (void)selector;
    for (std::int32_t index = -1; index <= settings::kProfileCount; ++index) {
        settings::ProfileRecord record;
        record.displaySms = 77;
        if (!settings::readProfile(index, record)) {
            // A failed read never reports success; what it did not read it
            // leaves alone, which the sentinel in the last field shows.
            FUZZ_CHECK(record.displaySms == 77);
        }
    }
    settings::ProfileRecord vip;
    (void)settings::readVipProfile(vip);

    settings::ScheduleEntry entries[settings::kMaxScheduleEntries + 1];
    for (std::uint32_t capacity : {0u, 3u, settings::kMaxScheduleEntries}) {
        std::uint32_t count = capacity;
        if (settings::readSchedule(entries, count))
            FUZZ_CHECK(count <= capacity);
        else
            FUZZ_CHECK(count == capacity);
    }
    for (WORD hour : {0, 7, 23}) {
        SYSTEMTIME now{};
        now.wHour = hour;
        now.wMinute = 59;
        (void)settings::profileInForce(now);
    }
    settings::ProfileRecord inForce;
    (void)settings::readProfileInForce(inForce);

    const std::u16string installDir = settings::readInstallDir();
    FUZZ_CHECK(!installDir.empty());
    FUZZ_CHECK(installDir.size() < settings::kPathCapacity);

    settings::TonePath path = u"sentinel";
    for (settings::CallerClass callerClass : {settings::KnownCaller, settings::UnknownCaller, settings::NoCallerId}) {
        settings::readClassRingTone(callerClass, path);
        checkTone(path);
        settings::readClassSmsTone(callerClass, path);
        checkTone(path);
    }
    settings::readCategoryRingTone(u"Family", path);
    checkTone(path);
    settings::readCategorySmsTone(u"Family", path);
    checkTone(path);
    (void)settings::readCategoryPriority(u"Family");
    (void)settings::isMidiRegistered();

    RegDeleteKey(HKEY_CURRENT_USER, u"Software");
    RegDeleteKey(HKEY_CLASSES_ROOT, u"Media Type");
    return 0;
}
