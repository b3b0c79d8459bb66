// Files of the device: folders, enumeration by pattern, copying, deleting
// and attributes, with the phone's names and error codes.
//
// Paths are device paths ("\My Documents\My Ringtones\Bell.wav"), mapped into
// the device's file system component by component and case-insensitively, as
// the phone's file system compares names; a path that is not absolute or that
// would leave the device's file system fails with ERROR_PATH_NOT_FOUND.
// Every function reports its failure through SetLastError.
#pragma once

#include <handset/errors.h>
#include <handset/process.h>
#include <handset/types.h>

constexpr LONG ERROR_NO_MORE_FILES = 18;
constexpr LONG ERROR_DIR_NOT_EMPTY = 145;
constexpr LONG ERROR_DIRECTORY = 267;

constexpr DWORD FILE_ATTRIBUTE_READONLY = 0x00000001;
constexpr DWORD FILE_ATTRIBUTE_DIRECTORY = 0x00000010;
constexpr DWORD FILE_ATTRIBUTE_ARCHIVE = 0x00000020;
constexpr DWORD FILE_ATTRIBUTE_NORMAL = 0x00000080;
constexpr DWORD INVALID_FILE_ATTRIBUTES = 0xFFFFFFFF;

// What FindFirstFile and FindNextFile report of one entry, in the phone's
// layout. cFileName is the entry's name only, as stored (case preserved).
struct WIN32_FIND_DATA {
    DWORD dwFileAttributes;
    FILETIME ftCreationTime;
    FILETIME ftLastAccessTime;
    FILETIME ftLastWriteTime;
    DWORD nFileSizeHigh;
    DWORD nFileSizeLow;
    DWORD dwOID;
    WCHAR cFileName[MAX_PATH];
};
using LPWIN32_FIND_DATA = WIN32_FIND_DATA*;

// Creates one folder; its parent must exist. FALSE with ERROR_ALREADY_EXISTS
// when something of that name (in any case) is there, ERROR_PATH_NOT_FOUND
// when the parent is missing or the path leads out of the device. The
// security attributes are ignored, as on the phone.
BOOL CreateDirectory(LPCWSTR lpPathName, LPSECURITY_ATTRIBUTES lpSecurityAttributes);

// Removes an empty folder. FALSE with ERROR_DIR_NOT_EMPTY, ERROR_FILE_NOT_FOUND
// (nothing there), ERROR_DIRECTORY (a file, not a folder) or ERROR_PATH_NOT_FOUND.
BOOL RemoveDirectory(LPCWSTR lpPathName);

// Starts enumerating the entries of a folder whose names match the pattern
// in the path's last component ("\Windows\*.wav"; '*' any run of characters,
// '?' one character, compared without regard to case), in order of their
// case-folded names, and fills *lpFindFileData with the first. Returns a
// handle for FindNextFile and FindClose, or INVALID_HANDLE_VALUE with
// ERROR_FILE_NOT_FOUND (no entry matches) or ERROR_PATH_NOT_FOUND (no such
// folder). The entries are those present when the enumeration started.
HANDLE FindFirstFile(LPCWSTR lpFileName, LPWIN32_FIND_DATA lpFindFileData);

// The next entry; FALSE with ERROR_NO_MORE_FILES after the last one, or
// ERROR_INVALID_HANDLE for a handle FindFirstFile did not give.
BOOL FindNextFile(HANDLE hFindFile, LPWIN32_FIND_DATA lpFindFileData);

// Ends an enumeration. FALSE with ERROR_INVALID_HANDLE for an unknown handle.
BOOL FindClose(HANDLE hFindFile);

// Copies a file with its content and permissions (a program stays
// executable). With bFailIfExists an existing destination (in any case) is
// kept and the call fails with ERROR_FILE_EXISTS; otherwise it is replaced.
// The copy appears whole or not at all. FALSE with ERROR_FILE_NOT_FOUND (no
// source file), ERROR_PATH_NOT_FOUND (the destination's folder is missing, a
// path leads out of the device), ERROR_ACCESS_DENIED (a folder in the way) or
// ERROR_WRITE_FAULT.
BOOL CopyFile(LPCWSTR lpExistingFileName, LPCWSTR lpNewFileName, BOOL bFailIfExists);

// Deletes a file. FALSE with ERROR_FILE_NOT_FOUND, ERROR_ACCESS_DENIED (a
// folder) or ERROR_PATH_NOT_FOUND.
BOOL DeleteFile(LPCWSTR lpFileName);

// FILE_ATTRIBUTE_DIRECTORY for a folder, FILE_ATTRIBUTE_NORMAL for a file
// (FILE_ATTRIBUTE_READONLY when it cannot be written), INVALID_FILE_ATTRIBUTES
// with ERROR_FILE_NOT_FOUND or ERROR_PATH_NOT_FOUND.
DWORD GetFileAttributes(LPCWSTR lpFileName);
