#include "store.h"

#include <algorithm>
#include <limits>

#include <handset/registry_batch.h>

#include <settings/settings.h>

namespace settings::detail {

namespace {

// One read into `data`; `size` is the buffer's size on entry and the
// value's on success.
bool queryValue(const Key& key, const WCHAR* name, DWORD& type, void* data, DWORD& size)
{
    return key && RegQueryValueEx(key.get(), name, nullptr, &type, static_cast<LPBYTE>(data), &size) ==
                      ERROR_SUCCESS;
}

// Stores exactly `size` bytes. A size beyond what a registry value can hold
// is refused rather than cut.
bool setValue(const Key& key, const WCHAR* name, DWORD type, const void* data, std::size_t size)
{
    if (!key || size > std::numeric_limits<DWORD>::max())
        return false;
    return RegSetValueEx(key.get(), name, 0, type, static_cast<const BYTE*>(data), static_cast<DWORD>(size)) ==
           ERROR_SUCCESS;
}

}  // namespace

std::u16string subKeyPath(std::u16string_view parent, std::u16string_view child)
{
    std::u16string path(parent);
    path += u'\\';
    path += child;
    return path;
}

Key openKey(HKEY root, const std::u16string& path)
{
    Key key;
    if (RegOpenKeyEx(root, path.c_str(), 0, KEY_READ, key.out()) != ERROR_SUCCESS)
        return Key();
    return key;
}

Key createKey(HKEY root, const std::u16string& path, bool* created)
{
    Key key;
    DWORD disposition = 0;
    if (RegCreateKeyEx(root, path.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS, nullptr,
                       key.out(), &disposition) != ERROR_SUCCESS)
        return Key();
    if (created)
        *created = disposition == REG_CREATED_NEW_KEY;
    return key;
}

std::optional<DWORD> readDword(const Key& key, const WCHAR* name)
{
    DWORD value = 0;
    DWORD type = REG_NONE;
    DWORD size = sizeof value;
    if (!queryValue(key, name, type, &value, size))
        return std::nullopt;
    // A shorter value would leave part of the number unread.
    if (type != REG_DWORD || size != sizeof value)
        return std::nullopt;
    return value;
}

std::optional<std::u16string> readString(const Key& key, const WCHAR* name)
{
    WCHAR buffer[kPathCapacity];
    DWORD type = REG_NONE;
    DWORD size = sizeof buffer;
    // A value larger than the buffer fails with ERROR_MORE_DATA and counts as
    // not set: the system's path buffers could not hold it either.
    if (!queryValue(key, name, type, buffer, size))
        return std::nullopt;
    if (type != REG_SZ)
        return std::nullopt;
    // Only the bytes the registry returned are looked at; an odd last byte
    // is no character.
    const WCHAR* begin = buffer;
    const WCHAR* end = begin + size / sizeof(WCHAR);
    const WCHAR* terminator = std::find(begin, end, u'\0');
    // Without a terminator the text has to leave room for one, as it would
    // in any path buffer of the system.
    if (terminator == begin + kPathCapacity)
        return std::nullopt;
    return std::u16string(begin, terminator);
}

std::optional<std::vector<BYTE>> readBinary(const Key& key, const WCHAR* name, DWORD capacity)
{
    // One byte more than asked for keeps the buffer non-null even for a
    // capacity of 0: a null buffer would turn the read into a size query.
    std::vector<BYTE> data(std::size_t{capacity} + 1);
    DWORD type = REG_NONE;
    DWORD size = capacity;
    if (!queryValue(key, name, type, data.data(), size))
        return std::nullopt;
    if (type != REG_BINARY || size > capacity)
        return std::nullopt;
    data.resize(size);
    return data;
}

bool writeDword(const Key& key, const WCHAR* name, DWORD value)
{
    return setValue(key, name, REG_DWORD, &value, sizeof value);
}

bool writeString(const Key& key, const WCHAR* name, const std::u16string& text)
{
    return setValue(key, name, REG_SZ, text.c_str(), (text.size() + 1) * sizeof(WCHAR));
}

bool writeBinary(const Key& key, const WCHAR* name, const std::vector<BYTE>& data)
{
    // An empty vector may have no storage at all; the registry wants a
    // buffer even for zero bytes.
    static const BYTE nothing = 0;
    return setValue(key, name, REG_BINARY, data.empty() ? &nothing : data.data(), data.size());
}

bool wholeWrite(const std::function<bool()>& work)
{
    return handset::RegApplyBatch([&] { return work() ? ERROR_SUCCESS : ERROR_WRITE_FAULT; }) == ERROR_SUCCESS;
}

}  // namespace settings::detail
