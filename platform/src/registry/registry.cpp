// The registry API on top of the store. Every function converts the store's
// SQLite codes to Win32 codes in one place, win32Code().
#include <handset/registry.h>
#include <handset/registry_batch.h>

#include <sqlite3.h>

#include <cstring>
#include <mutex>
#include <string>
#include <memory>
#include <vector>

#include <handset/wstring.h>

#include "cedb/handles.h"
#include "registry/store.h"

namespace {

// An open key: the row it names and its folded path, from which the paths of
// its subkeys are made. It is an object of the kernel's handle table, so
// that every call holds it for as long as it runs: a RegCloseKey on another
// thread closes the handle, and the key goes with the last call using it.
struct OpenKey final : handset::detail::KernelObject {
    OpenKey(std::int64_t id, std::string path) : id(id), path(std::move(path)) {}
    const std::int64_t id;
    const std::string path;
};
using KeyRef = std::shared_ptr<const OpenKey>;

using handset::registry::Access;
using handset::registry::Sql;
using handset::registry::Statement;
using handset::registry::Store;

// The one conversion from the storage engine's codes to Win32 codes.
LONG win32Code(int rc)
{
    switch (rc & 0xFF) {
    case SQLITE_OK:
    case SQLITE_DONE:
    case SQLITE_ROW:
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
    case SQLITE_READONLY:
    case SQLITE_PERM:
        return ERROR_CANTWRITE;
    case SQLITE_CORRUPT:
    case SQLITE_NOTADB:
        return ERROR_BADDB;
    default:
        return ERROR_REGISTRY_IO_FAILED;
    }
}

// Propagates a failed store step out of the calling function.
#define TRY_SQL(expr)                                                                                    \
    do {                                                                                                 \
        const int rc_ = (expr);                                                                          \
        if (rc_ != SQLITE_OK && rc_ != SQLITE_DONE && rc_ != SQLITE_ROW)                                 \
            return rc_;                                                                                  \
    } while (0)

// ---- handles -------------------------------------------------------------

struct Root {
    HKEY hkey;
    std::int64_t id;
    const char* path;
};
constexpr std::uintptr_t kRootBase = 0x80000000;
const Root kRoots[] = {
    {HKEY_CLASSES_ROOT, 1, "HKCR"},
    {HKEY_CURRENT_USER, 2, "HKCU"},
    {HKEY_LOCAL_MACHINE, 3, "HKLM"},
};

bool isRoot(HKEY key)
{
    const auto value = reinterpret_cast<std::uintptr_t>(key);
    return value >= kRootBase && value < kRootBase + std::size(kRoots);
}

HANDLE asHandle(HKEY key)
{
    return reinterpret_cast<HANDLE>(key);
}

// The key a handle names, held for the caller's call, or null for a handle
// that is not open.
KeyRef resolve(HKEY key)
{
    if (isRoot(key)) {
        static const auto* roots = [] {
            auto* made = new std::vector<KeyRef>;
            for (const Root& root : kRoots)
                made->push_back(std::make_shared<const OpenKey>(root.id, root.path));
            return made;
        }();
        return (*roots)[reinterpret_cast<std::uintptr_t>(key) - kRootBase];
    }
    return handset::detail::objectOf<OpenKey>(asHandle(key));
}

HKEY makeHandle(std::int64_t id, std::string path)
{
    return reinterpret_cast<HKEY>(handset::detail::openHandle(std::make_shared<OpenKey>(id, std::move(path))));
}

// ---- names ---------------------------------------------------------------

std::u16string_view view(LPCWSTR text)
{
    return text ? std::u16string_view(text) : std::u16string_view();
}

// The form names are compared in, as stored: folded and in UTF-8. Names are
// nearly always ASCII, and every call folds one, so ASCII takes a short cut.
std::string folded(std::u16string_view name)
{
    std::string out;
    out.reserve(name.size());
    for (char16_t c : name) {
        if (c >= 0x80)
            return handset::toUtf8(handset::foldCase(name));
        out += static_cast<char>(c >= u'a' && c <= u'z' ? c - (u'a' - u'A') : c);
    }
    return out;
}

// Checks a subkey path the way splitSubKey does and appends its folded
// form to `path`; opening and deleting need no more than that.
LONG appendFoldedSubKey(std::u16string_view subKey, std::string& path)
{
    if (!subKey.empty() && subKey.front() == u'\\')
        return ERROR_BAD_PATHNAME;
    if (!subKey.empty() && subKey.back() == u'\\')
        subKey.remove_suffix(1);
    if (subKey.empty())
        return ERROR_SUCCESS;
    std::size_t run = 0;
    for (char16_t c : subKey) {
        if (c != u'\\') {
            if (++run > MAX_KEY_NAME)
                return ERROR_INVALID_PARAMETER;
        } else if (run == 0) {
            return ERROR_BAD_PATHNAME;
        } else {
            run = 0;
        }
    }
    if (run == 0)
        return ERROR_BAD_PATHNAME;  // "a\\" after the one trailing '\' allowed
    path += '\\';
    path += folded(subKey);
    return ERROR_SUCCESS;
}

// One component of a subkey path, as written and as compared.
struct Component {
    std::string name;
    std::string folded;
};

// Splits a subkey path. A trailing backslash is allowed, as on the phone;
// an empty component, a leading backslash or a name over 255 characters is not.
LONG splitSubKey(std::u16string_view subKey, std::vector<Component>& parts)
{
    if (!subKey.empty() && subKey.front() == u'\\')
        return ERROR_BAD_PATHNAME;
    if (!subKey.empty() && subKey.back() == u'\\')
        subKey.remove_suffix(1);
    std::size_t start = 0;
    while (start <= subKey.size() && !subKey.empty()) {
        std::size_t end = subKey.find(u'\\', start);
        if (end == std::u16string_view::npos)
            end = subKey.size();
        const auto part = subKey.substr(start, end - start);
        if (part.empty())
            return ERROR_BAD_PATHNAME;
        if (part.size() > MAX_KEY_NAME)
            return ERROR_INVALID_PARAMETER;
        parts.push_back({handset::toUtf8(part), folded(part)});
        start = end + 1;
    }
    return ERROR_SUCCESS;
}

// The smallest and largest strings between which every path below `path`
// sorts: '\' and the character after it.
std::string subtreeLower(const std::string& path) { return path + '\\'; }
std::string subtreeUpper(const std::string& path) { return path + ']'; }

// ---- store steps (SQLite codes) ------------------------------------------

int findKey(Store& store, const std::string& path, std::int64_t& id)
{
    Statement find = store.statement(Sql::FindKey);
    const int rc = find.bindText(path).step();
    id = rc == SQLITE_ROW ? find.integer(0) : 0;
    return rc;
}

// SQLITE_ROW when the key still exists, SQLITE_DONE when it was deleted.
int keyExists(Store& store, std::int64_t id)
{
    return store.statement(Sql::KeyExists).bind(id).step();
}

// ERROR_KEY_DELETED for a handle whose key is gone, else `otherwise`.
LONG missingOr(Store& store, const OpenKey& key, LONG otherwise)
{
    const int rc = keyExists(store, key.id);
    if (rc == SQLITE_DONE)
        return ERROR_KEY_DELETED;
    return rc == SQLITE_ROW ? otherwise : win32Code(rc);
}

int createPath(Store& store, const OpenKey& base, const std::vector<Component>& parts, std::int64_t& id,
               std::string& path, DWORD& disposition)
{
    const int exists = keyExists(store, base.id);
    if (exists == SQLITE_DONE)
        return SQLITE_NOTFOUND;  // the base key was deleted while open
    TRY_SQL(exists);
    id = base.id;
    path = base.path;
    disposition = REG_OPENED_EXISTING_KEY;
    for (const Component& part : parts) {
        const std::int64_t parent = id;
        path += '\\';
        path += part.folded;
        const int found = findKey(store, path, id);
        TRY_SQL(found);
        if (found == SQLITE_ROW) {
            disposition = REG_OPENED_EXISTING_KEY;
            continue;
        }
        TRY_SQL(store.statement(Sql::InsertKey).bind(parent).bindText(path).bindText(part.name).step());
        id = sqlite3_last_insert_rowid(store.db());
        disposition = REG_CREATED_NEW_KEY;
    }
    return SQLITE_OK;
}

int deleteTree(Store& store, const std::string& path)
{
    const std::string lower = subtreeLower(path);
    const std::string upper = subtreeUpper(path);
    TRY_SQL(store.statement(Sql::DeleteTreeValues).bindText(path).bindText(lower).bindText(upper).step());
    TRY_SQL(store.statement(Sql::DeleteTreeKeys).bindText(path).bindText(lower).bindText(upper).step());
    return SQLITE_OK;
}

// Copies a name into a caller's buffer of *capacity characters.
LONG copyName(std::string_view utf8, LPWSTR buffer, LPDWORD capacity)
{
    const std::u16string name = handset::fromUtf8(utf8);
    if (name.size() + 1 > *capacity)
        return ERROR_MORE_DATA;
    std::memcpy(buffer, name.data(), name.size() * sizeof(WCHAR));
    buffer[name.size()] = u'\0';
    *capacity = static_cast<DWORD>(name.size());
    return ERROR_SUCCESS;
}

// Hands stored data to a caller the way RegQueryValueEx does.
LONG copyData(std::span<const std::uint8_t> data, DWORD type, LPDWORD lpType, LPBYTE lpData, LPDWORD lpcbData)
{
    if (lpType)
        *lpType = type;
    if (!lpcbData)
        return ERROR_SUCCESS;
    const auto size = static_cast<DWORD>(data.size());
    if (lpData && size > *lpcbData) {
        *lpcbData = size;
        return ERROR_MORE_DATA;
    }
    if (lpData && size > 0)
        std::memcpy(lpData, data.data(), size);
    *lpcbData = size;
    return ERROR_SUCCESS;
}

}  // namespace

LONG RegOpenKeyEx(HKEY hKey, LPCWSTR lpSubKey, DWORD, REGSAM, PHKEY phkResult)
{
    if (!phkResult)
        return ERROR_INVALID_PARAMETER;
    *phkResult = nullptr;
    const KeyRef base = resolve(hKey);
    if (!base)
        return ERROR_INVALID_HANDLE;
    std::string path = base->path;
    if (const LONG rc = appendFoldedSubKey(view(lpSubKey), path); rc != ERROR_SUCCESS)
        return rc;

    Store store(Access::Read);
    if (store.status() != SQLITE_OK)
        return win32Code(store.status());
    std::int64_t id = 0;
    const int rc = findKey(store, path, id);
    if (rc == SQLITE_DONE)
        return missingOr(store, *base, ERROR_FILE_NOT_FOUND);
    if (rc != SQLITE_ROW)
        return win32Code(rc);
    *phkResult = makeHandle(id, std::move(path));
    return ERROR_SUCCESS;
}

LONG RegCreateKeyEx(HKEY hKey, LPCWSTR lpSubKey, DWORD, LPWSTR, DWORD, REGSAM, void*, PHKEY phkResult,
                    LPDWORD lpdwDisposition)
{
    if (!phkResult)
        return ERROR_INVALID_PARAMETER;
    *phkResult = nullptr;
    const KeyRef base = resolve(hKey);
    if (!base)
        return ERROR_INVALID_HANDLE;
    std::vector<Component> parts;
    if (const LONG rc = splitSubKey(view(lpSubKey), parts); rc != ERROR_SUCCESS)
        return rc;

    Store store(Access::Write);
    if (store.status() != SQLITE_OK)
        return win32Code(store.status());
    std::int64_t id = 0;
    std::string path;
    DWORD disposition = REG_OPENED_EXISTING_KEY;
    int rc = store.beginWrite();
    if (rc == SQLITE_OK)
        rc = createPath(store, *base, parts, id, path, disposition);
    rc = store.endWrite(rc);
    if (rc == SQLITE_NOTFOUND)
        return ERROR_KEY_DELETED;
    if (rc != SQLITE_OK)
        return win32Code(rc);
    if (lpdwDisposition)
        *lpdwDisposition = disposition;
    *phkResult = makeHandle(id, std::move(path));
    return ERROR_SUCCESS;
}

LONG RegQueryValueEx(HKEY hKey, LPCWSTR lpValueName, LPDWORD, LPDWORD lpType, LPBYTE lpData, LPDWORD lpcbData)
{
    if (lpData && !lpcbData)
        return ERROR_INVALID_PARAMETER;
    const KeyRef key = resolve(hKey);
    if (!key)
        return ERROR_INVALID_HANDLE;
    const std::string name = folded(view(lpValueName));

    Store store(Access::Read);
    if (store.status() != SQLITE_OK)
        return win32Code(store.status());
    Statement query = store.statement(Sql::QueryValue);
    const int rc = query.bind(key->id).bindText(name).step();
    if (rc == SQLITE_DONE)
        return missingOr(store, *key, ERROR_FILE_NOT_FOUND);
    if (rc != SQLITE_ROW)
        return win32Code(rc);
    return copyData(query.blob(1), static_cast<DWORD>(query.integer(0)), lpType, lpData, lpcbData);
}

LONG RegSetValueEx(HKEY hKey, LPCWSTR lpValueName, DWORD, DWORD dwType, const BYTE* lpData, DWORD cbData)
{
    if (!lpData && cbData > 0)
        return ERROR_INVALID_PARAMETER;
    const KeyRef key = resolve(hKey);
    if (!key)
        return ERROR_INVALID_HANDLE;
    const std::u16string_view name = view(lpValueName);
    if (name.size() > MAX_VALUE_NAME)
        return ERROR_INVALID_PARAMETER;

    Store store(Access::Write);
    if (store.status() != SQLITE_OK)
        return win32Code(store.status());
    const int rc = store.statement(Sql::SetValue)
                       .bind(key->id)
                       .bindText(folded(name))
                       .bindText(handset::toUtf8(name))
                       .bind(std::int64_t{dwType})
                       .bind(std::span<const std::uint8_t>(lpData, cbData))
                       .step();
    if (rc != SQLITE_DONE)
        return win32Code(rc);
    if (sqlite3_changes(store.db()) == 0)
        return ERROR_KEY_DELETED;
    return ERROR_SUCCESS;
}

LONG RegDeleteValue(HKEY hKey, LPCWSTR lpValueName)
{
    const KeyRef key = resolve(hKey);
    if (!key)
        return ERROR_INVALID_HANDLE;
    Store store(Access::Write);
    if (store.status() != SQLITE_OK)
        return win32Code(store.status());
    const int rc = store.statement(Sql::DeleteValue).bind(key->id).bindText(folded(view(lpValueName))).step();
    if (rc != SQLITE_DONE)
        return win32Code(rc);
    if (sqlite3_changes(store.db()) == 0)
        return missingOr(store, *key, ERROR_FILE_NOT_FOUND);
    return ERROR_SUCCESS;
}

LONG RegDeleteKey(HKEY hKey, LPCWSTR lpSubKey)
{
    const KeyRef base = resolve(hKey);
    if (!base)
        return ERROR_INVALID_HANDLE;
    std::string path = base->path;
    if (const LONG rc = appendFoldedSubKey(view(lpSubKey), path); rc != ERROR_SUCCESS)
        return rc;
    if (path == base->path && isRoot(hKey))
        return ERROR_ACCESS_DENIED;

    Store store(Access::Write);
    if (store.status() != SQLITE_OK)
        return win32Code(store.status());
    std::int64_t id = 0;
    int rc = store.beginWrite();
    if (rc == SQLITE_OK) {
        rc = findKey(store, path, id);
        if (rc == SQLITE_ROW)
            rc = deleteTree(store, path);
        else if (rc == SQLITE_DONE)
            rc = SQLITE_NOTFOUND;
    }
    rc = store.endWrite(rc);
    if (rc == SQLITE_NOTFOUND)
        return missingOr(store, *base, ERROR_FILE_NOT_FOUND);
    return win32Code(rc);
}

LONG RegEnumKeyEx(HKEY hKey, DWORD dwIndex, LPWSTR lpName, LPDWORD lpcchName, LPDWORD, LPWSTR lpClass,
                  LPDWORD lpcchClass, PFILETIME lpftLastWriteTime)
{
    if (!lpName || !lpcchName)
        return ERROR_INVALID_PARAMETER;
    const KeyRef key = resolve(hKey);
    if (!key)
        return ERROR_INVALID_HANDLE;
    Store store(Access::Read);
    if (store.status() != SQLITE_OK)
        return win32Code(store.status());
    Statement enumerate = store.statement(Sql::EnumKey);
    const int rc = enumerate.bind(key->id).bind(std::int64_t{dwIndex}).step();
    if (rc == SQLITE_DONE)
        return missingOr(store, *key, ERROR_NO_MORE_ITEMS);
    if (rc != SQLITE_ROW)
        return win32Code(rc);
    const LONG copied = copyName(enumerate.text(0), lpName, lpcchName);
    if (copied == ERROR_SUCCESS) {
        // Keys carry no class and no write time here.
        if (lpClass && lpcchClass && *lpcchClass > 0)
            lpClass[0] = u'\0';
        if (lpcchClass)
            *lpcchClass = 0;
        if (lpftLastWriteTime)
            *lpftLastWriteTime = FILETIME{0, 0};
    }
    return copied;
}

LONG RegEnumValue(HKEY hKey, DWORD dwIndex, LPWSTR lpValueName, LPDWORD lpcchValueName, LPDWORD, LPDWORD lpType,
                  LPBYTE lpData, LPDWORD lpcbData)
{
    if (!lpValueName || !lpcchValueName || (lpData && !lpcbData))
        return ERROR_INVALID_PARAMETER;
    const KeyRef key = resolve(hKey);
    if (!key)
        return ERROR_INVALID_HANDLE;
    Store store(Access::Read);
    if (store.status() != SQLITE_OK)
        return win32Code(store.status());
    Statement enumerate = store.statement(Sql::EnumValue);
    const int rc = enumerate.bind(key->id).bind(std::int64_t{dwIndex}).step();
    if (rc == SQLITE_DONE)
        return missingOr(store, *key, ERROR_NO_MORE_ITEMS);
    if (rc != SQLITE_ROW)
        return win32Code(rc);
    if (const LONG copied = copyName(enumerate.text(0), lpValueName, lpcchValueName); copied != ERROR_SUCCESS)
        return copied;
    return copyData(enumerate.blob(2), static_cast<DWORD>(enumerate.integer(1)), lpType, lpData, lpcbData);
}

LONG RegQueryInfoKey(HKEY hKey, LPWSTR lpClass, LPDWORD lpcchClass, LPDWORD, LPDWORD lpcSubKeys,
                     LPDWORD lpcbMaxSubKeyLen, LPDWORD lpcbMaxClassLen, LPDWORD lpcValues,
                     LPDWORD lpcbMaxValueNameLen, LPDWORD lpcbMaxValueLen, LPDWORD lpcbSecurityDescriptor,
                     PFILETIME lpftLastWriteTime)
{
    const KeyRef key = resolve(hKey);
    if (!key)
        return ERROR_INVALID_HANDLE;
    Store store(Access::Read);
    if (store.status() != SQLITE_OK)
        return win32Code(store.status());
    if (keyExists(store, key->id) == SQLITE_DONE)
        return ERROR_KEY_DELETED;

    DWORD subKeys = 0, maxSubKey = 0, values = 0, maxValueName = 0, maxValue = 0;
    {
        Statement names = store.statement(Sql::SubkeyNames);
        names.bind(key->id);
        int rc;
        while ((rc = names.step()) == SQLITE_ROW) {
            ++subKeys;
            maxSubKey = std::max(maxSubKey, static_cast<DWORD>(handset::fromUtf8(names.text(0)).size()));
        }
        if (rc != SQLITE_DONE)
            return win32Code(rc);
    }
    {
        Statement info = store.statement(Sql::ValueInfo);
        info.bind(key->id);
        int rc;
        while ((rc = info.step()) == SQLITE_ROW) {
            ++values;
            maxValueName = std::max(maxValueName, static_cast<DWORD>(handset::fromUtf8(info.text(0)).size()));
            maxValue = std::max(maxValue, static_cast<DWORD>(info.integer(1)));
        }
        if (rc != SQLITE_DONE)
            return win32Code(rc);
    }
    if (lpClass && lpcchClass && *lpcchClass > 0)
        lpClass[0] = u'\0';
    if (lpcchClass)
        *lpcchClass = 0;
    if (lpcSubKeys)
        *lpcSubKeys = subKeys;
    if (lpcbMaxSubKeyLen)
        *lpcbMaxSubKeyLen = maxSubKey;
    if (lpcbMaxClassLen)
        *lpcbMaxClassLen = 0;
    if (lpcValues)
        *lpcValues = values;
    if (lpcbMaxValueNameLen)
        *lpcbMaxValueNameLen = maxValueName;
    if (lpcbMaxValueLen)
        *lpcbMaxValueLen = maxValue;
    if (lpcbSecurityDescriptor)
        *lpcbSecurityDescriptor = 0;
    if (lpftLastWriteTime)
        *lpftLastWriteTime = FILETIME{0, 0};
    return ERROR_SUCCESS;
}

LONG RegFlushKey(HKEY hKey)
{
    if (!resolve(hKey))
        return ERROR_INVALID_HANDLE;
    Store store(Access::Write);
    if (store.status() != SQLITE_OK)
        return win32Code(store.status());
    return win32Code(store.checkpoint());
}

LONG RegCloseKey(HKEY hKey)
{
    if (isRoot(hKey))
        return ERROR_SUCCESS;
    // Handle values are never reused: between the two steps, another
    // thread can only close this very key, and then this close fails.
    if (!resolve(hKey) || !handset::detail::closeHandle(asHandle(hKey)))
        return ERROR_INVALID_HANDLE;
    return ERROR_SUCCESS;
}

namespace handset {

LONG RegApplyBatch(const std::function<LONG()>& work)
{
    Store store(Access::Write);
    if (store.status() != SQLITE_OK)
        return win32Code(store.status());
    if (const int rc = store.beginWrite(); rc != SQLITE_OK)
        return win32Code(store.endWrite(rc));
    const LONG result = work();
    // A batch that failed is undone whole; its own code is what the caller
    // wants to hear, not the rollback's.
    const int rc = store.endWrite(result == ERROR_SUCCESS ? SQLITE_OK : SQLITE_ABORT);
    if (result != ERROR_SUCCESS)
        return result;
    return win32Code(rc);
}

LONG RegReadSnapshot(const std::function<LONG()>& work)
{
    Store store(Access::Read);
    if (store.status() != SQLITE_OK)
        return win32Code(store.status());
    LONG result = ERROR_SUCCESS;
    if (const int rc = store.readSnapshot([&] { result = work(); }); rc != SQLITE_OK)
        return win32Code(rc);
    return result;
}

}  // namespace handset
