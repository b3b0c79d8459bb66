// Conformance of the registry with the phone's: exact codes, exact sizes,
// buffers left alone where the phone leaves them alone.
#include <handset/registry.h>
#include <handset/registry_batch.h>

#include <atomic>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "test_device.h"

namespace {

using handset::testing::DeviceTest;

constexpr BYTE kSentinel = 0xBD;
constexpr DWORD kSentinelDword = 0xdeadbeef;
constexpr LONG kWorkFailed = 13;  // ERROR_INVALID_DATA, as a batch's own failure

class RegistryTest : public DeviceTest {
protected:
    HKEY create(HKEY root, const char16_t* path)
    {
        HKEY key = nullptr;
        DWORD disposition = 0;
        EXPECT_EQ(ERROR_SUCCESS, RegCreateKeyEx(root, path, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key,
                                                &disposition));
        return key;
    }

    static void setString(HKEY key, const char16_t* name, std::u16string_view text)
    {
        ASSERT_EQ(ERROR_SUCCESS, RegSetValueEx(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text.data()),
                                               static_cast<DWORD>((text.size() + 1) * 2)));
    }

    static void setDword(HKEY key, const char16_t* name, DWORD value)
    {
        ASSERT_EQ(ERROR_SUCCESS, RegSetValueEx(key, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), 4));
    }
};

TEST_F(RegistryTest, CreateReportsDispositionAndMakesIntermediateKeys)
{
    HKEY key = nullptr;
    DWORD disposition = kSentinelDword;
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyEx(HKEY_CURRENT_USER, u"Software\\Quorrel\\Tonquil", 0, nullptr, 0,
                                            KEY_ALL_ACCESS, nullptr, &key, &disposition));
    EXPECT_EQ(REG_CREATED_NEW_KEY, disposition);
    EXPECT_EQ(ERROR_SUCCESS, RegCloseKey(key));

    // Every key on the way exists now.
    for (const char16_t* path : {u"Software", u"Software\\Quorrel", u"SOFTWARE\\quorrel\\TONQUIL"}) {
        SCOPED_TRACE(std::string(path, path + std::char_traits<char16_t>::length(path)));
        key = reinterpret_cast<HKEY>(0x1);
        ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyEx(HKEY_CURRENT_USER, path, 0, KEY_READ, &key));
        EXPECT_EQ(ERROR_SUCCESS, RegCloseKey(key));
    }

    disposition = kSentinelDword;
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyEx(HKEY_CURRENT_USER, u"software\\QUORREL\\tonquil", 0, nullptr, 0,
                                            KEY_ALL_ACCESS, nullptr, &key, &disposition));
    EXPECT_EQ(REG_OPENED_EXISTING_KEY, disposition);
    RegCloseKey(key);

    // The roots are separate trees.
    key = reinterpret_cast<HKEY>(0x1);
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, RegOpenKeyEx(HKEY_LOCAL_MACHINE, u"Software\\Quorrel", 0, KEY_READ, &key));
    EXPECT_EQ(nullptr, key);
}

TEST_F(RegistryTest, NamesKeepTheirFirstSpelling)
{
    HKEY key = create(HKEY_CURRENT_USER, u"Software\\Quorrel\\Tonquil\\Profiles");
    setDword(key, u"currentProfile", 3);
    setDword(key, u"CURRENTPROFILE", 4);  // same value, rewritten
    RegCloseKey(key);
    HKEY again = create(HKEY_CURRENT_USER, u"SOFTWARE\\QUORREL");
    RegCloseKey(again);

    HKEY parent = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyEx(HKEY_CURRENT_USER, u"software\\quorrel", 0, KEY_READ, &parent));
    WCHAR name[64];
    DWORD cch = 64;
    ASSERT_EQ(ERROR_SUCCESS, RegEnumKeyEx(parent, 0, name, &cch, nullptr, nullptr, nullptr, nullptr));
    EXPECT_EQ(u"Tonquil", std::u16string(name, cch));
    RegCloseKey(parent);

    HKEY profiles = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyEx(HKEY_CURRENT_USER, u"Software\\Quorrel\\Tonquil\\PROFILES", 0, KEY_READ,
                                          &profiles));
    cch = 64;
    DWORD type = 0, data = 0, cb = 4;
    ASSERT_EQ(ERROR_SUCCESS, RegEnumValue(profiles, 0, name, &cch, nullptr, &type, reinterpret_cast<BYTE*>(&data),
                                          &cb));
    EXPECT_EQ(u"currentProfile", std::u16string(name, cch));
    EXPECT_EQ(4u, data);
    EXPECT_EQ(ERROR_NO_MORE_ITEMS, RegEnumValue(profiles, 1, name, &cch, nullptr, nullptr, nullptr, nullptr));
    RegCloseKey(profiles);
}

TEST_F(RegistryTest, CaseFoldingCoversLettersBeyondAscii)
{
    HKEY key = create(HKEY_CURRENT_USER, u"Kategorien\\Größe");
    setString(key, u"Tön", u"a");
    RegCloseKey(key);
    ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyEx(HKEY_CURRENT_USER, u"KATEGORIEN\\GRÖßE", 0, KEY_READ, &key));
    DWORD cb = 0;
    EXPECT_EQ(ERROR_SUCCESS, RegQueryValueEx(key, u"TÖN", nullptr, nullptr, nullptr, &cb));
    EXPECT_EQ(4u, cb);
    RegCloseKey(key);
}

TEST_F(RegistryTest, QueryReportsSizesAndRefusesShortBuffers)
{
    HKEY key = create(HKEY_CURRENT_USER, u"Test");
    setString(key, u"Sound", u"\\Windows\\Ring.wav");  // 17 characters
    const DWORD expected = (17 + 1) * 2;

    // Size query: no data pointer.
    DWORD type = kSentinelDword, cb = kSentinelDword;
    EXPECT_EQ(ERROR_SUCCESS, RegQueryValueEx(key, u"Sound", nullptr, &type, nullptr, &cb));
    EXPECT_EQ(REG_SZ, type);
    EXPECT_EQ(expected, cb);

    // One byte short: ERROR_MORE_DATA, the size needed, the buffer untouched.
    std::vector<BYTE> buffer(64, kSentinel);
    cb = expected - 1;
    type = kSentinelDword;
    EXPECT_EQ(ERROR_MORE_DATA, RegQueryValueEx(key, u"sound", nullptr, &type, buffer.data(), &cb));
    EXPECT_EQ(expected, cb);
    EXPECT_EQ(REG_SZ, type);
    for (BYTE b : buffer)
        ASSERT_EQ(kSentinel, b);

    // Exact fit: the bytes as stored and not one byte more.
    cb = expected;
    ASSERT_EQ(ERROR_SUCCESS, RegQueryValueEx(key, u"Sound", nullptr, &type, buffer.data(), &cb));
    EXPECT_EQ(expected, cb);
    EXPECT_EQ(0, std::memcmp(buffer.data(), u"\\Windows\\Ring.wav", expected));
    EXPECT_EQ(kSentinel, buffer[expected]);

    // Data without a size is a caller error.
    EXPECT_EQ(ERROR_INVALID_PARAMETER, RegQueryValueEx(key, u"Sound", nullptr, &type, buffer.data(), nullptr));

    // A missing value leaves the outputs alone.
    cb = kSentinelDword;
    type = kSentinelDword;
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, RegQueryValueEx(key, u"Script", nullptr, &type, nullptr, &cb));
    EXPECT_EQ(kSentinelDword, cb);
    EXPECT_EQ(kSentinelDword, type);
    RegCloseKey(key);
}

TEST_F(RegistryTest, StoresExactlyTheBytesGiven)
{
    HKEY key = create(HKEY_CURRENT_USER, u"Test");
    // A string without its terminator, an odd-sized string, an empty binary:
    // all come back byte for byte, with the type they were written with.
    const char16_t text[] = u"abc";
    ASSERT_EQ(ERROR_SUCCESS, RegSetValueEx(key, u"noterm", 0, REG_SZ, reinterpret_cast<const BYTE*>(text), 6));
    ASSERT_EQ(ERROR_SUCCESS, RegSetValueEx(key, u"odd", 0, REG_SZ, reinterpret_cast<const BYTE*>(text), 5));
    ASSERT_EQ(ERROR_SUCCESS, RegSetValueEx(key, u"empty", 0, REG_BINARY, nullptr, 0));
    const BYTE blob[] = {0, 1, 0, 0xFF};
    ASSERT_EQ(ERROR_SUCCESS, RegSetValueEx(key, nullptr, 0, REG_BINARY, blob, sizeof blob));

    struct Expect {
        const char16_t* name;
        DWORD type;
        DWORD size;
    };
    for (const Expect& e : {Expect{u"noterm", REG_SZ, 6}, Expect{u"odd", REG_SZ, 5}, Expect{u"empty", REG_BINARY, 0},
                            Expect{u"", REG_BINARY, 4}}) {
        SCOPED_TRACE(e.size);
        BYTE buffer[16];
        std::memset(buffer, kSentinel, sizeof buffer);
        DWORD type = kSentinelDword, cb = sizeof buffer;
        ASSERT_EQ(ERROR_SUCCESS, RegQueryValueEx(key, e.name, nullptr, &type, buffer, &cb));
        EXPECT_EQ(e.type, type);
        EXPECT_EQ(e.size, cb);
        EXPECT_EQ(kSentinel, buffer[e.size]);
    }
    // The default value is reached by null and by an empty name alike.
    DWORD cb = 0;
    EXPECT_EQ(ERROR_SUCCESS, RegQueryValueEx(key, nullptr, nullptr, nullptr, nullptr, &cb));
    EXPECT_EQ(4u, cb);

    // Rewriting replaces type and data.
    setDword(key, u"odd", 7);
    DWORD type = 0, value = 0;
    cb = 4;
    ASSERT_EQ(ERROR_SUCCESS, RegQueryValueEx(key, u"odd", nullptr, &type, reinterpret_cast<BYTE*>(&value), &cb));
    EXPECT_EQ(REG_DWORD, type);
    EXPECT_EQ(7u, value);
    RegCloseKey(key);
}

TEST_F(RegistryTest, EnumerationEndsWithNoMoreItems)
{
    HKEY key = create(HKEY_CURRENT_USER, u"Enum");
    for (const char16_t* sub : {u"b", u"A", u"c"}) {
        HKEY child = create(key, sub);
        RegCloseKey(child);
    }
    setDword(key, u"second", 2);
    setDword(key, u"first", 1);

    std::u16string names;
    WCHAR name[8];
    DWORD index = 0;
    for (;; ++index) {
        DWORD cch = 8;
        const LONG rc = RegEnumKeyEx(key, index, name, &cch, nullptr, nullptr, nullptr, nullptr);
        if (rc == ERROR_NO_MORE_ITEMS)
            break;
        ASSERT_EQ(ERROR_SUCCESS, rc);
        names += std::u16string(name, cch);
    }
    EXPECT_EQ(3u, index);
    EXPECT_EQ(u"Abc", names);  // in order of folded names

    // Values come in the order they were created.
    DWORD cch = 8;
    ASSERT_EQ(ERROR_SUCCESS, RegEnumValue(key, 0, name, &cch, nullptr, nullptr, nullptr, nullptr));
    EXPECT_EQ(u"second", std::u16string(name, cch));
    cch = 8;
    EXPECT_EQ(ERROR_NO_MORE_ITEMS, RegEnumValue(key, 2, name, &cch, nullptr, nullptr, nullptr, nullptr));

    // A name buffer without room for the terminator.
    cch = 6;
    std::memset(name, kSentinel, sizeof name);
    EXPECT_EQ(ERROR_MORE_DATA, RegEnumValue(key, 0, name, &cch, nullptr, nullptr, nullptr, nullptr));
    EXPECT_EQ(6u, cch);

    // A data buffer too short reports the size needed.
    cch = 8;
    DWORD data = 0, cb = 2;
    EXPECT_EQ(ERROR_MORE_DATA, RegEnumValue(key, 1, name, &cch, nullptr, nullptr, reinterpret_cast<BYTE*>(&data), &cb));
    EXPECT_EQ(4u, cb);

    DWORD subKeys = 0, values = 0, maxSub = 0, maxName = 0, maxData = 0;
    ASSERT_EQ(ERROR_SUCCESS, RegQueryInfoKey(key, nullptr, nullptr, nullptr, &subKeys, &maxSub, nullptr, &values,
                                             &maxName, &maxData, nullptr, nullptr));
    EXPECT_EQ(3u, subKeys);
    EXPECT_EQ(1u, maxSub);
    EXPECT_EQ(2u, values);
    EXPECT_EQ(6u, maxName);
    EXPECT_EQ(4u, maxData);
    RegCloseKey(key);
}

TEST_F(RegistryTest, DeleteKeyTakesTheWholeSubtreeAndNothingElse)
{
    HKEY a = create(HKEY_CURRENT_USER, u"Tree\\A\\Deep\\Deeper");
    setDword(a, u"v", 1);
    RegCloseKey(a);
    HKEY sibling = create(HKEY_CURRENT_USER, u"Tree\\A2");  // shares the prefix "A"
    setDword(sibling, u"v", 2);
    RegCloseKey(sibling);
    HKEY other = create(HKEY_CURRENT_USER, u"Tree\\A]");  // sorts right after the subtree
    RegCloseKey(other);

    EXPECT_EQ(ERROR_SUCCESS, RegDeleteKey(HKEY_CURRENT_USER, u"TREE\\a"));
    HKEY key = nullptr;
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, RegOpenKeyEx(HKEY_CURRENT_USER, u"Tree\\A", 0, KEY_READ, &key));
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, RegOpenKeyEx(HKEY_CURRENT_USER, u"Tree\\A\\Deep\\Deeper", 0, KEY_READ, &key));
    ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyEx(HKEY_CURRENT_USER, u"Tree\\A2", 0, KEY_READ, &key));
    DWORD cb = 0;
    EXPECT_EQ(ERROR_SUCCESS, RegQueryValueEx(key, u"v", nullptr, nullptr, nullptr, &cb));
    RegCloseKey(key);
    ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyEx(HKEY_CURRENT_USER, u"Tree\\A]", 0, KEY_READ, &key));
    RegCloseKey(key);

    EXPECT_EQ(ERROR_FILE_NOT_FOUND, RegDeleteKey(HKEY_CURRENT_USER, u"Tree\\A"));
    EXPECT_EQ(ERROR_ACCESS_DENIED, RegDeleteKey(HKEY_CURRENT_USER, nullptr));
}

TEST_F(RegistryTest, DeletedKeyFailsFurtherCallsCleanly)
{
    HKEY key = create(HKEY_CURRENT_USER, u"Doomed\\Child");
    setDword(key, u"v", 1);
    HKEY parent = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyEx(HKEY_CURRENT_USER, u"Doomed", 0, KEY_READ, &parent));
    ASSERT_EQ(ERROR_SUCCESS, RegDeleteKey(HKEY_CURRENT_USER, u"Doomed"));

    DWORD cb = 4, value = 0;
    EXPECT_EQ(ERROR_KEY_DELETED, RegQueryValueEx(key, u"v", nullptr, nullptr, reinterpret_cast<BYTE*>(&value), &cb));
    EXPECT_EQ(ERROR_KEY_DELETED, RegSetValueEx(key, u"v", 0, REG_DWORD, reinterpret_cast<BYTE*>(&value), 4));
    EXPECT_EQ(ERROR_KEY_DELETED, RegDeleteValue(key, u"v"));
    WCHAR name[8];
    DWORD cch = 8;
    EXPECT_EQ(ERROR_KEY_DELETED, RegEnumKeyEx(parent, 0, name, &cch, nullptr, nullptr, nullptr, nullptr));
    HKEY sub = nullptr;
    EXPECT_EQ(ERROR_KEY_DELETED, RegCreateKeyEx(parent, u"Child", 0, nullptr, 0, 0, nullptr, &sub, nullptr));
    EXPECT_EQ(nullptr, sub);

    // A key made again at the same place is a new key: the old handle stays dead.
    HKEY reborn = create(HKEY_CURRENT_USER, u"Doomed\\Child");
    EXPECT_EQ(ERROR_KEY_DELETED, RegQueryValueEx(key, u"v", nullptr, nullptr, nullptr, &cb));
    EXPECT_EQ(ERROR_SUCCESS, RegCloseKey(key));
    EXPECT_EQ(ERROR_SUCCESS, RegCloseKey(parent));
    EXPECT_EQ(ERROR_SUCCESS, RegCloseKey(reborn));
}

TEST_F(RegistryTest, HandlesAndPathsAreChecked)
{
    HKEY key = create(HKEY_CURRENT_USER, u"H");
    ASSERT_EQ(ERROR_SUCCESS, RegCloseKey(key));
    EXPECT_EQ(ERROR_INVALID_HANDLE, RegCloseKey(key));  // closed twice
    DWORD cb = 0;
    EXPECT_EQ(ERROR_INVALID_HANDLE, RegQueryValueEx(nullptr, u"v", nullptr, nullptr, nullptr, &cb));
    EXPECT_EQ(ERROR_INVALID_HANDLE, RegQueryValueEx(key, u"v", nullptr, nullptr, nullptr, &cb));
    EXPECT_EQ(ERROR_SUCCESS, RegCloseKey(HKEY_CURRENT_USER));

    HKEY out = reinterpret_cast<HKEY>(0x1);
    EXPECT_NE(ERROR_SUCCESS, RegCreateKeyEx(HKEY_CURRENT_USER, u"a\\\\b", 0, nullptr, 0, 0, nullptr, &out, nullptr));
    EXPECT_EQ(nullptr, out);
    EXPECT_NE(ERROR_SUCCESS, RegCreateKeyEx(HKEY_CURRENT_USER, u"\\a", 0, nullptr, 0, 0, nullptr, &out, nullptr));
    const std::u16string tooLong(256, u'k');
    EXPECT_EQ(ERROR_INVALID_PARAMETER,
              RegCreateKeyEx(HKEY_CURRENT_USER, tooLong.c_str(), 0, nullptr, 0, 0, nullptr, &out, nullptr));
    EXPECT_EQ(ERROR_SUCCESS, RegCreateKeyEx(HKEY_CURRENT_USER, u"a\\b\\", 0, nullptr, 0, 0, nullptr, &out, nullptr));
    RegCloseKey(out);
    EXPECT_EQ(ERROR_SUCCESS, RegOpenKeyEx(HKEY_CURRENT_USER, u"A\\B", 0, 0, &out));
    RegCloseKey(out);
    // Opening and deleting read paths by the same rules as creating.
    EXPECT_EQ(ERROR_SUCCESS, RegOpenKeyEx(HKEY_CURRENT_USER, u"a\\b\\", 0, 0, &out));
    RegCloseKey(out);
    for (const char16_t* bad : {u"a\\b\\\\", u"\\a", u"a\\\\b"}) {
        EXPECT_NE(ERROR_SUCCESS, RegOpenKeyEx(HKEY_CURRENT_USER, bad, 0, 0, &out));
        EXPECT_NE(ERROR_SUCCESS, RegDeleteKey(HKEY_CURRENT_USER, bad));
    }
    EXPECT_EQ(ERROR_INVALID_PARAMETER, RegOpenKeyEx(HKEY_CURRENT_USER, tooLong.c_str(), 0, 0, &out));
    EXPECT_EQ(ERROR_SUCCESS, RegOpenKeyEx(HKEY_CURRENT_USER, u"A\\B", 0, 0, &out));
    RegCloseKey(out);
}

// One thread closes and reopens the handles the others are using: a call
// either finds its handle closed or runs to its end on a key that is still
// whole, never on a freed one.
TEST_F(RegistryTest, AHandleClosedOnAnotherThreadOutlivesTheCallsUsingIt)
{
    HKEY made = create(HKEY_CURRENT_USER, u"Shared\\Sub");
    RegCloseKey(made);
    constexpr int kSlots = 4;
    std::atomic<HKEY> slots[kSlots];
    for (auto& slot : slots)
        slot = create(HKEY_CURRENT_USER, u"Shared");
    std::atomic<bool> done{false};
    std::atomic<int> unexpected{0};
    const auto expected = [&](LONG rc) {
        if (rc != ERROR_SUCCESS && rc != ERROR_INVALID_HANDLE)
            ++unexpected;
    };

    std::vector<std::thread> users;
    for (int t = 0; t < 3; ++t) {
        users.emplace_back([&, t] {
            for (DWORD n = 0; !done; ++n) {
                const HKEY key = slots[(n + t) % kSlots].load();
                expected(RegSetValueEx(key, u"v", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&n), 4));
                DWORD value = 0, size = sizeof value;
                expected(RegQueryValueEx(key, u"v", nullptr, nullptr, reinterpret_cast<BYTE*>(&value), &size));
                HKEY sub = nullptr;
                const LONG opened = RegOpenKeyEx(key, u"Sub", 0, 0, &sub);
                expected(opened);
                if (opened == ERROR_SUCCESS) {
                    EXPECT_EQ(ERROR_SUCCESS, RegCloseKey(sub));
                }
            }
        });
    }
    for (int round = 0; round < 3000; ++round) {
        const HKEY old = slots[round % kSlots].exchange(create(HKEY_CURRENT_USER, u"Shared"));
        EXPECT_EQ(ERROR_SUCCESS, RegCloseKey(old));
    }
    done = true;
    for (std::thread& user : users)
        user.join();
    for (auto& slot : slots)
        EXPECT_EQ(ERROR_SUCCESS, RegCloseKey(slot.load()));
    EXPECT_EQ(0, unexpected.load());
}

TEST_F(RegistryTest, BatchIsAllOrNothing)
{
    const LONG failed = handset::RegApplyBatch([&] {
        HKEY key = create(HKEY_CURRENT_USER, u"Batch\\One");
        setDword(key, u"v", 1);
        RegCloseKey(key);
        return kWorkFailed;
    });
    EXPECT_EQ(kWorkFailed, failed);
    HKEY key = nullptr;
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, RegOpenKeyEx(HKEY_CURRENT_USER, u"Batch", 0, KEY_READ, &key));

    EXPECT_EQ(ERROR_SUCCESS, handset::RegApplyBatch([&] {
                  HKEY k = create(HKEY_CURRENT_USER, u"Batch\\One");
                  setDword(k, u"v", 1);
                  RegCloseKey(k);
                  return ERROR_SUCCESS;
              }));
    ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyEx(HKEY_CURRENT_USER, u"Batch\\One", 0, KEY_READ, &key));
    RegCloseKey(key);
}

}  // namespace
