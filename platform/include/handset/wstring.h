// UTF-16 strings as the phone keeps them, and the conversions to UTF-8 that
// happen only at the edges (command line, log, file names).
#pragma once

#include <string>
#include <string_view>

#include <handset/types.h>

namespace handset {

// Converts UTF-16 to UTF-8. An unpaired surrogate becomes U+FFFD.
std::string toUtf8(std::u16string_view text);

// Converts UTF-8 to UTF-16. A malformed sequence becomes U+FFFD.
std::u16string fromUtf8(std::string_view text);

// Length of a terminated UTF-16 string, as wcslen gives it.
std::size_t wideLength(const WCHAR* text);

// The case-folded form used to compare registry and file names the way the
// phone does (case-insensitive, whatever the user's locale).
std::u16string foldCase(std::u16string_view text);

}  // namespace handset
