// The category database as the categories page reads it (mount, session,
// open, seek by index, read two properties, close, unmount), its other
// seeks and error codes, and the device's category tools.

#include <cstring>
#include <vector>

#include <gtest/gtest.h>

#include <handset/cedb.h>
#include <handset/contacts_admin.h>
#include <handset/faults.h>

#include "test_device.h"

namespace handset::testing {
namespace {

constexpr DWORD kSentinel = 0xdeadbeef;

class CedbTest : public DeviceTest {
protected:
    void addCategories(std::initializer_list<const char16_t*> names)
    {
        for (const char16_t* name : names)
            ASSERT_EQ(ERROR_SUCCESS, addCategory(name));
    }

    // Mounts the volume and opens the category database; returns false
    // (with the failing call's error in GetLastError) when any step fails.
    bool open(DWORD openFlags = 0)
    {
        if (!CeMountDBVolEx(&volume_, u"pim.vol", nullptr, OPEN_EXISTING))
            return false;
        mounted_ = true;
        session_ = CeCreateSession(&volume_);
        if (session_ == INVALID_HANDLE_VALUE)
            return false;
        CEOID oid = 0;
        database_ = CeOpenDatabaseInSession(session_, &volume_, &oid, u"CategoryMainDB", nullptr, openFlags, nullptr);
        return database_ != INVALID_HANDLE_VALUE;
    }

    void TearDown() override
    {
        if (database_ != INVALID_HANDLE_VALUE) {
            EXPECT_TRUE(CloseHandle(database_));
        }
        if (session_ != INVALID_HANDLE_VALUE) {
            EXPECT_TRUE(CloseHandle(session_));
        }
        if (mounted_) {
            EXPECT_TRUE(CeUnmountDBVol(&volume_));
        }
    }

    struct Record {
        CEOID oid = 0;
        CEOID recordId = 0;
        std::u16string name;
    };

    // Reads the current record's two properties into a 1024-byte buffer.
    Record readCurrent()
    {
        std::vector<CEPROPVAL> storage(1024 / sizeof(CEPROPVAL));
        LPBYTE buffer = reinterpret_cast<LPBYTE>(storage.data());
        DWORD size = 1024;
        CEPROPID ids[] = {CEPROPID_CATEGORY_RECORDID, CEPROPID_CATEGORY_NAME};
        WORD count = 2;
        Record record;
        record.oid = CeReadRecordPropsEx(database_, 0, &count, ids, &buffer, &size, nullptr);
        if (record.oid == 0)
            return record;
        const auto* values = reinterpret_cast<const CEPROPVAL*>(buffer);
        EXPECT_EQ(0, values[0].wFlags);
        EXPECT_EQ(0, values[1].wFlags);
        record.recordId = values[0].val.ulVal;
        record.name = values[1].val.lpwstr;
        return record;
    }

    CEGUID volume_{};
    bool mounted_ = false;
    HANDLE session_ = INVALID_HANDLE_VALUE;
    HANDLE database_ = INVALID_HANDLE_VALUE;
};

TEST_F(CedbTest, ReadsEveryCategoryInRecordOrderByIndex)
{
    addCategories({u"Work", u"Family", u"Business"});
    contacts::ContactChanges contact;
    contact.categories = u"Family, Golf";  // Golf joins by a contact's save
    ASSERT_EQ(ERROR_SUCCESS, contacts::addContact(contact));
    ASSERT_TRUE(open()) << GetLastError();

    const auto listed = listCategories();
    ASSERT_TRUE(listed.ok());
    std::vector<std::u16string> names;
    for (DWORD index = 0;; ++index) {
        SCOPED_TRACE(index);
        DWORD found = kSentinel;
        const CEOID oid = CeSeekDatabaseEx(database_, CEDB_SEEK_BEGINNING, index, 0, &found);
        if (oid == 0) {
            EXPECT_EQ(static_cast<DWORD>(ERROR_NO_MORE_ITEMS), GetLastError());
            EXPECT_EQ(kSentinel, found);
            break;
        }
        EXPECT_EQ(index, found);
        const Record record = readCurrent();
        EXPECT_EQ(oid, record.oid);
        ASSERT_LT(index, listed.categories.size());
        EXPECT_EQ(listed.categories[index].recordId, record.recordId);
        names.push_back(record.name);
    }
    EXPECT_EQ((std::vector<std::u16string>{u"Work", u"Family", u"Business", u"Golf"}), names);
}

TEST_F(CedbTest, AutoIncrementReadsOnWithoutSeeking)
{
    addCategories({u"A", u"B", u"C"});
    ASSERT_TRUE(open(CEDB_AUTOINCREMENT));
    ASSERT_NE(0u, CeSeekDatabaseEx(database_, CEDB_SEEK_BEGINNING, 0, 0, nullptr));
    EXPECT_EQ(u"A", readCurrent().name);
    EXPECT_EQ(u"B", readCurrent().name);
    EXPECT_EQ(u"C", readCurrent().name);
    EXPECT_EQ(0u, readCurrent().oid);
    EXPECT_EQ(static_cast<DWORD>(ERROR_NO_MORE_ITEMS), GetLastError());
}

TEST_F(CedbTest, CurrentEndAndObjectIdSeeks)
{
    addCategories({u"A", u"B", u"C"});
    ASSERT_TRUE(open());
    const CEOID b = CeSeekDatabaseEx(database_, CEDB_SEEK_BEGINNING, 1, 0, nullptr);
    ASSERT_NE(0u, b);

    DWORD index = kSentinel;
    ASSERT_NE(0u, CeSeekDatabaseEx(database_, CEDB_SEEK_CURRENT, 1, 0, &index));
    EXPECT_EQ(2u, index);
    EXPECT_EQ(u"C", readCurrent().name);
    ASSERT_NE(0u, CeSeekDatabaseEx(database_, CEDB_SEEK_CURRENT, static_cast<DWORD>(-2), 0, &index));
    EXPECT_EQ(0u, index);
    ASSERT_NE(0u, CeSeekDatabaseEx(database_, CEDB_SEEK_END, 0, 0, &index));
    EXPECT_EQ(2u, index);
    ASSERT_NE(0u, CeSeekDatabaseEx(database_, CEDB_SEEK_END, static_cast<DWORD>(-1), 0, &index));
    EXPECT_EQ(u"B", readCurrent().name);
    EXPECT_EQ(0u, CeSeekDatabaseEx(database_, CEDB_SEEK_END, 1, 0, &index));
    EXPECT_EQ(static_cast<DWORD>(ERROR_NO_MORE_ITEMS), GetLastError());
    EXPECT_EQ(0u, readCurrent().oid);  // a failed seek leaves no current record

    index = kSentinel;
    EXPECT_EQ(b, CeSeekDatabaseEx(database_, CEDB_SEEK_CEOID, b, 0, &index));
    EXPECT_EQ(1u, index);
    EXPECT_EQ(0u, CeSeekDatabaseEx(database_, CEDB_SEEK_CEOID, b + 100, 0, &index));
    EXPECT_EQ(static_cast<DWORD>(ERROR_FILE_NOT_FOUND), GetLastError());
    EXPECT_EQ(0u, CeSeekDatabaseEx(database_, CEDB_SEEK_VALUEFIRSTEQUAL, 0, 1, &index));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_PARAMETER), GetLastError());
}

TEST_F(CedbTest, ReadIntoAShortBufferReportsTheSizeAndTouchesNothing)
{
    addCategories({u"Business"});
    ASSERT_TRUE(open());
    ASSERT_NE(0u, CeSeekDatabaseEx(database_, CEDB_SEEK_BEGINNING, 0, 0, nullptr));
    const DWORD needed = 2 * sizeof(CEPROPVAL) + sizeof(u"Business");

    std::vector<CEPROPVAL> storage(8);
    std::memset(storage.data(), 0xBD, storage.size() * sizeof(CEPROPVAL));
    LPBYTE buffer = reinterpret_cast<LPBYTE>(storage.data());
    CEPROPID ids[] = {CEPROPID_CATEGORY_RECORDID, CEPROPID_CATEGORY_NAME};
    WORD count = 2;
    DWORD size = needed - 1;
    EXPECT_EQ(0u, CeReadRecordPropsEx(database_, 0, &count, ids, &buffer, &size, nullptr));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER), GetLastError());
    EXPECT_EQ(needed, size);
    for (std::size_t i = 0; i < storage.size() * sizeof(CEPROPVAL); ++i)
        ASSERT_EQ(0xBD, reinterpret_cast<BYTE*>(storage.data())[i]) << i;

    // All properties, and a property the record does not have.
    CEPROPID withUnknown[] = {CEPROPID_CATEGORY_NAME, 0x0003001F};
    size = static_cast<DWORD>(storage.size() * sizeof(CEPROPVAL));
    EXPECT_NE(0u, CeReadRecordPropsEx(database_, 0, &count, withUnknown, &buffer, &size, nullptr));
    const auto* values = reinterpret_cast<const CEPROPVAL*>(buffer);
    EXPECT_EQ(u"Business", std::u16string(values[0].val.lpwstr));
    EXPECT_EQ(CEDB_PROPNOTFOUND, values[1].wFlags);

    count = 0;
    EXPECT_NE(0u, CeReadRecordPropsEx(database_, 0, &count, nullptr, &buffer, &size, nullptr));
    EXPECT_EQ(2, count);
    EXPECT_EQ(CEPROPID_CATEGORY_RECORDID, values[0].propid);
    EXPECT_EQ(CEPROPID_CATEGORY_NAME, values[1].propid);

    EXPECT_EQ(0u, CeReadRecordPropsEx(database_, CEDB_ALLOWREALLOC, &count, ids, &buffer, &size, nullptr));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_PARAMETER), GetLastError());
}

TEST_F(CedbTest, MountSessionAndOpenRefuseWhatTheyDoNotKnow)
{
    CEGUID guid;
    // A device whose contacts were never used has no volume yet.
    EXPECT_FALSE(CeMountDBVolEx(&guid, u"pim.vol", nullptr, OPEN_EXISTING));
    EXPECT_EQ(static_cast<DWORD>(ERROR_FILE_NOT_FOUND), GetLastError());
    EXPECT_FALSE(CeMountDBVolEx(&guid, u"\\other.vol", nullptr, OPEN_ALWAYS));
    EXPECT_EQ(static_cast<DWORD>(ERROR_FILE_NOT_FOUND), GetLastError());
    EXPECT_FALSE(CeMountDBVolEx(&guid, u"pim.vol", nullptr, CREATE_ALWAYS));
    EXPECT_EQ(static_cast<DWORD>(ERROR_ACCESS_DENIED), GetLastError());

    ASSERT_TRUE(CeMountDBVolEx(&guid, u"\\PIM.VOL", nullptr, OPEN_ALWAYS));
    EXPECT_FALSE(CeMountDBVolEx(&guid, u"pim.vol", nullptr, CREATE_NEW));
    EXPECT_EQ(static_cast<DWORD>(ERROR_ALREADY_EXISTS), GetLastError());
    HANDLE session = CeCreateSession(&guid);
    ASSERT_NE(INVALID_HANDLE_VALUE, session);

    CEOID oid = 0;
    EXPECT_EQ(INVALID_HANDLE_VALUE,
              CeOpenDatabaseInSession(session, &guid, &oid, u"ContactsDB", nullptr, 0, nullptr));
    EXPECT_EQ(static_cast<DWORD>(ERROR_FILE_NOT_FOUND), GetLastError());
    EXPECT_EQ(INVALID_HANDLE_VALUE, CeOpenDatabaseInSession(session, &guid, &oid, u"CategoryMainDB",
                                                            reinterpret_cast<SORTORDERSPECEX*>(&oid), 0, nullptr));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_PARAMETER), GetLastError());
    EXPECT_EQ(INVALID_HANDLE_VALUE, CeOpenDatabaseInSession(nullptr, &guid, &oid, u"CategoryMainDB", nullptr, 0,
                                                            nullptr));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_HANDLE), GetLastError());

    // Opened by name, then by the object id the first open reported.
    HANDLE byName = CeOpenDatabaseInSession(session, &guid, &oid, u"CategoryMainDB", nullptr, 0, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, byName);
    ASSERT_NE(0u, oid);
    HANDLE byOid = CeOpenDatabaseInSession(session, &guid, &oid, nullptr, nullptr, 0, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, byOid);

    // An empty database: the first seek fails, as the page expects.
    EXPECT_EQ(0u, CeSeekDatabaseEx(byName, CEDB_SEEK_BEGINNING, 0, 0, nullptr));
    EXPECT_EQ(static_cast<DWORD>(ERROR_NO_MORE_ITEMS), GetLastError());

    EXPECT_TRUE(CloseHandle(byName));
    EXPECT_FALSE(CloseHandle(byName));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_HANDLE), GetLastError());
    EXPECT_EQ(0u, CeSeekDatabaseEx(byName, CEDB_SEEK_BEGINNING, 0, 0, nullptr));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_HANDLE), GetLastError());
    // A session handle is not a database handle.
    EXPECT_EQ(0u, CeSeekDatabaseEx(session, CEDB_SEEK_BEGINNING, 0, 0, nullptr));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_HANDLE), GetLastError());
    EXPECT_TRUE(CloseHandle(byOid));
    EXPECT_TRUE(CloseHandle(session));

    EXPECT_TRUE(CeUnmountDBVol(&guid));
    EXPECT_FALSE(CeUnmountDBVol(&guid));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_PARAMETER), GetLastError());
    EXPECT_EQ(INVALID_HANDLE_VALUE, CeCreateSession(&guid));
}

TEST_F(CedbTest, CategoryToolsKeepNamesUniqueAndContactsInStep)
{
    CEOID work = 0;
    ASSERT_EQ(ERROR_SUCCESS, addCategory(u"  Work ", &work));
    EXPECT_NE(0u, work);
    EXPECT_EQ(ERROR_ALREADY_EXISTS, addCategory(u"WORK"));
    EXPECT_EQ(ERROR_INVALID_NAME, addCategory(u"   "));
    EXPECT_EQ(ERROR_INVALID_NAME, addCategory(u"A,B"));
    ASSERT_EQ(ERROR_SUCCESS, addCategory(u"'; DROP TABLE categories; --"));

    contacts::ContactChanges fields;
    fields.categories = u"Family, work,Golf";
    CEOID oid = 0;
    ASSERT_EQ(ERROR_SUCCESS, contacts::addContact(fields, &oid));

    auto listed = listCategories();
    ASSERT_TRUE(listed.ok());
    std::vector<std::u16string> names;
    for (const auto& record : listed.categories)
        names.push_back(record.name);
    EXPECT_EQ((std::vector<std::u16string>{u"Work", u"'; DROP TABLE categories; --", u"Family", u"Golf"}), names);
    EXPECT_EQ(work, listed.categories[0].recordId);

    // Deleting a category takes it out of the contacts that name it.
    ASSERT_EQ(ERROR_SUCCESS, deleteCategory(u"Work"));
    EXPECT_EQ(u"Family,Golf", contacts::showContact(oid).contact.categories);
    ASSERT_EQ(ERROR_SUCCESS, deleteCategory(u"family"));
    EXPECT_EQ(u"Golf", contacts::showContact(oid).contact.categories);
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, deleteCategory(u"Work"));

    listed = listCategories();
    ASSERT_TRUE(listed.ok());
    ASSERT_EQ(2u, listed.categories.size());
    EXPECT_EQ(u"Golf", listed.categories[1].name);
}

// The categories page's whole read (mount, session, open, seek and read
// each record, close, unmount) with one failing storage step: the call that
// hit it fails with the fault's code in GetLastError, nothing crashes, no
// handle is left open, and the same read succeeds right after.
TEST_F(CedbTest, AFailedStepFailsItsCallWithTheFaultsCode)
{
    addCategories({u"Work", u"Family"});
    auto readAll = [](std::vector<std::u16string>& names) -> bool {
        CEGUID volume{};
        if (!CeMountDBVolEx(&volume, u"pim.vol", nullptr, OPEN_EXISTING))
            return false;
        bool ok = false;
        const HANDLE session = CeCreateSession(&volume);
        if (session != INVALID_HANDLE_VALUE) {
            CEOID oid = 0;
            const HANDLE database =
                CeOpenDatabaseInSession(session, &volume, &oid, u"CategoryMainDB", nullptr, 0, nullptr);
            if (database != INVALID_HANDLE_VALUE) {
                ok = true;
                for (DWORD index = 0; ok; ++index) {
                    if (CeSeekDatabaseEx(database, CEDB_SEEK_BEGINNING, index, 0, nullptr) == 0) {
                        ok = GetLastError() == ERROR_NO_MORE_ITEMS;
                        break;
                    }
                    std::vector<CEPROPVAL> storage(1024 / sizeof(CEPROPVAL));
                    LPBYTE buffer = reinterpret_cast<LPBYTE>(storage.data());
                    DWORD size = 1024;
                    CEPROPID ids[] = {CEPROPID_CATEGORY_RECORDID, CEPROPID_CATEGORY_NAME};
                    WORD count = 2;
                    ok = CeReadRecordPropsEx(database, 0, &count, ids, &buffer, &size, nullptr) != 0;
                    if (ok)
                        names.push_back(reinterpret_cast<const CEPROPVAL*>(buffer)[1].val.lpwstr);
                }
                const DWORD error = GetLastError();
                EXPECT_TRUE(CloseHandle(database));
                SetLastError(error);
            }
            const DWORD error = GetLastError();
            EXPECT_TRUE(CloseHandle(session));
            SetLastError(error);
        }
        const DWORD error = GetLastError();
        EXPECT_TRUE(CeUnmountDBVol(&volume));
        SetLastError(error);
        return ok;
    };

    std::vector<std::u16string> names;
    faults::failStep(faults::Store::Contacts, 0, faults::Fault::IoError);
    ASSERT_TRUE(readAll(names));
    const int steps = faults::stepsTaken(faults::Store::Contacts);
    ASSERT_GT(steps, 2);
    const std::pair<faults::Fault, DWORD> kinds[] = {{faults::Fault::Busy, ERROR_BUSY},
                                                     {faults::Fault::IoError, ERROR_WRITE_FAULT},
                                                     {faults::Fault::DiskFull, ERROR_DISK_FULL}};
    for (int step = 1; step <= steps; ++step) {
        SCOPED_TRACE(step);
        const auto& [fault, code] = kinds[step % 3];
        std::vector<std::u16string> partial;
        faults::failStep(faults::Store::Contacts, step, fault);
        EXPECT_FALSE(readAll(partial));
        EXPECT_EQ(code, GetLastError());
        faults::failStep(faults::Store::Contacts, 0, faults::Fault::IoError);
        std::vector<std::u16string> again;
        EXPECT_TRUE(readAll(again));
        EXPECT_EQ(names, again);
    }
}

}  // namespace
}  // namespace handset::testing
