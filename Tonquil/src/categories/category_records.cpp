#include "category_records.h"

#include <optional>

#include <handset/cedb.h>

namespace tonquil {

namespace {

constexpr const WCHAR* kVolume = u"pim.vol";
constexpr const WCHAR* kDatabase = u"CategoryMainDB";
// Enough for the record id and a name of some 500 characters; a longer
// name grows the buffer rather than being lost.
constexpr DWORD kFirstBufferSize = 1024;

// The current record's id and name; nothing when the name does not read.
std::optional<CategoryEntry> readCurrent(HANDLE database, std::vector<CEPROPVAL>& storage)
{
    CEPROPID ids[] = {CEPROPID_CATEGORY_RECORDID, CEPROPID_CATEGORY_NAME};
    for (int attempt = 0; attempt < 2; ++attempt) {
        WORD count = 2;
        auto* buffer = reinterpret_cast<LPBYTE>(storage.data());
        DWORD size = static_cast<DWORD>(storage.size() * sizeof(CEPROPVAL));
        if (CeReadRecordPropsEx(database, 0, &count, ids, &buffer, &size, nullptr) != 0) {
            const auto* values = reinterpret_cast<const CEPROPVAL*>(buffer);
            const CEPROPVAL& name = values[1];
            if ((name.wFlags & CEDB_PROPNOTFOUND) || !name.val.lpwstr || !*name.val.lpwstr)
                return std::nullopt;
            CategoryEntry entry;
            if (!(values[0].wFlags & CEDB_PROPNOTFOUND))
                entry.recordId = values[0].val.ulVal;
            entry.name = name.val.lpwstr;
            return entry;
        }
        if (GetLastError() != ERROR_INSUFFICIENT_BUFFER)
            return std::nullopt;
        storage.resize((size + sizeof(CEPROPVAL) - 1) / sizeof(CEPROPVAL));
    }
    return std::nullopt;
}

void readRecords(HANDLE database, std::vector<CategoryEntry>& entries)
{
    // CEPROPVAL elements keep the buffer aligned as the read wants it.
    std::vector<CEPROPVAL> storage(kFirstBufferSize / sizeof(CEPROPVAL));
    // Seeking by index from the beginning each time; the first failed seek
    // is the end of the records (or a failure, which ends them as well).
    for (DWORD index = 0; CeSeekDatabaseEx(database, CEDB_SEEK_BEGINNING, index, 0, nullptr) != 0; ++index) {
        if (std::optional<CategoryEntry> entry = readCurrent(database, storage))
            entries.push_back(std::move(*entry));
    }
}

}  // namespace

std::vector<CategoryEntry> readCategories()
{
    std::vector<CategoryEntry> entries;
    CEGUID volume{};
    if (!CeMountDBVolEx(&volume, kVolume, nullptr, OPEN_EXISTING))
        return entries;
    const HANDLE session = CeCreateSession(&volume);
    if (session != INVALID_HANDLE_VALUE) {
        const HANDLE database = CeOpenDatabaseInSession(session, &volume, nullptr, kDatabase, nullptr, 0, nullptr);
        if (database != INVALID_HANDLE_VALUE) {
            readRecords(database, entries);
            CloseHandle(database);
        }
        CloseHandle(session);
    }
    CeUnmountDBVol(&volume);
    return entries;
}

}  // namespace tonquil
