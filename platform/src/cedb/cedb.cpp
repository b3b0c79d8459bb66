// The database functions over the contacts volume: mounting "pim.vol",
// sessions, and the category database "CategoryMainDB" with its positional
// seeks and record reads. Also the device's category tools.

#include <handset/cedb.h>

#include <sqlite3.h>

#include <iterator>
#include <mutex>
#include <vector>

#include <handset/wstring.h>

#include "cedb/handles.h"
#include "pimstore/contact_data.h"
#include "pimstore/prop_buffer.h"
#include "pimstore/results.h"

namespace handset {

namespace {

thread_local DWORD lastError = ERROR_SUCCESS;

// The contacts volume's identity while mounted, and the category database's
// object id inside it.
constexpr CEGUID kPimVolume = {0x50494D56, 0x4F4C0000, 0x00000001, 0x00000000};
constexpr CEOID kCategoryDatabaseOid = 0x00010001;

std::mutex mountMutex;
int mountCount = 0;

bool isPimVolume(const CEGUID* guid)
{
    return guid && guid->Data1 == kPimVolume.Data1 && guid->Data2 == kPimVolume.Data2 &&
           guid->Data3 == kPimVolume.Data3 && guid->Data4 == kPimVolume.Data4;
}

bool isMounted(const CEGUID* guid)
{
    std::lock_guard lock(mountMutex);
    return isPimVolume(guid) && mountCount > 0;
}

// The phone names the volume by its path in the object store.
bool isPimVolumeName(LPCWSTR name)
{
    std::u16string_view text(name);
    if (!text.empty() && (text.front() == u'\\' || text.front() == u'/'))
        text.remove_prefix(1);
    return foldCase(text) == foldCase(u"pim.vol");
}

class Session final : public detail::KernelObject {};

class CategoryDatabase final : public detail::KernelObject {
public:
    explicit CategoryDatabase(bool autoIncrement) : autoIncrement(autoIncrement) {}

    std::mutex mutex;
    const bool autoIncrement;
    CEOID current = 0;          // the current record, 0 for none
    std::int64_t index = -1;    // its index; -1 before the first seek
};

template <typename T>
T failWith(DWORD error, T result)
{
    lastError = error;
    return result;
}

}  // namespace

LONG addCategory(std::u16string_view name, CEOID* recordId)
{
    const std::u16string trimmed = pim::trimCategory(name);
    if (trimmed.empty() || trimmed.find(u',') != std::u16string::npos)
        return ERROR_INVALID_NAME;
    pim::Store store;
    int rc = store.status();
    CEOID recid = 0;
    if (rc == SQLITE_OK)
        rc = pim::addCategoryRecord(store, trimmed, recid);
    if (rc == SQLITE_OK && recordId)
        *recordId = recid;
    return pim::toWin32(rc);
}

LONG deleteCategory(std::u16string_view name)
{
    pim::Store store;
    int rc = store.status();
    if (rc == SQLITE_OK)
        rc = pim::deleteCategoryRecord(store, pim::trimCategory(name));
    return pim::toWin32(rc);
}

CategoryListResult listCategories()
{
    CategoryListResult result;
    pim::Store store;
    int rc = store.status();
    if (rc == SQLITE_OK)
        rc = pim::listCategoryRecords(store, result.categories);
    result.status = pim::toWin32(rc);
    return result;
}

}  // namespace handset

using namespace handset;

DWORD GetLastError()
{
    return lastError;
}

void SetLastError(DWORD dwErrCode)
{
    lastError = dwErrCode;
}

BOOL CloseHandle(HANDLE hObject)
{
    if (!detail::closeHandle(hObject))
        return failWith<BOOL>(ERROR_INVALID_HANDLE, FALSE);
    return TRUE;
}

BOOL CeMountDBVolEx(PCEGUID pGuid, LPCWSTR lpwszDBVol, CEVOLUMEOPTIONS* pOptions, DWORD dwFlags)
{
    if (!pGuid || !lpwszDBVol || pOptions)
        return failWith<BOOL>(ERROR_INVALID_PARAMETER, FALSE);
    if (!isPimVolumeName(lpwszDBVol))
        return failWith<BOOL>(ERROR_FILE_NOT_FOUND, FALSE);
    switch (dwFlags) {
    case OPEN_EXISTING:
        if (!pim::volumeExists())
            return failWith<BOOL>(ERROR_FILE_NOT_FOUND, FALSE);
        break;
    case CREATE_NEW:
        if (pim::volumeExists())
            return failWith<BOOL>(ERROR_ALREADY_EXISTS, FALSE);
        break;
    case OPEN_ALWAYS:
        break;
    case CREATE_ALWAYS:
    case TRUNCATE_EXISTING:
        return failWith<BOOL>(ERROR_ACCESS_DENIED, FALSE);
    default:
        return failWith<BOOL>(ERROR_INVALID_PARAMETER, FALSE);
    }
    {
        pim::Store store;
        if (store.status() != SQLITE_OK)
            return failWith<BOOL>(static_cast<DWORD>(pim::toWin32(store.status())), FALSE);
    }
    std::lock_guard lock(mountMutex);
    ++mountCount;
    *pGuid = kPimVolume;
    return TRUE;
}

BOOL CeUnmountDBVol(PCEGUID pGuid)
{
    std::lock_guard lock(mountMutex);
    if (!isPimVolume(pGuid) || mountCount == 0)
        return failWith<BOOL>(ERROR_INVALID_PARAMETER, FALSE);
    --mountCount;
    return TRUE;
}

HANDLE CeCreateSession(PCEGUID pGuid)
{
    if (!isMounted(pGuid))
        return failWith(ERROR_INVALID_PARAMETER, INVALID_HANDLE_VALUE);
    return detail::openHandle(std::make_shared<Session>());
}

HANDLE CeOpenDatabaseInSession(HANDLE hSession, PCEGUID pGuid, PCEOID poid, LPCWSTR lpszName,
                               SORTORDERSPECEX* pSort, DWORD dwFlags, CENOTIFYREQUEST* pRequest)
{
    if (!detail::objectOf<Session>(hSession))
        return failWith(ERROR_INVALID_HANDLE, INVALID_HANDLE_VALUE);
    if (pSort || pRequest || (dwFlags & ~CEDB_AUTOINCREMENT) != 0 || (pGuid && !isPimVolume(pGuid)))
        return failWith(ERROR_INVALID_PARAMETER, INVALID_HANDLE_VALUE);
    if (poid && *poid != 0) {
        if (*poid != kCategoryDatabaseOid)
            return failWith(ERROR_FILE_NOT_FOUND, INVALID_HANDLE_VALUE);
    } else {
        if (!lpszName)
            return failWith(ERROR_INVALID_PARAMETER, INVALID_HANDLE_VALUE);
        if (foldCase(lpszName) != foldCase(u"CategoryMainDB"))
            return failWith(ERROR_FILE_NOT_FOUND, INVALID_HANDLE_VALUE);
    }
    if (poid)
        *poid = kCategoryDatabaseOid;
    return detail::openHandle(std::make_shared<CategoryDatabase>((dwFlags & CEDB_AUTOINCREMENT) != 0));
}

CEOID CeSeekDatabaseEx(HANDLE hDatabase, DWORD dwSeekType, DWORD dwValue, WORD, LPDWORD lpdwIndex)
{
    const auto database = detail::objectOf<CategoryDatabase>(hDatabase);
    if (!database)
        return failWith<CEOID>(ERROR_INVALID_HANDLE, 0);
    std::lock_guard lock(database->mutex);
    pim::Store store;
    if (store.status() != SQLITE_OK)
        return failWith<CEOID>(static_cast<DWORD>(pim::toWin32(store.status())), 0);

    const auto offset = static_cast<std::int64_t>(static_cast<LONG>(dwValue));
    std::int64_t index = 0;
    CEOID recid = 0;
    int rc = SQLITE_OK;
    switch (dwSeekType) {
    case CEDB_SEEK_BEGINNING:
        index = dwValue;
        rc = pim::categoryAt(store, index, recid);
        break;
    case CEDB_SEEK_CURRENT:
        index = database->index + offset;
        rc = pim::categoryAt(store, index, recid);
        break;
    case CEDB_SEEK_END: {
        std::int64_t count = 0;
        rc = pim::categoryCount(store, count);
        index = count - 1 + offset;
        if (rc == SQLITE_OK)
            rc = index < count ? pim::categoryAt(store, index, recid) : pim::kMissing;
        break;
    }
    case CEDB_SEEK_CEOID:
        recid = dwValue;
        rc = pim::categoryIndex(store, recid, index);
        break;
    default:
        return failWith<CEOID>(ERROR_INVALID_PARAMETER, 0);
    }
    if (rc != SQLITE_OK) {
        database->current = 0;
        if (rc == pim::kMissing)
            return failWith<CEOID>(dwSeekType == CEDB_SEEK_CEOID ? ERROR_FILE_NOT_FOUND : ERROR_NO_MORE_ITEMS, 0);
        return failWith<CEOID>(static_cast<DWORD>(pim::toWin32(rc)), 0);
    }
    database->current = recid;
    database->index = index;
    if (lpdwIndex)
        *lpdwIndex = static_cast<DWORD>(index);
    return recid;
}

CEOID CeReadRecordPropsEx(HANDLE hDbase, DWORD dwFlags, LPWORD lpcPropID, CEPROPID* rgPropID, LPBYTE* lplpBuffer,
                          LPDWORD lpcbBuffer, HANDLE)
{
    const auto database = detail::objectOf<CategoryDatabase>(hDbase);
    if (!database)
        return failWith<CEOID>(ERROR_INVALID_HANDLE, 0);
    if (dwFlags != 0 || !lpcPropID || !lplpBuffer || !*lplpBuffer || !lpcbBuffer || (rgPropID && *lpcPropID == 0))
        return failWith<CEOID>(ERROR_INVALID_PARAMETER, 0);
    std::lock_guard lock(database->mutex);
    if (database->current == 0)
        return failWith<CEOID>(ERROR_NO_MORE_ITEMS, 0);

    pim::Store store;
    int rc = store.status();
    std::u16string name;
    if (rc == SQLITE_OK)
        rc = pim::categoryName(store, database->current, name);
    if (rc == pim::kMissing) {
        database->current = 0;  // deleted since the seek
        return failWith<CEOID>(ERROR_NO_MORE_ITEMS, 0);
    }
    if (rc != SQLITE_OK)
        return failWith<CEOID>(static_cast<DWORD>(pim::toWin32(rc)), 0);

    static constexpr CEPROPID kAll[] = {CEPROPID_CATEGORY_RECORDID, CEPROPID_CATEGORY_NAME};
    const CEPROPID* ids = rgPropID ? rgPropID : kAll;
    const WORD count = rgPropID ? *lpcPropID : static_cast<WORD>(std::size(kAll));
    std::vector<pim::PropRead> reads(count);
    for (WORD i = 0; i < count; ++i) {
        reads[i].propid = ids[i];
        if (ids[i] == CEPROPID_CATEGORY_RECORDID)
            reads[i].value.emplace(std::in_place_type<std::int64_t>, database->current);
        else if (ids[i] == CEPROPID_CATEGORY_NAME)
            reads[i].value.emplace(std::in_place_type<std::u16string>, name);
    }
    const std::size_t needed = pim::packedSize(reads);
    if (*lpcbBuffer < needed) {
        *lpcbBuffer = static_cast<DWORD>(needed);
        return failWith<CEOID>(ERROR_INSUFFICIENT_BUFFER, 0);
    }
    pim::packProps(reads, *lplpBuffer);
    *lpcPropID = count;

    const CEOID read = database->current;
    if (database->autoIncrement) {
        CEOID next = 0;
        database->current = pim::categoryAt(store, database->index + 1, next) == SQLITE_OK ? next : 0;
        ++database->index;
    }
    return read;
}
