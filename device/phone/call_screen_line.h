// How the radio starts the phone's call screen: the program's place on the
// device, and the command line that tells it which call to show.
//
// The command line is the radio's number of the call, then, when the
// network sent a caller ID, one space and the caller ID verbatim (spaces and
// all): "7 +49 151 1234567", or "7" for a call without caller ID.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include <handset/wstring.h>

namespace phone {

inline constexpr char16_t kCallScreenProgram[] = u"\\Windows\\phone";

struct ShownCall {
    std::uint32_t callId = 0;
    std::optional<std::u16string> callerId;
};

inline std::u16string callScreenCommandLine(std::uint32_t callId, const std::optional<std::u16string>& callerId)
{
    std::u16string line = handset::fromUtf8(std::to_string(callId));
    if (callerId)
        line += u" " + *callerId;
    return line;
}

// The call a command line names; none for one that does not start with a
// call number.
inline std::optional<ShownCall> parseCallScreenCommandLine(std::u16string_view line)
{
    std::uint64_t number = 0;
    std::size_t digits = 0;
    while (digits < line.size() && digits < 10 && line[digits] >= u'0' && line[digits] <= u'9')
        number = number * 10 + static_cast<std::uint64_t>(line[digits++] - u'0');
    if (digits == 0 || number == 0 || number > UINT32_MAX || (digits < line.size() && line[digits] != u' '))
        return std::nullopt;
    ShownCall call;
    call.callId = static_cast<std::uint32_t>(number);
    if (digits < line.size())
        call.callerId = std::u16string(line.substr(digits + 1));
    return call;
}

}  // namespace phone
