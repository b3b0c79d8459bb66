// Instavel: the setup library of the Tonquil package. Only the end of an
// installation does work: it seeds the three caller classes with the
// phone's current ring and SMS sounds, writes the default sound profiles,
// copies the phone's stock sounds into the user's ring tone folder and
// offers to restart the device. The package's own sections put the program
// files and every other registry entry in place.
#include <algorithm>
#include <cstring>
#include <string>

#include <handset/files.h>
#include <handset/msgbox.h>
#include <handset/registry.h>
#include <handset/setup.h>

#include <settings/settings.h>

#define INSTAVEL_EXPORT extern "C" __attribute__((visibility("default")))

namespace {

// The working buffers hold 255 characters and the terminator.
constexpr std::size_t kBufferChars = 256;
constexpr DWORD kReadLimit = 512;

constexpr WCHAR kSmsNotificationKey[] = u"ControlPanel\\Notifications\\{A877D65B-239C-47a7-9304-0D347F580408}";

// Reads a string value of an open key into `buffer`. A value that is
// missing, too long for the read limit or not a string leaves the buffer as
// it was.
void readSound(HKEY key, LPCWSTR valueName, std::u16string& buffer)
{
    WCHAR data[kBufferChars + 1] = {};
    DWORD type = REG_NONE;
    DWORD size = kReadLimit;
    if (RegQueryValueEx(key, valueName, nullptr, &type, reinterpret_cast<LPBYTE>(data), &size) != ERROR_SUCCESS)
        return;
    if (type != REG_SZ && type != REG_EXPAND_SZ)
        return;
    // A value stored without its terminator ends with its data.
    data[size / sizeof(WCHAR)] = 0;
    buffer = data;
}

// Opens HKEY_CURRENT_USER `keyPath`, or gives null.
HKEY openKey(LPCWSTR keyPath)
{
    HKEY key = nullptr;
    if (RegOpenKeyEx(HKEY_CURRENT_USER, keyPath, 0, KEY_READ, &key) != ERROR_SUCCESS)
        return nullptr;
    return key;
}

void readSoundOf(LPCWSTR keyPath, LPCWSTR valueName, std::u16string& buffer)
{
    if (HKEY key = openKey(keyPath)) {
        readSound(key, valueName, buffer);
        RegCloseKey(key);
    }
}

// A tone that no longer fits the system's 255-character buffers names no
// file the phone could play; it becomes no tone rather than a cut path.
void fitOrClear(std::u16string& tone)
{
    if (tone.size() >= kBufferChars)
        tone.clear();
}

// A name without a folder is one of the phone's own sounds in \Windows.
// An empty tone means no tone and stays empty.
void makeAbsolute(std::u16string& tone)
{
    if (!tone.empty() && tone[0] != u'\\') {
        tone = u"\\Windows\\" + tone;
        fitOrClear(tone);
    }
}

// The phone stores its SMS sound without an extension when it is a WAV file.
void giveExtension(std::u16string& tone)
{
    const std::size_t n = tone.size();
    if (n > 4 && tone[n - 4] != u'.' && tone[n - 5] != u'.') {
        tone += u".wav";
        fitOrClear(tone);
    }
}

void copyStockSounds()
{
    // An existing folder is fine.
    CreateDirectory(u"\\My Documents\\My Ringtones", nullptr);
    for (LPCWSTR pattern : {u"\\windows\\*.wav", u"\\windows\\*.mp3", u"\\windows\\*.mid"}) {
        WIN32_FIND_DATA found;
        HANDLE find = FindFirstFile(pattern, &found);
        if (find == INVALID_HANDLE_VALUE)
            continue;
        do {
            if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
                continue;
            const std::u16string source = std::u16string(u"\\windows\\") + found.cFileName;
            const std::u16string target = std::u16string(u"\\My Documents\\My Ringtones\\") + found.cFileName;
            // The user's own file of that name stays; a failed copy is not fatal.
            CopyFile(source.c_str(), target.c_str(), TRUE);
        } while (FindNextFile(find, &found));
        FindClose(find);
    }
}

int nothingToDo()
{
    return 0;
}

}  // namespace

// Called before the package's files are copied; does nothing and lets the
// installation continue.
INSTAVEL_EXPORT codeINSTALL_INIT Install_Init(HWND, BOOL, BOOL, LPCTSTR)
{
    return static_cast<codeINSTALL_INIT>(nothingToDo());
}

// Called once the package's files and registry entries are in place: seeds
// the caller classes and profiles, copies the stock sounds and asks whether
// to restart. Only the parent window is used; no failure is reported, so
// the installation always completes.
INSTAVEL_EXPORT codeINSTALL_EXIT Install_Exit(HWND hwndParent, LPCTSTR, WORD, WORD, WORD, WORD, WORD)
{
    std::u16string firstRing, secondRing, smsTone;

    // The ring tones, from the two extra ring keys some phones have, else
    // from the phone's main ring key.
    readSoundOf(u"ControlPanel\\Sounds\\PlmORingTone1", u"Sound", firstRing);
    readSoundOf(u"ControlPanel\\Sounds\\PlmORingTone2", u"Sound", secondRing);
    if (firstRing.empty() || secondRing.empty()) {
        if (HKEY key = openKey(u"ControlPanel\\Sounds\\RingTone0")) {
            readSound(key, u"Sound", firstRing);
            secondRing = firstRing;
            RegCloseKey(key);
        }
    }

    // The SMS tone.
    readSoundOf(kSmsNotificationKey, u"Wave", smsTone);

    // Full paths; the SMS sound with its extension.
    makeAbsolute(firstRing);
    makeAbsolute(secondRing);
    makeAbsolute(smsTone);
    giveExtension(smsTone);

    // The system caller classes.
    settings::writeClassRingTone(settings::KnownCaller, firstRing);
    settings::writeClassSmsTone(settings::KnownCaller, smsTone);
    settings::writeClassRingTone(settings::UnknownCaller, secondRing);
    settings::writeClassSmsTone(settings::UnknownCaller, smsTone);
    settings::writeClassRingTone(settings::NoCallerId, firstRing);
    settings::writeClassSmsTone(settings::NoCallerId, smsTone);

    // The default profiles; an earlier schedule and selection are lost.
    settings::resetProfiles();

    // The stock sounds into the user's ring tone folder.
    copyStockSounds();

    // The restart question; a failed restart just returns.
    if (MessageBox(hwndParent,
                   u"You must restart the device to finish installing Tonquil. Select OK to restart or Cancel to "
                   u"continue.",
                   u"Tonquil", MB_OKCANCEL | MB_ICONQUESTION) == IDOK)
        KernelIoControl(IOCTL_HAL_REBOOT, nullptr, 0, nullptr, 0, nullptr);

    return codeINSTALL_EXIT_DONE;
}

// Called before the package is removed; removes nothing of what
// Install_Exit wrote or copied.
INSTAVEL_EXPORT codeUNINSTALL_INIT Uninstall_Init(HWND, LPCTSTR)
{
    return static_cast<codeUNINSTALL_INIT>(nothingToDo());
}

// Called after the package is removed; does nothing.
INSTAVEL_EXPORT codeUNINSTALL_EXIT Uninstall_Exit(HWND)
{
    return static_cast<codeUNINSTALL_EXIT>(nothingToDo());
}
