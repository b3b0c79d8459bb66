// The key holder closes each key it was given exactly once, on every path.
#include <handset/reg_key.h>

#include <utility>

#include <gtest/gtest.h>

#include "test_device.h"

namespace {

using handset::RegKey;
using RegKeyTest = handset::testing::DeviceTest;

HKEY openSoftware(RegKey& key)
{
    EXPECT_EQ(ERROR_SUCCESS, RegCreateKeyEx(HKEY_CURRENT_USER, u"Software", 0, nullptr, REG_OPTION_NON_VOLATILE,
                                            KEY_ALL_ACCESS, nullptr, key.out(), nullptr));
    return key.get();
}

// ERROR_FILE_NOT_FOUND from an open key, ERROR_INVALID_HANDLE from a closed
// one. Only asked while no other key is opened, which could reuse a closed
// handle's value.
LONG probe(HKEY key)
{
    DWORD size = 0;
    return RegQueryValueEx(key, u"No such value", nullptr, nullptr, nullptr, &size);
}

TEST_F(RegKeyTest, ClosesEachKeyOnce)
{
    RegKey first, second, third;
    const HKEY a = openSoftware(first);
    const HKEY b = openSoftware(second);
    const HKEY c = openSoftware(third);
    {
        const RegKey moved = std::move(first);
        EXPECT_FALSE(first);
        EXPECT_EQ(ERROR_FILE_NOT_FOUND, probe(a));
    }
    EXPECT_EQ(ERROR_INVALID_HANDLE, probe(a));

    second = std::move(third);
    EXPECT_EQ(ERROR_INVALID_HANDLE, probe(b));
    EXPECT_EQ(c, second.get());
    EXPECT_FALSE(third);

    const HKEY handed = second.detach();
    EXPECT_FALSE(second);
    EXPECT_EQ(ERROR_SUCCESS, RegCloseKey(handed));

    // A failed open leaves the holder empty.
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, RegOpenKeyEx(HKEY_CURRENT_USER, u"No\\Such", 0, KEY_READ, second.out()));
    EXPECT_FALSE(second);
}

}  // namespace
