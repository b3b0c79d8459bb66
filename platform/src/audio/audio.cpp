#include <handset/audio.h>

#include <string>

#include <handset/log.h>
#include <handset/registry.h>
#include <handset/wstring.h>

namespace {

// A string value as text; "(none)" when it cannot be read.
std::string readText(HKEY root, const char16_t* path, const char16_t* name)
{
    HKEY key = nullptr;
    if (RegOpenKeyEx(root, path, 0, KEY_READ, &key) != ERROR_SUCCESS)
        return "(none)";
    WCHAR buffer[1024];
    DWORD type = 0, size = sizeof buffer - sizeof(WCHAR);
    const LONG rc = RegQueryValueEx(key, name, nullptr, &type, reinterpret_cast<BYTE*>(buffer), &size);
    RegCloseKey(key);
    if (rc != ERROR_SUCCESS || type != REG_SZ)
        return "(none)";
    buffer[size / sizeof(WCHAR)] = u'\0';
    return handset::toUtf8(buffer);
}

std::string readNumber(HKEY root, const char16_t* path, const char16_t* name)
{
    HKEY key = nullptr;
    if (RegOpenKeyEx(root, path, 0, KEY_READ, &key) != ERROR_SUCCESS)
        return "(none)";
    DWORD value = 0, type = 0, size = sizeof value;
    const LONG rc = RegQueryValueEx(key, name, nullptr, &type, reinterpret_cast<BYTE*>(&value), &size);
    RegCloseKey(key);
    if (rc != ERROR_SUCCESS || type != REG_DWORD || size != sizeof value)
        return "(none)";
    return std::to_string(value);
}

}  // namespace

void AudioUpdateFromRegistry()
{
    constexpr const char16_t* ring = u"ControlPanel\\Sounds\\RingTone0";
    handset::logLine("audio", "reloaded sound settings: sound=" + readText(HKEY_CURRENT_USER, ring, u"Sound") +
                                  " script=" + readText(HKEY_CURRENT_USER, ring, u"Script") + " volume=" +
                                  readNumber(HKEY_CURRENT_USER, u"ControlPanel\\SoundCategories\\Ring", u"InitVol"));
}
