// Direct registry access for the settings tests: values are planted and
// inspected byte for byte, beside the settings operations under test.
#pragma once

#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <handset/registry.h>

namespace settings_test {

inline const std::u16string kProductKey = u"Software\\Quorrel\\Tonquil";

// Stores `size` bytes as they are, creating the key.
inline void setRaw(const std::u16string& path, const WCHAR* name, DWORD type, const void* data, DWORD size,
                   HKEY root = HKEY_CURRENT_USER)
{
    HKEY key = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyEx(root, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key,
                                            nullptr));
    EXPECT_EQ(ERROR_SUCCESS, RegSetValueEx(key, name, 0, type, static_cast<const BYTE*>(data), size));
    RegCloseKey(key);
}

inline void setDword(const std::u16string& path, const WCHAR* name, DWORD value, HKEY root = HKEY_CURRENT_USER)
{
    setRaw(path, name, REG_DWORD, &value, sizeof value, root);
}

inline void deleteValue(const std::u16string& path, const WCHAR* name)
{
    HKEY key = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyEx(HKEY_CURRENT_USER, path.c_str(), 0, KEY_ALL_ACCESS, &key));
    EXPECT_EQ(ERROR_SUCCESS, RegDeleteValue(key, name));
    RegCloseKey(key);
}

inline void setString(const std::u16string& path, const WCHAR* name, const std::u16string& text)
{
    setRaw(path, name, REG_SZ, text.c_str(), static_cast<DWORD>((text.size() + 1) * sizeof(WCHAR)));
}

struct RawValue {
    LONG rc = ERROR_SUCCESS;
    DWORD type = REG_NONE;
    std::vector<BYTE> data;
};

inline RawValue queryRaw(const std::u16string& path, const WCHAR* name)
{
    RawValue value;
    HKEY key = nullptr;
    value.rc = RegOpenKeyEx(HKEY_CURRENT_USER, path.c_str(), 0, KEY_READ, &key);
    if (value.rc != ERROR_SUCCESS)
        return value;
    DWORD size = 0;
    value.rc = RegQueryValueEx(key, name, nullptr, &value.type, nullptr, &size);
    if (value.rc == ERROR_SUCCESS) {
        value.data.resize(size);
        value.rc = RegQueryValueEx(key, name, nullptr, &value.type, value.data.data(), &size);
    }
    RegCloseKey(key);
    return value;
}

inline bool keyExists(const std::u16string& path, HKEY root = HKEY_CURRENT_USER)
{
    HKEY key = nullptr;
    if (RegOpenKeyEx(root, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS)
        return false;
    RegCloseKey(key);
    return true;
}

inline DWORD valueCount(const std::u16string& path)
{
    HKEY key = nullptr;
    DWORD count = 0xdeadbeef;
    if (RegOpenKeyEx(HKEY_CURRENT_USER, path.c_str(), 0, KEY_READ, &key) == ERROR_SUCCESS) {
        RegQueryInfoKey(key, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &count, nullptr, nullptr,
                        nullptr, nullptr);
        RegCloseKey(key);
    }
    return count;
}

// The bytes a REG_SZ holds for `text` with its terminator.
inline std::vector<BYTE> stringBytes(const std::u16string& text)
{
    const BYTE* begin = reinterpret_cast<const BYTE*>(text.c_str());
    return std::vector<BYTE>(begin, begin + (text.size() + 1) * sizeof(WCHAR));
}

// A device path of exactly `length` characters.
inline std::u16string pathOfLength(std::size_t length)
{
    std::u16string path = u"\\My Documents\\";
    path.resize(length, u'a');
    return path;
}

}  // namespace settings_test
