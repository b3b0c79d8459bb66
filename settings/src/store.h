// The few registry steps every settings operation is made of: open a key
// (with or without creating it), read a number, a string or a blob, write one.
// Each step checks the value's type and size so that the operations above it
// never see half a value.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include <handset/reg_key.h>

namespace settings::detail {

// All product settings live below this key of HKEY_CURRENT_USER.
inline constexpr std::u16string_view kProductKey = u"Software\\Quorrel\\Tonquil";

// "%s\%s": the path of `child` below `parent`.
std::u16string subKeyPath(std::u16string_view parent, std::u16string_view child);

// An open registry key, closed when the holder goes away. An empty holder
// stands for a key that could not be opened.
using Key = handset::RegKey;

// Opens an existing key; empty when it does not exist. Readers use this so
// that reading never leaves keys behind.
Key openKey(HKEY root, const std::u16string& path);

// Opens the key, creating it and any missing keys above it. Writers use this.
// *created (may be null) tells whether the key itself was made by this call.
Key createKey(HKEY root, const std::u16string& path, bool* created = nullptr);

// A REG_DWORD of exactly 4 bytes; nothing for a missing value or one of
// another type or size.
std::optional<DWORD> readDword(const Key& key, const WCHAR* name);

// A REG_SZ that fits in kPathCapacity characters with its terminator. The
// text ends at the first terminator; a value stored without one is taken up
// to its end as long as a terminator would still have fit. Nothing for a
// missing value, another type, or a longer text.
std::optional<std::u16string> readString(const Key& key, const WCHAR* name);

// A REG_BINARY of at most `capacity` bytes; nothing when it is missing, of
// another type, or larger.
std::optional<std::vector<BYTE>> readBinary(const Key& key, const WCHAR* name, DWORD capacity);

// Writers store the exact size: 4 bytes for a number, (characters + 1) * 2
// for a string with its terminator, the blob's length for binary data.
// Each returns whether the value was set.
bool writeDword(const Key& key, const WCHAR* name, DWORD value);
bool writeString(const Key& key, const WCHAR* name, const std::u16string& text);
bool writeBinary(const Key& key, const WCHAR* name, const std::vector<BYTE>& data);

// Runs `work` as one registry transaction that is undone whole when any of
// its steps fails (`work` returns false), so that no program ever sees a
// record, a reset or a setting half written, a failed write leaves what was
// there, and a reset never deletes the key under a writer that is part-way
// through. True when all of it was written.
bool wholeWrite(const std::function<bool()>& work);

}  // namespace settings::detail
