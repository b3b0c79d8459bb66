// The one place where the volume's internal results become the codes the
// surfaces report: HRESULTs for the contacts interfaces, Win32 codes for the
// database functions and the device's tools.
#pragma once

#include <sqlite3.h>

#include <handset/cedb.h>
#include <handset/com.h>

#include "pimstore/store.h"

namespace handset::pim {

inline LONG toWin32(int rc)
{
    switch (rc & 0xFF) {
    case SQLITE_OK:
        return ERROR_SUCCESS;
    case SQLITE_NOMEM:
        return ERROR_NOT_ENOUGH_MEMORY;
    case SQLITE_FULL:
        return ERROR_DISK_FULL;
    case SQLITE_BUSY:
    case SQLITE_LOCKED:
        return ERROR_BUSY;
    case SQLITE_CANTOPEN:
        return ERROR_CANTOPEN;
    case SQLITE_IOERR:
        return ERROR_WRITE_FAULT;
    case SQLITE_CONSTRAINT:
        return ERROR_ALREADY_EXISTS;
    case SQLITE_MISMATCH:
        return ERROR_INVALID_PARAMETER;
    case SQLITE_READONLY:
    case SQLITE_PERM:
        return ERROR_ACCESS_DENIED;
    default:
        break;
    }
    return rc == kMissing ? ERROR_FILE_NOT_FOUND : ERROR_BADDB;
}

inline HRESULT toHresult(int rc)
{
    if (rc == SQLITE_OK)
        return S_OK;
    if (rc == kMissing)
        return HRESULT_FROM_WIN32(ERROR_NOT_FOUND);
    if ((rc & 0xFF) == SQLITE_NOMEM)
        return E_OUTOFMEMORY;
    if ((rc & 0xFF) == SQLITE_CONSTRAINT)
        return E_FAIL;
    return HRESULT_FROM_WIN32(toWin32(rc));
}

}  // namespace handset::pim
