// The radio's line devices as the device's registry lists them, and the
// standard reports of an incoming call.
#include <handset/radio.h>

#include <algorithm>
#include <cstdint>

#include <handset/device.h>
#include <handset/registry.h>

namespace handset::radio {

namespace {

constexpr const WCHAR* kLinesKey = u"Drivers\\Radio\\Lines";
constexpr std::size_t kMaxLineName = 255;

// A subkey name that is a line number: decimal digits, no leading zero.
std::optional<std::uint32_t> lineNumber(std::u16string_view name)
{
    if (name.empty() || name.size() > 9 || (name.size() > 1 && name[0] == u'0'))
        return std::nullopt;
    std::uint32_t number = 0;
    for (char16_t c : name) {
        if (c < u'0' || c > u'9')
            return std::nullopt;
        number = number * 10 + static_cast<std::uint32_t>(c - u'0');
    }
    return number;
}

LineDevice readLine(HKEY lines, const std::u16string& subkey)
{
    LineDevice line;
    HKEY key = nullptr;
    if (RegOpenKeyEx(lines, subkey.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS)
        return line;
    WCHAR name[kMaxLineName + 1] = {};
    DWORD type = 0, size = sizeof name;
    if (RegQueryValueEx(key, u"Name", nullptr, &type, reinterpret_cast<BYTE*>(name), &size) == ERROR_SUCCESS &&
        type == REG_SZ) {
        line.name.assign(name, size / sizeof(WCHAR));
        // Stored with its terminator, as strings are; anything after a
        // terminator is not part of the name.
        line.name.resize(std::min(line.name.size(), line.name.find(u'\0')));
    }
    DWORD modes = 0;
    size = sizeof modes;
    if (RegQueryValueEx(key, u"MediaModes", nullptr, &type, reinterpret_cast<BYTE*>(&modes), &size) ==
            ERROR_SUCCESS &&
        type == REG_DWORD && size == sizeof modes && modes != 0)
        line.mediaModes = modes;
    RegCloseKey(key);
    return line;
}

}  // namespace

std::vector<LineDevice> linesFromRegistry()
{
    HKEY lines = nullptr;
    if (RegOpenKeyEx(HKEY_LOCAL_MACHINE, kLinesKey, 0, KEY_READ, &lines) != ERROR_SUCCESS)
        return {LineDevice{kCellularLineName}};

    std::vector<std::pair<std::uint32_t, std::u16string>> numbered;
    for (DWORD index = 0;; ++index) {
        WCHAR name[MAX_KEY_NAME + 1];
        DWORD length = MAX_KEY_NAME + 1;
        const LONG rc = RegEnumKeyEx(lines, index, name, &length, nullptr, nullptr, nullptr, nullptr);
        if (rc == ERROR_NO_MORE_ITEMS)
            break;
        if (rc != ERROR_SUCCESS)
            continue;
        const std::u16string subkey(name, length);
        if (const auto number = lineNumber(subkey))
            numbered.emplace_back(*number, subkey);
    }
    std::sort(numbered.begin(), numbered.end());
    std::vector<LineDevice> devices;
    for (const auto& [number, subkey] : numbered)
        devices.push_back(readLine(lines, subkey));
    RegCloseKey(lines);
    return devices;
}

std::filesystem::path socketPath()
{
    return deviceRoot() / "run" / "radio.sock";
}

IncomingCall IncomingCall::standard(std::optional<std::u16string> callerId, CallerIdOrder order)
{
    IncomingCall call;
    const CallReport mediaMode{LINE_CALLINFO, LINECALLINFOSTATE_MEDIAMODE};
    const CallReport callerIdReport{LINE_CALLINFO, LINECALLINFOSTATE_CALLERID};
    if (!callerId)
        call.reports = {mediaMode};
    else if (order == CallerIdOrder::CallerIdFirst)
        call.reports = {callerIdReport, mediaMode};
    else
        call.reports = {mediaMode, callerIdReport};
    call.callerId = std::move(callerId);
    return call;
}

}  // namespace handset::radio
