// A setup library for the installer's tests. Its answers come from HKLM
// "Software\InstallerTest" ("InitAnswer", "ExitAnswer", "UninstallAnswer",
// REG_DWORD, default 0); every call is logged on channel "test-setup", and
// Install_Exit writes HKCU "Software\InstallerTest" "Seeded" and HKLM
// "Software\InstallerTestApp\Seeded" "By" as a setup library's own entries.
#include <string>

#include <handset/log.h>
#include <handset/registry.h>
#include <handset/setup.h>
#include <handset/wstring.h>

#define TEST_SETUP_EXPORT extern "C" __attribute__((visibility("default")))

namespace {

DWORD answer(LPCWSTR name)
{
    HKEY key = nullptr;
    DWORD value = 0, size = 4;
    if (RegOpenKeyEx(HKEY_LOCAL_MACHINE, u"Software\\InstallerTest", 0, 0, &key) == ERROR_SUCCESS) {
        RegQueryValueEx(key, name, nullptr, nullptr, reinterpret_cast<LPBYTE>(&value), &size);
        RegCloseKey(key);
    }
    return value;
}

void seed(HKEY root, LPCWSTR path, LPCWSTR name)
{
    HKEY key = nullptr;
    if (RegCreateKeyEx(root, path, 0, nullptr, 0, 0, nullptr, &key, nullptr) != ERROR_SUCCESS)
        return;
    const char16_t text[] = u"setup";
    RegSetValueEx(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text), sizeof text);
    RegCloseKey(key);
}

}  // namespace

TEST_SETUP_EXPORT codeINSTALL_INIT Install_Init(HWND, BOOL fFirstCall, BOOL fPreviouslyInstalled, LPCTSTR dir)
{
    handset::logLine("test-setup", "Install_Init first=" + std::to_string(fFirstCall) +
                                       " previous=" + std::to_string(fPreviouslyInstalled) +
                                       " dir=" + handset::toUtf8(dir));
    return static_cast<codeINSTALL_INIT>(answer(u"InitAnswer"));
}

TEST_SETUP_EXPORT codeINSTALL_EXIT Install_Exit(HWND, LPCTSTR dir, WORD, WORD, WORD, WORD, WORD)
{
    handset::logLine("test-setup", "Install_Exit dir=" + handset::toUtf8(dir));
    seed(HKEY_CURRENT_USER, u"Software\\InstallerTest", u"Seeded");
    seed(HKEY_LOCAL_MACHINE, u"Software\\InstallerTestApp\\Seeded", u"By");
    return static_cast<codeINSTALL_EXIT>(answer(u"ExitAnswer"));
}

TEST_SETUP_EXPORT codeUNINSTALL_INIT Uninstall_Init(HWND, LPCTSTR dir)
{
    handset::logLine("test-setup", "Uninstall_Init dir=" + handset::toUtf8(dir));
    return static_cast<codeUNINSTALL_INIT>(answer(u"UninstallAnswer"));
}

TEST_SETUP_EXPORT codeUNINSTALL_EXIT Uninstall_Exit(HWND)
{
    handset::logLine("test-setup", "Uninstall_Exit");
    return codeUNINSTALL_EXIT_DONE;
}
