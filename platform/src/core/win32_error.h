// The one conversion from the host's errors (errno, std::error_code) to the
// phone's Win32 codes, for the areas that work on host files and processes.
#pragma once

#include <cerrno>
#include <system_error>

#include <handset/errors.h>
#include <handset/process.h>

namespace handset::detail {

// The Win32 code of an errno value. Causes the phone's callers can act on
// keep their own code; every other one is reported as `otherwise`, the
// code the failed operation gives for a fault it cannot name (a copy's
// ERROR_WRITE_FAULT, a start's ERROR_BAD_EXE_FORMAT).
inline DWORD win32Error(int error, DWORD otherwise)
{
    switch (error) {
    case ENOENT:
        return ERROR_FILE_NOT_FOUND;
    case ENOTDIR:
        return ERROR_PATH_NOT_FOUND;
    case EACCES:
    case EPERM:
    case EISDIR:
        return ERROR_ACCESS_DENIED;
    case ENOMEM:
    case EAGAIN:
        return ERROR_NOT_ENOUGH_MEMORY;
    case EEXIST:
        return ERROR_FILE_EXISTS;
    default:
        return otherwise;
    }
}

inline DWORD win32Error(const std::error_code& error, DWORD otherwise)
{
    return error.category() == std::generic_category() || error.category() == std::system_category()
               ? win32Error(error.value(), otherwise)
               : otherwise;
}

// Sets the calling thread's last error and returns `result`, so that a
// failing path of an API function is one statement.
template <typename T>
T failWith(DWORD error, T result)
{
    SetLastError(error);
    return result;
}

}  // namespace handset::detail
