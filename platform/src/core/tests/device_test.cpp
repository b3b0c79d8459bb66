#include <handset/device.h>

#include <cstdlib>
#include <fstream>

#include <gtest/gtest.h>

#include "test_device.h"

namespace {

namespace fs = std::filesystem;
using handset::mapDevicePath;
using handset::testing::DeviceTest;

TEST_F(DeviceTest, DevicePathsMapCaseInsensitivelyIntoTheFileSystem)
{
    const fs::path top = device_.root() / "fs";
    fs::create_directories(top / "My Documents" / "My Ringtones");
    std::ofstream(top / "My Documents" / "My Ringtones" / "Bell.wav") << "x";

    EXPECT_EQ(top / "My Documents" / "My Ringtones" / "Bell.wav",
              mapDevicePath(u"\\my documents\\MY RINGTONES\\bell.WAV"));
    // Forward slashes separate too; a missing tail keeps its spelling.
    EXPECT_EQ(top / "My Documents" / "New" / "Tone.mp3", mapDevicePath(u"/MY DOCUMENTS/New/Tone.mp3"));
    EXPECT_EQ(top, mapDevicePath(u"\\"));
}

TEST_F(DeviceTest, DevicePathsNeverLeaveTheDevice)
{
    const fs::path top = device_.root() / "fs";
    EXPECT_FALSE(mapDevicePath(u"\\..\\registry.db"));
    EXPECT_FALSE(mapDevicePath(u"\\Windows\\..\\..\\clock"));
    EXPECT_FALSE(mapDevicePath(u"Windows\\Ring.wav"));  // not absolute
    EXPECT_FALSE(mapDevicePath(u""));
    fs::create_directory_symlink("/etc", top / "Windows" / "escape");
    EXPECT_FALSE(mapDevicePath(u"\\Windows\\escape\\passwd"));
    fs::create_directory_symlink(top / "My Documents", top / "Windows" / "inside");
    EXPECT_TRUE(mapDevicePath(u"\\Windows\\inside\\x.wav"));
}

TEST(DeviceRootTest, DefaultFollowsTheDataHome)
{
    const char* saved = std::getenv("XDG_DATA_HOME");
    setenv("XDG_DATA_HOME", "/tmp/xdg-test", 1);
    EXPECT_EQ(fs::path("/tmp/xdg-test/handset/default"), handset::defaultDeviceRoot());
    unsetenv("XDG_DATA_HOME");
    if (const char* home = std::getenv("HOME")) {
        EXPECT_EQ(fs::path(home) / ".local/share/handset/default", handset::defaultDeviceRoot());
    }
    if (saved)
        setenv("XDG_DATA_HOME", saved, 1);
}

}  // namespace
