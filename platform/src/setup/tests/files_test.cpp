// Folders, enumeration, copying and deleting in the device's file system,
// with the phone's error codes and its case-insensitive names.
#include <handset/files.h>

#include <algorithm>
#include <cstring>
#include <fstream>
#include <string>
#include <sys/stat.h>
#include <vector>

#include <gtest/gtest.h>

#include <handset/device.h>
#include <handset/wstring.h>

#include "run_program.h"
#include "test_device.h"

namespace {

namespace fs = std::filesystem;

class FilesTest : public handset::testing::DeviceTest {
protected:
    void SetUp() override { fs::create_directories(handset::deviceFileSystem() / "Windows"); }

    static void write(const std::string& hostRelative, const std::string& content)
    {
        std::ofstream(handset::deviceFileSystem() / hostRelative, std::ios::binary) << content;
    }

    static std::vector<std::u16string> find(const std::u16string& pattern, DWORD& lastError)
    {
        std::vector<std::u16string> names;
        WIN32_FIND_DATA data;
        std::memset(&data, 0xbd, sizeof data);
        SetLastError(0xdeadbeef);
        HANDLE h = FindFirstFile(pattern.c_str(), &data);
        if (h == INVALID_HANDLE_VALUE) {
            lastError = GetLastError();
            return names;
        }
        do
            names.push_back(data.cFileName);
        while (FindNextFile(h, &data));
        lastError = GetLastError();
        EXPECT_EQ(TRUE, FindClose(h));
        return names;
    }
};

TEST_F(FilesTest, FindMatchesThePatternWithoutRegardToCaseInNameOrder)
{
    write("Windows/Ring.wav", "ring");
    write("Windows/alert.WAV", "alert");
    write("Windows/Chimes.mp3", "chimes");
    write("Windows/wav", "no extension");
    fs::create_directories(handset::deviceFileSystem() / "Windows/Sub.wav.d");

    DWORD error = 0;
    EXPECT_EQ((std::vector<std::u16string>{u"alert.WAV", u"Ring.wav"}), find(u"\\WINDOWS\\*.wav", error));
    EXPECT_EQ(static_cast<DWORD>(ERROR_NO_MORE_FILES), error);
    EXPECT_EQ((std::vector<std::u16string>{u"Chimes.mp3"}), find(u"\\windows\\?himes.*", error));

    EXPECT_TRUE(find(u"\\windows\\*.mid", error).empty());
    EXPECT_EQ(static_cast<DWORD>(ERROR_FILE_NOT_FOUND), error);
    EXPECT_TRUE(find(u"\\Nowhere\\*.wav", error).empty());
    EXPECT_EQ(static_cast<DWORD>(ERROR_PATH_NOT_FOUND), error);
    EXPECT_TRUE(find(u"\\..\\*", error).empty());
    EXPECT_EQ(static_cast<DWORD>(ERROR_PATH_NOT_FOUND), error);
}

TEST_F(FilesTest, FindReportsSizeAndAttributes)
{
    write("Windows/Ring.wav", "12345");
    fs::create_directories(handset::deviceFileSystem() / "Windows/Folder");
    WIN32_FIND_DATA data;
    std::memset(&data, 0xbd, sizeof data);
    HANDLE h = FindFirstFile(u"\\Windows\\*", &data);
    ASSERT_NE(INVALID_HANDLE_VALUE, h);
    EXPECT_EQ(std::u16string(u"Folder"), data.cFileName);
    EXPECT_EQ(FILE_ATTRIBUTE_DIRECTORY, data.dwFileAttributes);
    ASSERT_EQ(TRUE, FindNextFile(h, &data));
    EXPECT_EQ(std::u16string(u"Ring.wav"), data.cFileName);
    EXPECT_EQ(FILE_ATTRIBUTE_NORMAL, data.dwFileAttributes);
    EXPECT_EQ(5u, data.nFileSizeLow);
    EXPECT_EQ(0u, data.nFileSizeHigh);
    EXPECT_NE(0u, data.ftLastWriteTime.dwHighDateTime);
    EXPECT_EQ(TRUE, FindClose(h));

    SetLastError(0xdeadbeef);
    EXPECT_EQ(FALSE, FindNextFile(h, &data));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_HANDLE), GetLastError());
    EXPECT_EQ(FALSE, FindClose(h));
}

TEST_F(FilesTest, CreateDirectoryNeedsItsParentAndRefusesAnExistingName)
{
    EXPECT_EQ(TRUE, CreateDirectory(u"\\Media", nullptr));
    EXPECT_EQ(TRUE, CreateDirectory(u"\\media\\My Ringtones", nullptr));
    EXPECT_TRUE(fs::is_directory(handset::deviceFileSystem() / "Media/My Ringtones"));

    SetLastError(0xdeadbeef);
    EXPECT_EQ(FALSE, CreateDirectory(u"\\MEDIA\\my ringtones", nullptr));
    EXPECT_EQ(static_cast<DWORD>(ERROR_ALREADY_EXISTS), GetLastError());
    SetLastError(0xdeadbeef);
    EXPECT_EQ(FALSE, CreateDirectory(u"\\A\\B", nullptr));
    EXPECT_EQ(static_cast<DWORD>(ERROR_PATH_NOT_FOUND), GetLastError());
    SetLastError(0xdeadbeef);
    EXPECT_EQ(FALSE, CreateDirectory(u"relative", nullptr));
    EXPECT_EQ(static_cast<DWORD>(ERROR_PATH_NOT_FOUND), GetLastError());
    EXPECT_EQ(FALSE, CreateDirectory(u"\\..\\outside", nullptr));
    EXPECT_FALSE(fs::exists(handset::deviceFileSystem().parent_path() / "outside"));
}

TEST_F(FilesTest, CopyFileKeepsOrReplacesTheDestinationAndItsPermissions)
{
    write("Windows/Ring.wav", "new");
    fs::permissions(handset::deviceFileSystem() / "Windows/Ring.wav", fs::perms::owner_exec, fs::perm_options::add);
    ASSERT_EQ(TRUE, CreateDirectory(u"\\Tones", nullptr));
    write("Tones/ring.WAV", "old");

    SetLastError(0xdeadbeef);
    EXPECT_EQ(FALSE, CopyFile(u"\\Windows\\Ring.wav", u"\\Tones\\Ring.wav", TRUE));
    EXPECT_EQ(static_cast<DWORD>(ERROR_FILE_EXISTS), GetLastError());
    EXPECT_EQ("old", handset::testing::slurp(handset::deviceFileSystem() / "Tones/ring.WAV"));

    EXPECT_EQ(TRUE, CopyFile(u"\\Windows\\Ring.wav", u"\\Tones\\Ring.wav", FALSE));
    EXPECT_EQ("new", handset::testing::slurp(handset::deviceFileSystem() / "Tones/ring.WAV"));
    EXPECT_EQ(TRUE, CopyFile(u"\\Windows\\Ring.wav", u"\\Tones\\Program.exe", TRUE));
    EXPECT_NE(fs::perms::none,
              fs::status(handset::deviceFileSystem() / "Tones/Program.exe").permissions() & fs::perms::owner_exec);

    // Only the two copies are there: nothing half-made is left beside them.
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(handset::deviceFileSystem() / "Tones"))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    EXPECT_EQ((std::vector<std::string>{"Program.exe", "ring.WAV"}), names);

    SetLastError(0xdeadbeef);
    EXPECT_EQ(FALSE, CopyFile(u"\\Windows\\Missing.wav", u"\\Tones\\Missing.wav", TRUE));
    EXPECT_EQ(static_cast<DWORD>(ERROR_FILE_NOT_FOUND), GetLastError());
    SetLastError(0xdeadbeef);
    EXPECT_EQ(FALSE, CopyFile(u"\\Windows\\Ring.wav", u"\\No Folder\\Ring.wav", TRUE));
    EXPECT_EQ(static_cast<DWORD>(ERROR_PATH_NOT_FOUND), GetLastError());
}

TEST_F(FilesTest, DeleteAndRemoveAndAttributes)
{
    ASSERT_EQ(TRUE, CreateDirectory(u"\\Tones", nullptr));
    write("Tones/Bell.wav", "x");

    EXPECT_EQ(FILE_ATTRIBUTE_DIRECTORY, GetFileAttributes(u"\\tones"));
    EXPECT_EQ(FILE_ATTRIBUTE_NORMAL, GetFileAttributes(u"\\TONES\\bell.wav"));
    SetLastError(0xdeadbeef);
    EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributes(u"\\Tones\\Gone.wav"));
    EXPECT_EQ(static_cast<DWORD>(ERROR_FILE_NOT_FOUND), GetLastError());
    SetLastError(0xdeadbeef);
    EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributes(u"\\Gone\\Gone.wav"));
    EXPECT_EQ(static_cast<DWORD>(ERROR_PATH_NOT_FOUND), GetLastError());

    SetLastError(0xdeadbeef);
    EXPECT_EQ(FALSE, RemoveDirectory(u"\\Tones"));
    EXPECT_EQ(static_cast<DWORD>(ERROR_DIR_NOT_EMPTY), GetLastError());
    SetLastError(0xdeadbeef);
    EXPECT_EQ(FALSE, DeleteFile(u"\\Tones"));
    EXPECT_EQ(static_cast<DWORD>(ERROR_ACCESS_DENIED), GetLastError());
    SetLastError(0xdeadbeef);
    EXPECT_EQ(FALSE, RemoveDirectory(u"\\Tones\\Bell.wav"));
    EXPECT_EQ(static_cast<DWORD>(ERROR_DIRECTORY), GetLastError());

    EXPECT_EQ(TRUE, DeleteFile(u"\\tones\\BELL.WAV"));
    SetLastError(0xdeadbeef);
    EXPECT_EQ(FALSE, DeleteFile(u"\\Tones\\Bell.wav"));
    EXPECT_EQ(static_cast<DWORD>(ERROR_FILE_NOT_FOUND), GetLastError());
    EXPECT_EQ(TRUE, RemoveDirectory(u"\\Tones"));
    EXPECT_FALSE(fs::exists(handset::deviceFileSystem() / "Tones"));
    SetLastError(0xdeadbeef);
    EXPECT_EQ(FALSE, RemoveDirectory(u"\\"));
    EXPECT_EQ(static_cast<DWORD>(ERROR_ACCESS_DENIED), GetLastError());
}

}  // namespace
