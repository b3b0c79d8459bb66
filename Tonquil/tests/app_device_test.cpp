// Tonquil.exe on a booted device, with real processes: started by
// `handset run` and by a tap on the Today item, it switches the item back
// on, the running Today screen reloads and shows it, and (answered at once
// with Cancel through HANDSET_UI_CLOSE_WHEN_SHOWN) it ends by itself.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <thread>

#include <handset/device.h>
#include <handset/registry.h>
#include <handset/wstring.h>
#include <settings/settings.h>

#include "run_program.h"
#include "test_device.h"

namespace {

namespace fs = std::filesystem;
using handset::testing::Outcome;

void setDword(HKEY key, const char16_t* name, DWORD value)
{
    ASSERT_EQ(ERROR_SUCCESS, RegSetValueEx(key, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), 4));
}

void registerItem(DWORD enabled)
{
    HKEY key = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyEx(HKEY_LOCAL_MACHINE, u"Software\\Microsoft\\Today\\Items\\Tonquil", 0,
                                            nullptr, 0, 0, nullptr, &key, nullptr));
    const std::u16string dll = handset::fromUtf8(TOLVANE_DLL);
    ASSERT_EQ(ERROR_SUCCESS, RegSetValueEx(key, u"DLL", 0, REG_SZ, reinterpret_cast<const BYTE*>(dll.c_str()),
                                           static_cast<DWORD>((dll.size() + 1) * 2)));
    setDword(key, u"Type", 4);
    setDword(key, u"Order", 10);
    setDword(key, u"Enabled", enabled);
    RegCloseKey(key);
}

DWORD itemEnabled()
{
    HKEY key = nullptr;
    DWORD value = 0xDEADBEEF, type = 0, size = 4;
    if (RegOpenKeyEx(HKEY_LOCAL_MACHINE, u"Software\\Microsoft\\Today\\Items\\Tonquil", 0, 0, &key) == ERROR_SUCCESS) {
        RegQueryValueEx(key, u"Enabled", nullptr, &type, reinterpret_cast<LPBYTE>(&value), &size);
        RegCloseKey(key);
    }
    return value;
}

class AppOnDevice : public ::testing::Test {
protected:
    fs::path phone() const { return scratch_.root() / "phone"; }

    void SetUp() override
    {
        ::setenv("HANDSET_UI_CLOSE_WHEN_SHOWN", "1", 1);
        ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
        const Outcome init = handset({"init"});
        ASSERT_EQ(0, init.status) << init.err;
        handset::setDeviceRoot(phone());
        settings::resetProfiles();
    }

    void TearDown() override
    {
        handset({"shutdown"});
        ::unsetenv("HANDSET_UI_CLOSE_WHEN_SHOWN");
    }

    Outcome handset(std::vector<std::string> arguments)
    {
        arguments.insert(arguments.begin(), {HANDSET_BIN, "--device", phone().string()});
        return handset::testing::runProgram(std::move(arguments), scratch_.root());
    }

    std::string log() { return handset::testing::slurp(phone() / "log" / "device.log"); }

    // Installed where the item looks for it: "InstallDir" is the default folder.
    void install()
    {
        const auto installed = handset::mapDevicePath(u"\\Program Files\\Tonquil");
        ASSERT_TRUE(installed.has_value());
        fs::create_directories(*installed);
        fs::copy_file(TONQUIL_EXE, *installed / "Tonquil.exe", fs::copy_options::overwrite_existing);
    }

    handset::testing::TempDevice scratch_;
};

TEST_F(AppOnDevice, StartSwitchesTheItemBackOnAndTheTodayScreenShowsIt)
{
    registerItem(0);
    install();
    ASSERT_EQ(0, handset({"boot"}).status);
    Outcome run = handset({"today", "text"});
    ASSERT_EQ(0, run.status) << run.err;
    EXPECT_EQ("", run.out);

    run = handset({"run", "--wait", "\\Program Files\\Tonquil\\Tonquil.exe"});
    ASSERT_EQ(0, run.status) << run.err;
    EXPECT_EQ(1u, itemEnabled());
    const std::string text = log();
    const auto shown = text.find("ui: shown \"Tonquil\"");
    EXPECT_NE(std::string::npos, shown) << text;
    // The Today screen reloaded before the sheet came up: the broadcast waited for it.
    const auto reloaded = text.rfind("reloading the Today items", shown);
    EXPECT_NE(std::string::npos, reloaded) << text;
    run = handset({"today", "text"});
    EXPECT_EQ("Tonquil profile: Normal\n", run.out);
}

TEST_F(AppOnDevice, TapOnTheTodayItemStartsTheInstalledProgram)
{
    registerItem(1);
    install();
    ASSERT_EQ(0, handset({"boot"}).status);

    const Outcome run = handset({"today", "tap", "Tonquil"});
    ASSERT_EQ(0, run.status) << run.err;
    // The program runs on its own; give it up to half a minute to come up
    // and answer itself (a guard against a hung test, not a measure of time).
    std::string text;
    for (int i = 0; i < 300 && text.find("ui: shown \"Tonquil\"") == std::string::npos; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        text = log();
    }
    EXPECT_NE(std::string::npos, text.find("exec: \"\\Program Files\\Tonquil\\Tonquil.exe\"")) << text;
    EXPECT_NE(std::string::npos, text.find("ui: shown \"Tonquil\"")) << text;
}

}  // namespace
