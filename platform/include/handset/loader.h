// Libraries: loading one by path, finding its exports by name or by
// ordinal, unloading it.
//
// A library is a shared object. Its entry point, when it has one, is the
// exported function `DllMain`, called with DLL_PROCESS_ATTACH when the
// library is first loaded and DLL_PROCESS_DETACH when it is last freed.
// Exports by ordinal are listed in the library's ordinal table, made with
// HANDSET_ORDINAL_EXPORTS; an export with an ordinal only is simply not
// exported by name (the library is built with hidden visibility).
#pragma once

#include <handset/process.h>
#include <handset/types.h>

using FARPROC = void (*)();

constexpr DWORD DLL_PROCESS_DETACH = 0;
constexpr DWORD DLL_PROCESS_ATTACH = 1;

constexpr LONG ERROR_MOD_NOT_FOUND = 126;
constexpr LONG ERROR_PROC_NOT_FOUND = 127;
constexpr LONG ERROR_DLL_INIT_FAILED = 1114;

// Loads the library at lpLibFileName: a device path ("\Program Files\...")
// in the device's file system, or an absolute host path (a build tree's
// library). Loading a loaded library counts it once more and returns the
// same handle. Null with ERROR_MOD_NOT_FOUND (missing), ERROR_BAD_EXE_FORMAT
// (not a library of this host) or ERROR_DLL_INIT_FAILED (its entry point
// failed); the reason is logged on channel "loader".
HMODULE LoadLibrary(LPCWSTR lpLibFileName);

// An export: by name, or by ordinal given as MAKEINTRESOURCE(ordinal) (see
// handset/resources.h; a value below 0x10000). Null with
// ERROR_PROC_NOT_FOUND.
FARPROC GetProcAddress(HMODULE hModule, LPCWSTR lpProcName);

// Uncounts the library; the last FreeLibrary calls its entry point with
// DLL_PROCESS_DETACH and unloads it. FALSE for a handle that is not a library's.
BOOL FreeLibrary(HMODULE hModule);

namespace handset {

struct OrdinalExport {
    unsigned ordinal;
    FARPROC function;
};

// The host path a module was loaded from; empty for an unknown handle.
std::string modulePath(HMODULE module);

// The dlopen handle of a module (for the resource loader); null if unknown.
void* moduleHandle(HMODULE module);

// Loads one of the platform's own libraries, a file of the folder the
// platform library was loaded from (the media player's, the imaging
// factory's, the package installer's), which processes load only when they
// first need what it holds. As LoadLibrary otherwise.
HMODULE loadPlatformLibrary(const char* file);

}  // namespace handset

// The ordinal table of a library:
//   HANDSET_ORDINAL_EXPORTS({240, reinterpret_cast<FARPROC>(&InitializeCustomItem)});
#define HANDSET_ORDINAL_EXPORTS(...)                                                                        \
    extern "C" __attribute__((visibility("default"))) const handset::OrdinalExport handset_ordinals[] = { \
        __VA_ARGS__, {0, nullptr}}
