// The shell: its user interface metrics and starting what a file names.
#pragma once

#include <handset/window.h>

// SHGetUIMetrics: the user's text size in pixels (a DWORD).
constexpr int SHUIM_FONTSIZE_POINT = 1;
constexpr int SHUIM_FONTSIZE_PIXEL = 2;
constexpr int SHUIM_FONTSIZE_PERCENTAGE = 3;

constexpr HRESULT SHELL_S_OK = 0;

// Fills *pvBuffer (cbBufferSize bytes, at least 4) with the metric and sets
// *pcbRequired to its size (4). E_INVALIDARG (0x80070057) for an unknown
// metric or a short or missing buffer. The text size is the user's choice
// in HKCU "ControlPanel\Shell" "FontSizePixel" (REG_DWORD, 6 to 48), else 12.
HRESULT SHGetUIMetrics(int shuim, LPVOID pvBuffer, DWORD cbBufferSize, DWORD* pcbRequired);

constexpr ULONG SEE_MASK_NOCLOSEPROCESS = 0x00000040;
constexpr ULONG SEE_MASK_FLAG_NO_UI = 0x00000400;

struct SHELLEXECUTEINFO {
    DWORD cbSize;
    ULONG fMask;
    HWND hwnd;
    LPCWSTR lpVerb;
    LPCWSTR lpFile;
    LPCWSTR lpParameters;
    LPCWSTR lpDirectory;
    int nShow;
    HINSTANCE hInstApp;
    LPVOID lpIDList;
    LPCWSTR lpClass;
    HANDLE hkeyClass;
    DWORD dwHotKey;
    HANDLE hIcon;
    HANDLE hProcess;
};
using LPSHELLEXECUTEINFO = SHELLEXECUTEINFO*;

constexpr LONG ERROR_NO_ASSOCIATION = 1155;

// Opens lpFile with the verb "Open" (null: the same). A program (a name
// ending in ".exe"; one without a folder is looked for in "\Windows") is
// started with lpParameters as its whole command line, verbatim
// (CreateProcess, which logs the start on channel "exec"). A web page (an
// "http://", "https://" or "mailto:" address, or a ".htm"/".html" file that
// exists) is what the browser shows; the device has no browser, so the open
// is logged on channel "shell" and succeeds without a process. With
// SEE_MASK_NOCLOSEPROCESS a started program's handle is left in hProcess
// for the caller to close; otherwise it is closed (null for a web page).
// hInstApp is 33 on success, else below 32. FALSE with
// ERROR_INVALID_PARAMETER (bad size, no file), ERROR_NO_ASSOCIATION
// (another verb, or another kind of file), ERROR_FILE_NOT_FOUND or
// ERROR_PATH_NOT_FOUND (a missing page), or the error of CreateProcess.
BOOL ShellExecuteEx(LPSHELLEXECUTEINFO lpExecInfo);
