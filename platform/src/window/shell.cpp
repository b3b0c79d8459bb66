// The shell's metrics and ShellExecuteEx.
#include <handset/shell.h>

#include <filesystem>

#include <handset/device.h>
#include <handset/errors.h>
#include <handset/log.h>
#include <handset/registry.h>
#include <handset/wstring.h>

namespace {

constexpr HRESULT kInvalidArg = static_cast<HRESULT>(0x80070057);
constexpr DWORD kDefaultFontPixels = 12;

DWORD userFontPixels()
{
    HKEY key = nullptr;
    DWORD value = 0, type = 0, size = sizeof value;
    if (RegOpenKeyEx(HKEY_CURRENT_USER, u"ControlPanel\\Shell", 0, 0, &key) != ERROR_SUCCESS)
        return kDefaultFontPixels;
    const LONG rc = RegQueryValueEx(key, u"FontSizePixel", nullptr, &type, reinterpret_cast<LPBYTE>(&value), &size);
    RegCloseKey(key);
    if (rc != ERROR_SUCCESS || type != REG_DWORD || size != sizeof value || value < 6 || value > 48)
        return kDefaultFontPixels;
    return value;
}

}  // namespace

HRESULT SHGetUIMetrics(int shuim, LPVOID pvBuffer, DWORD cbBufferSize, DWORD* pcbRequired)
{
    DWORD value = 0;
    switch (shuim) {
    case SHUIM_FONTSIZE_PIXEL:
        value = userFontPixels();
        break;
    case SHUIM_FONTSIZE_POINT:
        value = (userFontPixels() * 72 + 48) / 96;
        break;
    case SHUIM_FONTSIZE_PERCENTAGE:
        value = (userFontPixels() * 100 + kDefaultFontPixels / 2) / kDefaultFontPixels;
        break;
    default:
        return kInvalidArg;
    }
    if (pcbRequired)
        *pcbRequired = sizeof(DWORD);
    if (!pvBuffer || cbBufferSize < sizeof(DWORD))
        return kInvalidArg;
    *static_cast<DWORD*>(pvBuffer) = value;
    return 0;
}

namespace {

bool endsWith(const std::u16string& folded, std::u16string_view suffix)
{
    const std::u16string tail = handset::foldCase(suffix);
    return folded.size() >= tail.size() && folded.compare(folded.size() - tail.size(), tail.size(), tail) == 0;
}

// "http://...", "https://...", "mailto:...": what the browser opens.
bool isUrl(const std::u16string& folded)
{
    for (std::u16string_view scheme : {u"http://", u"https://", u"mailto:"})
        if (folded.rfind(handset::foldCase(scheme), 0) == 0)
            return true;
    return false;
}

BOOL succeed(LPSHELLEXECUTEINFO info)
{
    info->hInstApp = reinterpret_cast<HINSTANCE>(std::uintptr_t{33});
    return TRUE;
}

}  // namespace

BOOL ShellExecuteEx(LPSHELLEXECUTEINFO lpExecInfo)
{
    if (!lpExecInfo || lpExecInfo->cbSize != sizeof(SHELLEXECUTEINFO) || !lpExecInfo->lpFile ||
        !*lpExecInfo->lpFile) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    lpExecInfo->hProcess = nullptr;
    lpExecInfo->hInstApp = reinterpret_cast<HINSTANCE>(std::uintptr_t{31});
    const std::u16string verb = handset::foldCase(lpExecInfo->lpVerb ? lpExecInfo->lpVerb : u"Open");
    const std::u16string file = handset::foldCase(lpExecInfo->lpFile);
    if (verb != handset::foldCase(u"Open")) {
        SetLastError(ERROR_NO_ASSOCIATION);
        return FALSE;
    }
    // Web pages go to the browser. The device has none: what it would have
    // shown is written to the log, and the open counts as done, as the
    // phone's shell reports it once the browser has been asked.
    const bool webPage = endsWith(file, u".htm") || endsWith(file, u".html");
    if (isUrl(file) || webPage) {
        if (webPage && !isUrl(file) && !handset::mapDevicePath(lpExecInfo->lpFile).has_value()) {
            SetLastError(ERROR_PATH_NOT_FOUND);
            return FALSE;
        }
        if (webPage && !isUrl(file) && !std::filesystem::exists(*handset::mapDevicePath(lpExecInfo->lpFile))) {
            SetLastError(ERROR_FILE_NOT_FOUND);
            return FALSE;
        }
        handset::logLine("shell", "open \"" + handset::toUtf8(lpExecInfo->lpFile) + "\" in the browser (no browser on this device)");
        return succeed(lpExecInfo);
    }
    // Only programs are opened otherwise: no other file type has a program
    // registered to open it on this device yet.
    if (!endsWith(file, u".exe")) {
        SetLastError(ERROR_NO_ASSOCIATION);
        return FALSE;
    }
    // A program named without a folder is one of the system's, in \Windows.
    std::u16string program = lpExecInfo->lpFile;
    if (program.find(u'\\') == std::u16string::npos)
        program = u"\\Windows\\" + program;
    PROCESS_INFORMATION info{};
    if (!CreateProcess(program.c_str(), lpExecInfo->lpParameters, nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                       nullptr, &info)) {
        // What the shell was asked to open is worth knowing also when there
        // was nothing to start (a program not installed).
        const DWORD error = GetLastError();
        handset::logLine("exec", "could not open " +
                                     handset::execLogText(program, lpExecInfo->lpParameters
                                                                      ? lpExecInfo->lpParameters
                                                                      : u"") +
                                     " (error " + std::to_string(error) + ")");
        SetLastError(error);
        return FALSE;
    }
    CloseHandle(info.hThread);
    if (lpExecInfo->fMask & SEE_MASK_NOCLOSEPROCESS)
        lpExecInfo->hProcess = info.hProcess;
    else
        CloseHandle(info.hProcess);
    return succeed(lpExecInfo);
}
