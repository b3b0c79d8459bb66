// What the parts of the .reg area share beyond the public header.
#pragma once

#include <string>
#include <string_view>
#include <variant>

#include <handset/regfile.h>

namespace handset::regfile_detail {

// parseRegKeyPath with the reason for a refusal, so that a .reg file can be
// refused with a message that says what is wrong with its key.
std::variant<RegKeyPath, std::string> parseKeyPath(std::string_view text);

// Whether `text` is well-formed UTF-8 (no overlong forms, no surrogates,
// nothing above U+10FFFF).
bool isValidUtf8(std::string_view text);

// Whether `text` is well-formed UTF-16 (every surrogate paired).
bool isValidUtf16(std::u16string_view text);

}  // namespace handset::regfile_detail
