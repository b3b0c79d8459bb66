// What both .reg tests write: the file's header line, and a string value's
// data as the registry stores it (UTF-16 code units, little-endian, with the
// terminator).
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include <handset/types.h>

inline const std::string kHeader = "Windows Registry Editor Version 5.00\n\n";

inline std::vector<BYTE> utf16z(std::u16string_view text)
{
    std::vector<BYTE> bytes;
    for (char16_t c : text) {
        bytes.push_back(static_cast<BYTE>(c & 0xFF));
        bytes.push_back(static_cast<BYTE>(c >> 8));
    }
    bytes.insert(bytes.end(), {0, 0});
    return bytes;
}
