// The phone's registry: three roots in one SQLite file per device.
//
// Names of keys and values are case-insensitive and case-preserving. Every
// call is one transaction; several processes may use the registry at once,
// each value is read or written whole and the last writer wins. A call that
// returned ERROR_SUCCESS from a writer survives the process being killed;
// RegFlushKey makes it survive a power loss as well.
//
// The functions keep the Win32 names and contracts; the wide-character forms
// are the only ones (the phone has no ANSI registry).
#pragma once

#include <handset/errors.h>
#include <handset/types.h>

struct HKEY__;
using HKEY = HKEY__*;
using PHKEY = HKEY*;

// The predefined roots carry the values they have on the phone.
inline const HKEY HKEY_CLASSES_ROOT = reinterpret_cast<HKEY>(std::uintptr_t{0x80000000});
inline const HKEY HKEY_CURRENT_USER = reinterpret_cast<HKEY>(std::uintptr_t{0x80000001});
inline const HKEY HKEY_LOCAL_MACHINE = reinterpret_cast<HKEY>(std::uintptr_t{0x80000002});

// Value types.
constexpr DWORD REG_NONE = 0;
constexpr DWORD REG_SZ = 1;
constexpr DWORD REG_EXPAND_SZ = 2;
constexpr DWORD REG_BINARY = 3;
constexpr DWORD REG_DWORD = 4;
constexpr DWORD REG_DWORD_BIG_ENDIAN = 5;
constexpr DWORD REG_LINK = 6;
constexpr DWORD REG_MULTI_SZ = 7;
constexpr DWORD REG_QWORD = 11;

// Dispositions reported by RegCreateKeyEx.
constexpr DWORD REG_CREATED_NEW_KEY = 1;
constexpr DWORD REG_OPENED_EXISTING_KEY = 2;

// Access rights. The phone ignores them for its registry; they are accepted
// and stored in nothing.
constexpr REGSAM KEY_QUERY_VALUE = 0x0001;
constexpr REGSAM KEY_SET_VALUE = 0x0002;
constexpr REGSAM KEY_CREATE_SUB_KEY = 0x0004;
constexpr REGSAM KEY_ENUMERATE_SUB_KEYS = 0x0008;
constexpr REGSAM KEY_NOTIFY = 0x0010;
constexpr REGSAM KEY_READ = 0x20019;
constexpr REGSAM KEY_WRITE = 0x20006;
constexpr REGSAM KEY_ALL_ACCESS = 0xF003F;

constexpr DWORD REG_OPTION_NON_VOLATILE = 0;

// Longest key and value names, in characters without the terminator.
constexpr DWORD MAX_KEY_NAME = 255;
constexpr DWORD MAX_VALUE_NAME = 16383;

// Opens an existing key below `hKey`. An empty or null `lpSubKey` opens
// `hKey` itself again. Returns ERROR_FILE_NOT_FOUND when the key is missing;
// *phkResult is set to null on any failure.
LONG RegOpenKeyEx(HKEY hKey, LPCWSTR lpSubKey, DWORD ulOptions, REGSAM samDesired, PHKEY phkResult);

// Opens `lpSubKey`, creating it and every missing key on the way.
// *lpdwDisposition (may be null) tells REG_CREATED_NEW_KEY or
// REG_OPENED_EXISTING_KEY. `lpClass` and `lpSecurityAttributes` are ignored.
LONG RegCreateKeyEx(HKEY hKey, LPCWSTR lpSubKey, DWORD Reserved, LPWSTR lpClass, DWORD dwOptions,
                    REGSAM samDesired, void* lpSecurityAttributes, PHKEY phkResult, LPDWORD lpdwDisposition);

// Reads a value (null or empty name: the key's default value).
// With lpData null and lpcbData set, reports the size in *lpcbData.
// With a buffer shorter than the value, returns ERROR_MORE_DATA, sets
// *lpcbData to the size needed and leaves the buffer untouched.
// Data is returned exactly as it was stored; no terminator is added.
LONG RegQueryValueEx(HKEY hKey, LPCWSTR lpValueName, LPDWORD lpReserved, LPDWORD lpType, LPBYTE lpData,
                     LPDWORD lpcbData);

// Stores exactly `cbData` bytes as the value, replacing any value of that name.
LONG RegSetValueEx(HKEY hKey, LPCWSTR lpValueName, DWORD Reserved, DWORD dwType, const BYTE* lpData,
                   DWORD cbData);

// Deletes one value. ERROR_FILE_NOT_FOUND when there is none of that name.
LONG RegDeleteValue(HKEY hKey, LPCWSTR lpValueName);

// As on Windows CE, deletes the key together with every key and value below
// it. The predefined roots themselves cannot be deleted.
LONG RegDeleteKey(HKEY hKey, LPCWSTR lpSubKey);

// Enumerates subkeys in order of their case-folded names. *lpcchName is the
// buffer's capacity in characters on entry and the name's length (without
// terminator) on success; ERROR_MORE_DATA when the name and its terminator do
// not fit. ERROR_NO_MORE_ITEMS past the last key.
LONG RegEnumKeyEx(HKEY hKey, DWORD dwIndex, LPWSTR lpName, LPDWORD lpcchName, LPDWORD lpReserved,
                  LPWSTR lpClass, LPDWORD lpcchClass, PFILETIME lpftLastWriteTime);

// Enumerates values in the order they were first created. The name follows
// the rules of RegEnumKeyEx, the data those of RegQueryValueEx.
LONG RegEnumValue(HKEY hKey, DWORD dwIndex, LPWSTR lpValueName, LPDWORD lpcchValueName, LPDWORD lpReserved,
                  LPDWORD lpType, LPBYTE lpData, LPDWORD lpcbData);

// Counts of subkeys and values and the longest names and data, as the
// platform's RegQueryInfoKey reports them. Every pointer may be null.
LONG RegQueryInfoKey(HKEY hKey, LPWSTR lpClass, LPDWORD lpcchClass, LPDWORD lpReserved, LPDWORD lpcSubKeys,
                     LPDWORD lpcbMaxSubKeyLen, LPDWORD lpcbMaxClassLen, LPDWORD lpcValues,
                     LPDWORD lpcbMaxValueNameLen, LPDWORD lpcbMaxValueLen, LPDWORD lpcbSecurityDescriptor,
                     PFILETIME lpftLastWriteTime);

// Makes everything written so far durable against a power loss.
LONG RegFlushKey(HKEY hKey);

// Releases a handle. Closing a predefined root is a no-op that succeeds.
LONG RegCloseKey(HKEY hKey);
