// The shell's metrics and ShellExecuteEx.
#include <handset/shell.h>

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
    const std::u16string exe = handset::foldCase(u".exe");
    // Only programs are opened here: no file type has a program registered
    // to open it on this device yet.
    if (verb != handset::foldCase(u"Open") || file.size() < exe.size() ||
        file.compare(file.size() - exe.size(), exe.size(), exe) != 0) {
        SetLastError(ERROR_NO_ASSOCIATION);
        return FALSE;
    }
    PROCESS_INFORMATION info{};
    if (!CreateProcess(lpExecInfo->lpFile, lpExecInfo->lpParameters, nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                       nullptr, &info)) {
        // What the shell was asked to open is worth knowing also when there
        // was nothing to start (a program not installed).
        const DWORD error = GetLastError();
        handset::logLine("exec", "could not open " +
                                     handset::execLogText(lpExecInfo->lpFile, lpExecInfo->lpParameters
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
    lpExecInfo->hInstApp = reinterpret_cast<HINSTANCE>(std::uintptr_t{33});
    return TRUE;
}
