// The database engine of the contacts store: volumes, sessions, databases and
// records with typed properties, as the phone's database functions offer them,
// and the property types the contacts interfaces share with it.
//
// The one volume is the device's contacts volume "pim.vol" (also spelled
// "\pim.vol"); the one database in it that these functions open is the
// category database "CategoryMainDB". Its records, in the order they were
// made, are the contact categories, each with two properties:
//
//   CEPROPID_CATEGORY_RECORDID 0x00010066  CEVT_RECID   the record's id (val.ulVal)
//   CEPROPID_CATEGORY_NAME     0x0002001F  CEVT_LPWSTR  the category's name
//
// A category that some contact uses always exists as a record: saving a
// contact whose categories property names a new category adds it.
//
// Functions report failures as on the phone: a zero or INVALID_HANDLE_VALUE
// result and the reason in GetLastError.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include <handset/errors.h>
#include <handset/types.h>

using CEOID = DWORD;
using PCEOID = CEOID*;
using LPWORD = WORD*;
using CEPROPID = DWORD;
using PCEPROPID = CEPROPID*;

// A mounted volume's identity.
struct CEGUID {
    DWORD Data1;
    DWORD Data2;
    DWORD Data3;
    DWORD Data4;
};
using PCEGUID = CEGUID*;

inline void CREATE_INVALIDGUID(PCEGUID guid)
{
    guid->Data1 = guid->Data2 = guid->Data3 = guid->Data4 = 0xFFFFFFFF;
}
inline bool CHECK_INVALIDGUID(const CEGUID* guid)
{
    return guid->Data1 == 0xFFFFFFFF && guid->Data2 == 0xFFFFFFFF && guid->Data3 == 0xFFFFFFFF &&
           guid->Data4 == 0xFFFFFFFF;
}

// Property types: the low word of a property id.
constexpr WORD CEVT_I2 = 2;
constexpr WORD CEVT_I4 = 3;
constexpr WORD CEVT_R8 = 5;
constexpr WORD CEVT_BOOL = 11;
constexpr WORD CEVT_UI2 = 18;
constexpr WORD CEVT_UI4 = 19;
constexpr WORD CEVT_LPWSTR = 31;
constexpr WORD CEVT_FILETIME = 64;
constexpr WORD CEVT_BLOB = 65;
constexpr WORD CEVT_STREAM = 100;
constexpr WORD CEVT_RECID = 102;

constexpr WORD TypeFromPropID(CEPROPID propid) { return static_cast<WORD>(propid & 0xFFFF); }
constexpr WORD IdFromPropID(CEPROPID propid) { return static_cast<WORD>(propid >> 16); }
constexpr CEPROPID MakePropID(WORD id, WORD type) { return (static_cast<CEPROPID>(id) << 16) | type; }

struct CEBLOB {
    DWORD dwCount;
    LPBYTE lpb;
};

union CEVALUNION {
    SHORT iVal;
    USHORT uiVal;
    LONG lVal;
    ULONG ulVal;
    FILETIME filetime;
    LPWSTR lpwstr;
    CEBLOB blob;
    BOOL boolVal;
    double dblVal;
};

// One property in a read or write. In a buffer filled by a read, the
// records come first, one per property asked for, and the strings and blobs
// they point to follow them in the same buffer. wLenData is the size in
// bytes of a string (its terminator included) or a blob, 0 for the others.
struct CEPROPVAL {
    CEPROPID propid;
    WORD wLenData;
    WORD wFlags;
    CEVALUNION val;
};

// CEPROPVAL.wFlags
constexpr WORD CEDB_PROPNOTFOUND = 0x0100;  // set by reads: the record has no such property
constexpr WORD CEDB_PROPDELETE = 0x0200;    // given to writes: remove the property

// Read flags. Reallocation of the caller's buffer is not offered: every read
// here goes into a caller-supplied buffer.
constexpr DWORD CEDB_ALLOWREALLOC = 0x00000001;

// CeOpenDatabaseInSession flags
constexpr DWORD CEDB_AUTOINCREMENT = 0x00000001;  // each read moves on to the next record

// CeSeekDatabaseEx seek types. The positional ones are offered; the value
// seeks need a sort order, which the category database does not have.
constexpr DWORD CEDB_SEEK_CEOID = 0x00000001;
constexpr DWORD CEDB_SEEK_VALUESMALLER = 0x00000002;
constexpr DWORD CEDB_SEEK_VALUEFIRSTEQUAL = 0x00000004;
constexpr DWORD CEDB_SEEK_VALUEGREATER = 0x00000008;
constexpr DWORD CEDB_SEEK_VALUENEXTEQUAL = 0x00000010;
constexpr DWORD CEDB_SEEK_BEGINNING = 0x00000020;
constexpr DWORD CEDB_SEEK_CURRENT = 0x00000040;
constexpr DWORD CEDB_SEEK_END = 0x00000080;

// The category database's record properties.
constexpr CEPROPID CEPROPID_CATEGORY_RECORDID = 0x00010066;
constexpr CEPROPID CEPROPID_CATEGORY_NAME = 0x0002001F;

// Opaque option blocks of the phone's API; only null is accepted here.
struct CEVOLUMEOPTIONS;
struct SORTORDERSPECEX;
struct CENOTIFYREQUEST;

// Bytes a caller-supplied buffer needs for `cProps` properties of which each
// string holds at most `cchEach` characters (terminator not counted), e.g.
// propBufferSize(1, 255) for one tone path of up to 255 characters.
constexpr ULONG propBufferSize(WORD cProps, ULONG cchEach)
{
    return cProps * static_cast<ULONG>(sizeof(CEPROPVAL) + (cchEach + 1) * sizeof(WCHAR));
}

// Mounts a volume and fills *pGuid with its identity. dwFlags: OPEN_EXISTING
// (fails with ERROR_FILE_NOT_FOUND when there is no volume yet), OPEN_ALWAYS,
// CREATE_NEW (ERROR_ALREADY_EXISTS when it exists). CREATE_ALWAYS and
// TRUNCATE_EXISTING would wipe the contacts every program shares and are
// refused (ERROR_ACCESS_DENIED). Any other volume name: ERROR_FILE_NOT_FOUND.
// Every successful mount needs its CeUnmountDBVol. pOptions must be null.
BOOL CeMountDBVolEx(PCEGUID pGuid, LPCWSTR lpwszDBVol, CEVOLUMEOPTIONS* pOptions, DWORD dwFlags);

// Undoes one mount. ERROR_INVALID_PARAMETER when the volume is not mounted.
BOOL CeUnmountDBVol(PCEGUID pGuid);

// Opens a session on a mounted volume; INVALID_HANDLE_VALUE with
// ERROR_INVALID_PARAMETER when it is not mounted. Close it with CloseHandle.
HANDLE CeCreateSession(PCEGUID pGuid);

// Opens a database of the session's volume by name (*poid 0, or poid null)
// or by its object id (*poid). On success *poid (if given) is the database's
// id. pSort and pRequest must be null: no sort orders, no notifications.
// INVALID_HANDLE_VALUE with ERROR_FILE_NOT_FOUND for an unknown database,
// ERROR_INVALID_HANDLE for a bad session, ERROR_INVALID_PARAMETER otherwise.
HANDLE CeOpenDatabaseInSession(HANDLE hSession, PCEGUID pGuid, PCEOID poid, LPCWSTR lpszName,
                               SORTORDERSPECEX* pSort, DWORD dwFlags, CENOTIFYREQUEST* pRequest);

// Makes a record current and returns its id (0 on failure):
//   CEDB_SEEK_BEGINNING  the record at index dwValue (0 is the first)
//   CEDB_SEEK_CURRENT    dwValue (a signed offset) records from the current one
//   CEDB_SEEK_END        dwValue (a signed offset, 0 or negative) from the last one
//   CEDB_SEEK_CEOID      the record whose id is dwValue
// *lpdwIndex (may be null) receives the record's index. Past either end:
// ERROR_NO_MORE_ITEMS, an unknown record id: ERROR_FILE_NOT_FOUND, and no
// current record in both cases; value seeks: ERROR_INVALID_PARAMETER; bad
// handle: ERROR_INVALID_HANDLE.
CEOID CeSeekDatabaseEx(HANDLE hDatabase, DWORD dwSeekType, DWORD dwValue, WORD wNumVals, LPDWORD lpdwIndex);

// Reads properties of the current record into the caller's buffer:
// *lplpBuffer points at it, *lpcbBuffer is its size. rgPropID null reads
// every property and sets *lpcPropID to their count. A property the record
// lacks gets CEDB_PROPNOTFOUND. Returns the record's id; 0 with
// ERROR_INSUFFICIENT_BUFFER and the needed size in *lpcbBuffer when the
// buffer is short (it is left untouched), ERROR_NO_MORE_ITEMS without a
// current record, ERROR_INVALID_PARAMETER for CEDB_ALLOWREALLOC or a null
// buffer. The buffer must be aligned as a CEPROPVAL. hHeap is ignored.
CEOID CeReadRecordPropsEx(HANDLE hDbase, DWORD dwFlags, LPWORD lpcPropID, CEPROPID* rgPropID, LPBYTE* lplpBuffer,
                          LPDWORD lpcbBuffer, HANDLE hHeap);

// Closes a session or database handle. FALSE with ERROR_INVALID_HANDLE for
// anything else (a handle closed twice included).
//
// These three are the kernel's and stand here until the kernel's own header
// exists; every later kind of handle joins the same table.
BOOL CloseHandle(HANDLE hObject);
DWORD GetLastError();
void SetLastError(DWORD dwErrCode);

namespace handset {

// The device's own tools for the category database ("handset categories").
// Names are compared without regard to case, as the phone's contacts do;
// leading and trailing blanks are not part of a name.

struct CategoryRecord {
    CEOID recordId = 0;
    std::u16string name;

    bool operator==(const CategoryRecord&) const = default;
};

struct [[nodiscard]] CategoryListResult {
    LONG status = ERROR_SUCCESS;
    std::vector<CategoryRecord> categories;  // in record order

    bool ok() const { return status == ERROR_SUCCESS; }
};

// Every category record of the device's contacts volume.
CategoryListResult listCategories();

// Adds a category. ERROR_ALREADY_EXISTS when one of that name exists (in any
// case); ERROR_INVALID_NAME for a name that is empty or holds a comma (the
// contacts keep their categories as one comma-separated text).
// *recordId (may be null) receives the new record's id.
[[nodiscard]] LONG addCategory(std::u16string_view name, CEOID* recordId = nullptr);

// Deletes a category and takes it out of every contact's categories, in one
// transaction. ERROR_FILE_NOT_FOUND when there is none of that name.
[[nodiscard]] LONG deleteCategory(std::u16string_view name);

}  // namespace handset
