// A new device: what it holds, and that an existing one is kept unless it
// is to be replaced.
#include <gtest/gtest.h>

#include <fstream>

#include <handset/device.h>
#include <handset/factory.h>
#include <handset/faults.h>
#include <handset/registry.h>

#include "test_device.h"

namespace {

using namespace handset;
using handset::testing::DeviceTest;
using Failure = CreateDeviceResult::Failure;

constexpr const WCHAR* kSmsClass = u"ControlPanel\\Notifications\\{A877D65B-239C-47a7-9304-0D347F580408}";

struct Read {
    LONG rc = -1;
    DWORD type = 0xdeadbeef;
    DWORD size = 0xdeadbeef;
    std::vector<BYTE> data;
};

Read readValue(HKEY root, const WCHAR* key, const WCHAR* name)
{
    Read read;
    HKEY open = nullptr;
    read.rc = RegOpenKeyEx(root, key, 0, KEY_READ, &open);
    if (read.rc != ERROR_SUCCESS)
        return read;
    read.data.assign(1024, 0xbd);
    read.size = static_cast<DWORD>(read.data.size());
    read.rc = RegQueryValueEx(open, name, nullptr, &read.type, read.data.data(), &read.size);
    RegCloseKey(open);
    if (read.rc == ERROR_SUCCESS)
        read.data.resize(read.size);
    return read;
}

std::u16string textOf(const Read& read)
{
    std::u16string text;
    for (std::size_t i = 0; i + 1 < read.data.size(); i += 2)
        text += static_cast<char16_t>(read.data[i] | (read.data[i + 1] << 8));
    return text;
}

DWORD dwordOf(const Read& read)
{
    return read.data.size() == 4 ? read.data[0] | (read.data[1] << 8) | (read.data[2] << 16) | (read.data[3] << 24)
                                 : 0xdeadbeef;
}

// A non-empty string, written as the phone's writers write strings:
// (characters + 1) x 2 bytes, the terminator last and only there.
void expectString(HKEY root, const WCHAR* key, const WCHAR* name)
{
    const Read read = readValue(root, key, name);
    ASSERT_EQ(ERROR_SUCCESS, read.rc);
    EXPECT_EQ(REG_SZ, read.type);
    const std::u16string text = textOf(read);
    ASSERT_GT(text.size(), 1u);
    EXPECT_EQ(text.size() - 1, text.find(u'\0'));
}

class Factory : public DeviceTest {
protected:
    std::filesystem::path fresh() const { return device_.root() / "phones" / "new"; }
};

TEST_F(Factory, NewDeviceHasItsFoldersAndRegistry)
{
    const std::filesystem::path root = fresh();
    ASSERT_FALSE(isDevice(root));
    const CreateDeviceResult result = createDevice(root, ReplaceExisting::No);
    ASSERT_TRUE(result.ok()) << result.message;
    EXPECT_TRUE(isDevice(root));
    EXPECT_EQ(root, deviceRoot());
    for (const char* folder : {"fs/Windows", "fs/My Documents", "fs/Program Files", "run", "log"}) {
        SCOPED_TRACE(folder);
        EXPECT_TRUE(std::filesystem::is_directory(root / folder));
    }
    // The phone's file system, as its programs see it.
    EXPECT_EQ(root / "fs" / "My Documents", mapDevicePath(u"\\my documents"));
}

TEST_F(Factory, NewDeviceHoldsThePhonesOwnSettings)
{
    ASSERT_TRUE(createDevice(fresh(), ReplaceExisting::No).ok());

    Read sound = readValue(HKEY_CURRENT_USER, u"ControlPanel\\Sounds\\RingTone0", u"Sound");
    ASSERT_EQ(ERROR_SUCCESS, sound.rc);
    EXPECT_EQ(REG_SZ, sound.type);
    EXPECT_EQ((std::u16string(u"\\Windows\\Ring.wav").size() + 1) * 2, sound.size);
    EXPECT_EQ(u'\\', textOf(sound).front());

    Read script = readValue(HKEY_CURRENT_USER, u"ControlPanel\\Sounds\\RingTone0", u"Script");
    ASSERT_EQ(ERROR_SUCCESS, script.rc);
    EXPECT_EQ(REG_SZ, script.type);
    EXPECT_EQ(std::u16string(u"apw3r\0", 6), textOf(script));

    Read volume = readValue(HKEY_CURRENT_USER, u"ControlPanel\\SoundCategories\\Ring", u"InitVol");
    ASSERT_EQ(ERROR_SUCCESS, volume.rc);
    EXPECT_EQ(REG_DWORD, volume.type);
    EXPECT_EQ(4u, volume.size);
    EXPECT_EQ(3u, dwordOf(volume));

    expectString(HKEY_CURRENT_USER, kSmsClass, u"Wave");
    Read options = readValue(HKEY_CURRENT_USER, kSmsClass, u"Options");
    ASSERT_EQ(ERROR_SUCCESS, options.rc);
    EXPECT_EQ(REG_DWORD, options.type);
    EXPECT_EQ(0x1u, dwordOf(options) & 0x1);  // plays its sound
    EXPECT_EQ(0x0u, dwordOf(options) & 0x2);  // does not vibrate
    EXPECT_EQ(0x8u, dwordOf(options) & 0x8);  // shows the message
    for (const WCHAR* name : {u"VibrateWithRingerOff", u"VibrateWithRingerOn"}) {
        Read vibrate = readValue(HKEY_CURRENT_USER, kSmsClass, name);
        ASSERT_EQ(ERROR_SUCCESS, vibrate.rc);
        EXPECT_EQ(REG_DWORD, vibrate.type);
        EXPECT_EQ(0u, dwordOf(vibrate));
    }

    HKEY midi = nullptr;
    EXPECT_EQ(ERROR_SUCCESS, RegOpenKeyEx(HKEY_CLASSES_ROOT, u"Media Type\\Extensions\\.mid", 0, KEY_READ, &midi));
    RegCloseKey(midi);

    // Nothing of the product is there before it is installed.
    HKEY product = nullptr;
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, RegOpenKeyEx(HKEY_CURRENT_USER, u"Software\\Quorrel", 0, KEY_READ, &product));
}

TEST_F(Factory, ExistingDeviceIsKeptWithoutReplace)
{
    const std::filesystem::path root = fresh();
    ASSERT_TRUE(createDevice(root, ReplaceExisting::No).ok());
    HKEY key = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyEx(HKEY_CURRENT_USER, u"User", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr));
    RegCloseKey(key);
    std::ofstream(root / "fs" / "My Documents" / "note.txt") << "mine";

    const CreateDeviceResult again = createDevice(root, ReplaceExisting::No);
    EXPECT_EQ(Failure::DeviceExists, again.failure);
    EXPECT_NE(std::string::npos, again.message.find(root.string()));
    EXPECT_TRUE(std::filesystem::exists(root / "fs" / "My Documents" / "note.txt"));
    EXPECT_EQ(ERROR_SUCCESS, RegOpenKeyEx(HKEY_CURRENT_USER, u"User", 0, KEY_READ, &key));
    RegCloseKey(key);
}

TEST_F(Factory, ReplaceWipesTheOldDevice)
{
    const std::filesystem::path root = fresh();
    ASSERT_TRUE(createDevice(root, ReplaceExisting::No).ok());
    HKEY key = nullptr;
    ASSERT_EQ(ERROR_SUCCESS,
              RegOpenKeyEx(HKEY_CURRENT_USER, u"ControlPanel\\SoundCategories\\Ring", 0, KEY_ALL_ACCESS, &key));
    const DWORD loud = 5;
    ASSERT_EQ(ERROR_SUCCESS, RegSetValueEx(key, u"InitVol", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&loud), 4));
    RegCloseKey(key);
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyEx(HKEY_LOCAL_MACHINE, u"Installed", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr));
    RegCloseKey(key);
    std::ofstream(root / "fs" / "My Documents" / "note.txt") << "mine";
    std::ofstream(root / "pim.vol") << "contacts";

    const CreateDeviceResult result = createDevice(root, ReplaceExisting::Yes);
    ASSERT_TRUE(result.ok()) << result.message;
    EXPECT_FALSE(std::filesystem::exists(root / "fs" / "My Documents" / "note.txt"));
    EXPECT_FALSE(std::filesystem::exists(root / "pim.vol"));
    EXPECT_TRUE(std::filesystem::is_directory(root / "fs" / "My Documents"));
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, RegOpenKeyEx(HKEY_LOCAL_MACHINE, u"Installed", 0, KEY_READ, &key));
    EXPECT_EQ(3u, dwordOf(readValue(HKEY_CURRENT_USER, u"ControlPanel\\SoundCategories\\Ring", u"InitVol")));
}

TEST_F(Factory, ReplaceOnAFolderWithoutDeviceJustCreates)
{
    EXPECT_TRUE(createDevice(device_.root(), ReplaceExisting::Yes).ok());
    EXPECT_TRUE(isDevice(device_.root()));
}

// When the registry cannot be written, the folder does not pass for a
// device, whichever step failed, and a later attempt succeeds.
TEST_F(Factory, RegistryFailureLeavesNoDevice)
{
    const std::filesystem::path counted = device_.root() / "counted";
    faults::failStep(faults::Store::Registry, 0, faults::Fault::IoError);
    ASSERT_TRUE(createDevice(counted, ReplaceExisting::No).ok());
    const int steps = faults::stepsTaken(faults::Store::Registry);
    ASSERT_GT(steps, 0);

    for (int step = 1; step <= steps; ++step) {
        SCOPED_TRACE("failing step " + std::to_string(step));
        const std::filesystem::path root = device_.root() / ("attempt" + std::to_string(step));
        faults::failStep(faults::Store::Registry, step, faults::Fault::DiskFull);
        const CreateDeviceResult result = createDevice(root, ReplaceExisting::No);
        faults::failStep(faults::Store::Registry, 0, faults::Fault::IoError);
        EXPECT_EQ(Failure::Registry, result.failure);
        EXPECT_FALSE(isDevice(root));
        EXPECT_FALSE(std::filesystem::exists(root / "registry.db-wal"));

        const CreateDeviceResult retry = createDevice(root, ReplaceExisting::No);
        ASSERT_TRUE(retry.ok()) << retry.message;
        EXPECT_EQ(3u, dwordOf(readValue(HKEY_CURRENT_USER, u"ControlPanel\\SoundCategories\\Ring", u"InitVol")));
    }
}

}  // namespace
