// Programs of the device: starting one as the phone's shell does, waiting
// for it, and the entry point a program is written with.
//
// A program is a file in the device's file system, an executable of this
// host ("\Program Files\Tonquil\plimsey.exe"). It is started with its device
// path and one command line, a single string passed through verbatim: no
// shell sees it, nothing splits it into words or removes quotes, so the
// program receives exactly the text it was given (spaces and all). It runs
// in the starter's environment, on the same device.
//
// The transport: the program is executed with exactly two arguments, its
// host path and the command line (possibly empty). The `handset_winmain`
// library gives a program its main(), which hands that second argument to
// the program's WinMain as lpCmdLine. A program started by hand from a Linux
// shell with several words gets them joined by single spaces, as `handset
// run` joins its arguments.
//
// Every start is written to the device log on channel "exec" as
//   "<device path>" <command line>
// (nothing after the quoted path when the command line is empty), so that
// what the phone started, and with what, can be followed in the log.
#pragma once

#include <string>
#include <string_view>

#include <handset/types.h>

struct SECURITY_ATTRIBUTES;
struct STARTUPINFOW;
using LPSECURITY_ATTRIBUTES = SECURITY_ATTRIBUTES*;
using LPSTARTUPINFOW = STARTUPINFOW*;

struct PROCESS_INFORMATION {
    HANDLE hProcess;
    HANDLE hThread;
    DWORD dwProcessId;
    DWORD dwThreadId;
};
using LPPROCESS_INFORMATION = PROCESS_INFORMATION*;

constexpr int SW_HIDE = 0;
constexpr int SW_SHOWNORMAL = 1;
constexpr int SW_SHOW = 5;

constexpr DWORD INFINITE = 0xFFFFFFFF;
constexpr DWORD WAIT_OBJECT_0 = 0x00000000;
constexpr DWORD WAIT_TIMEOUT = 0x00000102;
constexpr DWORD WAIT_FAILED = 0xFFFFFFFF;

// GetExitCodeProcess of a program that has not ended yet.
constexpr DWORD STILL_ACTIVE = 0x00000103;

// A program file that this host cannot execute.
constexpr LONG ERROR_BAD_EXE_FORMAT = 193;

// Starts the device program pszImageName (a device path) with the command
// line pszCmdLine (null: empty), passed on verbatim. As on the phone, the
// image name is required and is not looked up in the command line; the
// security attributes, environment, current directory and start-up
// information must be null, fInheritHandles FALSE and fdwCreate 0.
// On success fills *pProcInfo with a process handle and a handle of its
// main thread (close both with CloseHandle; either can be waited on) and
// logs the start on channel "exec". FALSE with GetLastError():
// ERROR_INVALID_PARAMETER for what the phone does not support,
// ERROR_PATH_NOT_FOUND for a path that is not an absolute device path or
// leads out of the device, ERROR_FILE_NOT_FOUND for a missing program,
// ERROR_ACCESS_DENIED for one that may not be executed, ERROR_BAD_EXE_FORMAT
// for a file this host cannot run.
BOOL CreateProcess(LPCWSTR pszImageName, LPCWSTR pszCmdLine, LPSECURITY_ATTRIBUTES psaProcess,
                   LPSECURITY_ATTRIBUTES psaThread, BOOL fInheritHandles, DWORD fdwCreate, LPVOID pvEnvironment,
                   LPCWSTR pszCurDir, LPSTARTUPINFOW psiStartInfo, LPPROCESS_INFORMATION pProcInfo);

// Waits until the program of a process or thread handle has ended, or
// dwMilliseconds have passed (INFINITE: no limit). WAIT_OBJECT_0 when it has
// ended, WAIT_TIMEOUT, or WAIT_FAILED (ERROR_INVALID_HANDLE) for a handle
// that is not a process's or thread's.
DWORD WaitForSingleObject(HANDLE hHandle, DWORD dwMilliseconds);

// The exit code of the program: STILL_ACTIVE while it runs; a program ended
// by a signal has 128 plus the signal's number, as a shell reports it.
// FALSE (ERROR_INVALID_HANDLE) for a handle that is not a process's.
BOOL GetExitCodeProcess(HANDLE hProcess, LPDWORD lpExitCode);

// The kernel's; they stand here (as in cedb.h) until the kernel's own header
// exists. Process and thread handles share the one handle table.
BOOL CloseHandle(HANDLE hObject);
DWORD GetLastError();
void SetLastError(DWORD dwErrCode);

// The entry point of a device program, written by the program and called by
// the handset_winmain library: hInstance identifies the program, hPrevInstance
// is always null, lpCmdLine is the command line verbatim (never null, empty
// when there is none), nShowCmd is SW_SHOW. Its result is the exit code.
int WinMain(HINSTANCE hInstance, HINSTANCE hPrevInstance, LPWSTR lpCmdLine, int nShowCmd);

namespace handset {

// The text logged on channel "exec" for a start: the device path in double
// quotes, then a space and the command line when there is one.
std::string execLogText(std::u16string_view devicePath, std::u16string_view commandLine);

}  // namespace handset
