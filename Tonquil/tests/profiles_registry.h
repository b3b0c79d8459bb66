// Direct registry access for the profile and schedule tests: the stored
// schedule and profile values are planted and inspected as bytes, beside the
// settings operations the code under test goes through.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <handset/registry.h>
#include <settings/settings.h>

namespace profiles_test {

inline const std::u16string kProfilesKey = u"Software\\Quorrel\\Tonquil\\Profiles";

inline void setRaw(const std::u16string& path, const WCHAR* name, DWORD type, const void* data, DWORD size)
{
    HKEY key = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyEx(HKEY_CURRENT_USER, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS,
                                            nullptr, &key, nullptr));
    EXPECT_EQ(ERROR_SUCCESS, RegSetValueEx(key, name, 0, type, static_cast<const BYTE*>(data), size));
    RegCloseKey(key);
}

inline void setDword(const std::u16string& path, const WCHAR* name, DWORD value)
{
    setRaw(path, name, REG_DWORD, &value, sizeof value);
}

// The raw bytes of a value; `found` is false when the key or value is missing.
struct RawValue {
    bool found = false;
    DWORD type = REG_NONE;
    std::vector<BYTE> data;
};

inline RawValue queryRaw(const std::u16string& path, const WCHAR* name)
{
    RawValue value;
    HKEY key = nullptr;
    if (RegOpenKeyEx(HKEY_CURRENT_USER, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS)
        return value;
    DWORD size = 0;
    if (RegQueryValueEx(key, name, nullptr, &value.type, nullptr, &size) == ERROR_SUCCESS) {
        value.data.resize(size);
        value.found = RegQueryValueEx(key, name, nullptr, &value.type, value.data.data(), &size) == ERROR_SUCCESS;
    }
    RegCloseKey(key);
    return value;
}

inline void deleteKey(const std::u16string& path)
{
    RegDeleteKey(HKEY_CURRENT_USER, path.c_str());
}

// Stores entries as the schedule value, in the stored form (little-endian pairs).
inline void storeSchedule(const std::vector<settings::ScheduleEntry>& entries)
{
    std::vector<BYTE> bytes;
    for (const settings::ScheduleEntry& entry : entries) {
        for (std::uint32_t word : {entry.minutes, entry.profile}) {
            for (int shift = 0; shift < 32; shift += 8)
                bytes.push_back(static_cast<BYTE>(word >> shift));
        }
    }
    setRaw(kProfilesKey, u"schedule", REG_BINARY, bytes.data(), static_cast<DWORD>(bytes.size()));
}

// The stored schedule decoded from its bytes; a trailing partial entry is dropped.
inline std::vector<settings::ScheduleEntry> storedSchedule()
{
    const RawValue raw = queryRaw(kProfilesKey, u"schedule");
    std::vector<settings::ScheduleEntry> entries;
    auto word = [&](std::size_t at) {
        return std::uint32_t{raw.data[at]} | std::uint32_t{raw.data[at + 1]} << 8 |
               std::uint32_t{raw.data[at + 2]} << 16 | std::uint32_t{raw.data[at + 3]} << 24;
    };
    for (std::size_t at = 0; at + 8 <= raw.data.size(); at += 8)
        entries.push_back({word(at), word(at + 4)});
    return entries;
}

// `count` entries a quarter of an hour apart from midnight, cycling the profiles.
inline std::vector<settings::ScheduleEntry> quarterHourEntries(std::uint32_t count)
{
    std::vector<settings::ScheduleEntry> entries;
    for (std::uint32_t i = 0; i < count; ++i)
        entries.push_back({i * 15, i % 5});
    return entries;
}

}  // namespace profiles_test
