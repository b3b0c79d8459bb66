#include <cstdlib>
#include <fstream>
#include <string>

#include <gtest/gtest.h>

#include <handset/device.h>
#include <handset/errors.h>
#include <handset/loader.h>
#include <handset/resources.h>
#include <handset/wstring.h>

#include "test_device.h"

namespace {

class LoaderTest : public handset::testing::DeviceTest {
protected:
    void SetUp() override
    {
        DeviceTest::SetUp();
        ::unsetenv("LOADER_TEST_CALLS");
        ::unsetenv("LOADER_TEST_FAIL_ATTACH");
    }
    static std::string calls()
    {
        const char* text = std::getenv("LOADER_TEST_CALLS");
        return text ? text : "";
    }
    const std::u16string path = handset::fromUtf8(LOADER_TEST_LIBRARY);
};

TEST_F(LoaderTest, OrdinalExportIsFoundByOrdinalOnly)
{
    HMODULE module = LoadLibrary(path.c_str());
    ASSERT_NE(nullptr, module);
    auto byOrdinal = reinterpret_cast<int (*)()>(GetProcAddress(module, MAKEINTRESOURCE(240)));
    ASSERT_NE(nullptr, byOrdinal);
    EXPECT_EQ(240, byOrdinal());
    auto named = reinterpret_cast<int (*)()>(GetProcAddress(module, u"namedExport"));
    ASSERT_NE(nullptr, named);
    EXPECT_EQ(7, named());

    SetLastError(0xDEADBEEF);
    EXPECT_EQ(nullptr, GetProcAddress(module, u"byOrdinal"));
    EXPECT_EQ(static_cast<DWORD>(ERROR_PROC_NOT_FOUND), GetLastError());
    EXPECT_EQ(nullptr, GetProcAddress(module, MAKEINTRESOURCE(241)));
    // The loader's own tables are not exports.
    EXPECT_EQ(nullptr, GetProcAddress(module, u"handset_ordinals"));
    EXPECT_TRUE(FreeLibrary(module));
}

TEST_F(LoaderTest, EntryPointRunsOnFirstLoadAndLastFree)
{
    HMODULE first = LoadLibrary(path.c_str());
    HMODULE second = LoadLibrary(path.c_str());
    ASSERT_NE(nullptr, first);
    EXPECT_EQ(first, second);
    EXPECT_EQ("A", calls());
    EXPECT_TRUE(FreeLibrary(second));
    EXPECT_EQ("A", calls());
    EXPECT_TRUE(FreeLibrary(first));
    EXPECT_EQ("AD", calls());
    SetLastError(0xDEADBEEF);
    EXPECT_FALSE(FreeLibrary(first));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_HANDLE), GetLastError());
}

TEST_F(LoaderTest, FailuresAreReportedNotFatal)
{
    SetLastError(0xDEADBEEF);
    EXPECT_EQ(nullptr, LoadLibrary(u"\\Program Files\\Nowhere\\missing.dll"));
    EXPECT_EQ(static_cast<DWORD>(ERROR_MOD_NOT_FOUND), GetLastError());
    EXPECT_EQ(nullptr, LoadLibrary(u"relative.dll"));
    EXPECT_EQ(static_cast<DWORD>(ERROR_MOD_NOT_FOUND), GetLastError());

    // A file in the device that is not a library.
    const auto junk = handset::mapDevicePath(u"\\Windows\\junk.dll");
    ASSERT_TRUE(junk);
    std::filesystem::create_directories(junk->parent_path());
    std::ofstream(*junk) << "not a library";
    EXPECT_EQ(nullptr, LoadLibrary(u"\\Windows\\junk.dll"));
    EXPECT_EQ(static_cast<DWORD>(ERROR_BAD_EXE_FORMAT), GetLastError());

    ::setenv("LOADER_TEST_FAIL_ATTACH", "1", 1);
    EXPECT_EQ(nullptr, LoadLibrary(path.c_str()));
    EXPECT_EQ(static_cast<DWORD>(ERROR_DLL_INIT_FAILED), GetLastError());
    ::unsetenv("LOADER_TEST_FAIL_ATTACH");
    // Nothing of the failed load stays: a new load attaches again.
    HMODULE module = LoadLibrary(path.c_str());
    ASSERT_NE(nullptr, module);
    EXPECT_TRUE(FreeLibrary(module));
}

}  // namespace
