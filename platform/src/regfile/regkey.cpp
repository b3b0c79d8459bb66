// Key paths and key reading shared by the .reg reader and writer and by the
// device's tools.
#include <handset/regfile.h>

#include <algorithm>
#include <array>
#include <cstdio>

#include <handset/wstring.h>

#include "regfile/regfile_internal.h"

namespace handset {

namespace {

struct RootName {
    std::string_view longName;
    std::string_view shortName;
    HKEY root;
};

const std::array<RootName, 3>& rootNames()
{
    static const std::array<RootName, 3> names{{
        {"HKEY_LOCAL_MACHINE", "HKLM", HKEY_LOCAL_MACHINE},
        {"HKEY_CURRENT_USER", "HKCU", HKEY_CURRENT_USER},
        {"HKEY_CLASSES_ROOT", "HKCR", HKEY_CLASSES_ROOT},
    }};
    return names;
}

// A value that is still too large after this many tries keeps growing
// faster than it can be read; give up rather than loop.
constexpr int kReadAttempts = 8;

bool equalsIgnoringAsciiCase(std::string_view a, std::string_view b)
{
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
               return lower(x) == lower(y);
           });
}

}  // namespace

namespace regfile_detail {

std::variant<RegKeyPath, std::string> parseKeyPath(std::string_view text)
{
    const std::size_t separator = text.find('\\');
    const std::string_view rootText = text.substr(0, separator);
    RegKeyPath key;
    for (const RootName& name : rootNames()) {
        if (equalsIgnoringAsciiCase(rootText, name.longName) || equalsIgnoringAsciiCase(rootText, name.shortName))
            key.root = name.root;
    }
    if (!key.root)
        return "unknown root key \"" + std::string(rootText) + "\" (use HKEY_LOCAL_MACHINE, HKEY_CURRENT_USER or HKEY_CLASSES_ROOT)";
    if (separator == std::string_view::npos)
        return key;

    std::string_view rest = text.substr(separator + 1);
    if (!rest.empty() && rest.back() == '\\')
        rest.remove_suffix(1);
    if (rest.empty())
        return key;
    if (!isValidUtf8(rest))
        return std::string("key name is not valid UTF-8");
    key.subKey = fromUtf8(rest);

    std::size_t start = 0;
    while (start <= key.subKey.size()) {
        std::size_t end = key.subKey.find(u'\\', start);
        if (end == std::u16string::npos)
            end = key.subKey.size();
        if (end == start)
            return std::string("empty key name in \"") + std::string(text) + "\"";
        if (end - start > MAX_KEY_NAME)
            return "key name longer than " + std::to_string(MAX_KEY_NAME) + " characters";
        if (key.subKey.find(u'\0', start) < end)
            return std::string("NUL character in a key name");
        start = end + 1;
    }
    return key;
}

bool isValidUtf8(std::string_view text)
{
    std::size_t i = 0;
    while (i < text.size()) {
        const auto lead = static_cast<unsigned char>(text[i]);
        int extra;
        char32_t c;
        if (lead < 0x80) {
            ++i;
            continue;
        } else if (lead >= 0xC2 && lead <= 0xDF) {
            extra = 1;
            c = lead & 0x1F;
        } else if (lead >= 0xE0 && lead <= 0xEF) {
            extra = 2;
            c = lead & 0x0F;
        } else if (lead >= 0xF0 && lead <= 0xF4) {
            extra = 3;
            c = lead & 0x07;
        } else {
            return false;
        }
        if (text.size() - i <= static_cast<std::size_t>(extra))
            return false;
        for (int k = 1; k <= extra; ++k) {
            const auto next = static_cast<unsigned char>(text[i + k]);
            if ((next & 0xC0) != 0x80)
                return false;
            c = (c << 6) | (next & 0x3F);
        }
        // Overlong forms, surrogates and code points past Unicode.
        if ((extra == 2 && c < 0x800) || (extra == 3 && c < 0x10000) || (c >= 0xD800 && c <= 0xDFFF) || c > 0x10FFFF)
            return false;
        i += extra + 1;
    }
    return true;
}

bool isValidUtf16(std::u16string_view text)
{
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char16_t c = text[i];
        if (c >= 0xD800 && c <= 0xDBFF) {
            if (i + 1 >= text.size() || text[i + 1] < 0xDC00 || text[i + 1] > 0xDFFF)
                return false;
            ++i;
        } else if (c >= 0xDC00 && c <= 0xDFFF) {
            return false;
        }
    }
    return true;
}

}  // namespace regfile_detail

std::optional<RegKeyPath> parseRegKeyPath(std::string_view text)
{
    auto parsed = regfile_detail::parseKeyPath(text);
    if (auto* key = std::get_if<RegKeyPath>(&parsed))
        return std::move(*key);
    return std::nullopt;
}

std::string_view regRootName(HKEY root)
{
    for (const RootName& name : rootNames()) {
        if (name.root == root)
            return name.longName;
    }
    return {};
}

std::string formatRegKeyPath(const RegKeyPath& key)
{
    std::string text(regRootName(key.root));
    if (!key.subKey.empty())
        text += '\\' + toUtf8(key.subKey);
    return text;
}

std::string regTypeName(DWORD type)
{
    switch (type) {
    case REG_NONE: return "REG_NONE";
    case REG_SZ: return "REG_SZ";
    case REG_EXPAND_SZ: return "REG_EXPAND_SZ";
    case REG_BINARY: return "REG_BINARY";
    case REG_DWORD: return "REG_DWORD";
    case REG_DWORD_BIG_ENDIAN: return "REG_DWORD_BIG_ENDIAN";
    case REG_LINK: return "REG_LINK";
    case REG_MULTI_SZ: return "REG_MULTI_SZ";
    case 8: return "REG_RESOURCE_LIST";
    case 9: return "REG_FULL_RESOURCE_DESCRIPTOR";
    case 10: return "REG_RESOURCE_REQUIREMENTS_LIST";
    case REG_QWORD: return "REG_QWORD";
    default: {
        char text[24];
        std::snprintf(text, sizeof text, "REG_0x%x", static_cast<unsigned>(type));
        return text;
    }
    }
}

LONG readRegKey(HKEY key, RegKeyContents& contents)
{
    contents = {};

    // The name buffers hold the longest names the registry allows, so only
    // the data buffer ever has to grow.
    std::vector<WCHAR> name(MAX_VALUE_NAME + 1);
    std::vector<BYTE> data(512);
    int attempts = 0;
    for (DWORD index = 0;;) {
        DWORD nameLength = static_cast<DWORD>(name.size());
        DWORD dataSize = static_cast<DWORD>(data.size());
        DWORD type = REG_NONE;
        const LONG rc = RegEnumValue(key, index, name.data(), &nameLength, nullptr, &type, data.data(), &dataSize);
        if (rc == ERROR_NO_MORE_ITEMS)
            break;
        if (rc == ERROR_MORE_DATA && ++attempts < kReadAttempts) {
            // The value may have grown since the size was reported; ask again.
            data.resize(std::max<std::size_t>(dataSize, data.size() * 2));
            continue;
        }
        if (rc != ERROR_SUCCESS)
            return rc;
        contents.values.push_back({std::u16string(name.data(), nameLength), type,
                                   std::vector<BYTE>(data.begin(), data.begin() + dataSize)});
        ++index;
        attempts = 0;
    }

    for (DWORD index = 0;; ++index) {
        DWORD nameLength = static_cast<DWORD>(name.size());
        const LONG rc = RegEnumKeyEx(key, index, name.data(), &nameLength, nullptr, nullptr, nullptr, nullptr);
        if (rc == ERROR_NO_MORE_ITEMS)
            break;
        if (rc != ERROR_SUCCESS)
            return rc;
        contents.subKeys.emplace_back(name.data(), nameLength);
    }
    return ERROR_SUCCESS;
}

LONG storedRegKeyPath(const RegKeyPath& key, RegKeyPath& stored)
{
    stored = {key.root, {}};
    HKEY current = key.root;
    std::vector<WCHAR> name(MAX_KEY_NAME + 1);
    LONG rc = ERROR_SUCCESS;
    std::size_t start = 0;
    while (rc == ERROR_SUCCESS && start < key.subKey.size()) {
        std::size_t end = key.subKey.find(u'\\', start);
        if (end == std::u16string::npos)
            end = key.subKey.size();
        const std::u16string wanted = foldCase(std::u16string_view(key.subKey).substr(start, end - start));
        start = end + 1;

        // Only the parent's enumeration tells the spelling the key was
        // created with.
        rc = ERROR_FILE_NOT_FOUND;
        for (DWORD index = 0;; ++index) {
            DWORD nameLength = static_cast<DWORD>(name.size());
            const LONG enumRc = RegEnumKeyEx(current, index, name.data(), &nameLength, nullptr, nullptr, nullptr, nullptr);
            if (enumRc != ERROR_SUCCESS) {
                if (enumRc != ERROR_NO_MORE_ITEMS)
                    rc = enumRc;
                break;
            }
            const std::u16string_view candidate(name.data(), nameLength);
            if (foldCase(candidate) == wanted) {
                if (!stored.subKey.empty())
                    stored.subKey += u'\\';
                stored.subKey += candidate;
                HKEY next = nullptr;
                rc = RegOpenKeyEx(current, std::u16string(candidate).c_str(), 0, KEY_READ, &next);
                if (current != key.root)
                    RegCloseKey(current);
                current = next;
                break;
            }
        }
    }
    if (current && current != key.root)
        RegCloseKey(current);
    return rc;
}

}  // namespace handset
