// The Today screen end to end, with real processes: `handset boot` starts
// it, it loads Tolvane from its registration, `handset today ...` reads and
// drives it, `handset call` rings through the call monitor its item window
// holds, and `handset shutdown` closes it.
#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <sstream>
#include <string>
#include <spawn.h>
#include <sys/wait.h>
#include <thread>
#include <vector>

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <handset/device.h>
#include <handset/registry.h>
#include <handset/wstring.h>
#include <settings/settings.h>

#include "run_program.h"
#include "test_device.h"

extern char** environ;

namespace {

namespace fs = std::filesystem;
using handset::testing::Outcome;
using handset::testing::slurp;

void setString(HKEY key, const char16_t* name, const std::u16string& value)
{
    ASSERT_EQ(ERROR_SUCCESS, RegSetValueEx(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                                           static_cast<DWORD>((value.size() + 1) * 2)));
}

void setDword(HKEY key, const char16_t* name, DWORD value)
{
    ASSERT_EQ(ERROR_SUCCESS, RegSetValueEx(key, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), 4));
}

// A Today item registration as the installation package will write it.
void registerItem(const char16_t* name, const std::u16string& dll, DWORD order, DWORD enabled = 1)
{
    HKEY key = nullptr;
    const std::u16string path = std::u16string(u"Software\\Microsoft\\Today\\Items\\") + name;
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyEx(HKEY_LOCAL_MACHINE, path.c_str(), 0, nullptr, 0, 0, nullptr, &key, nullptr));
    setString(key, u"DLL", dll);
    setDword(key, u"Type", 4);
    setDword(key, u"Order", order);
    setDword(key, u"Enabled", enabled);
    RegCloseKey(key);
}

class TodayEndToEnd : public ::testing::Test {
protected:
    fs::path phone() const { return scratch_.root() / "phone"; }

    void SetUp() override
    {
        const Outcome init = handset({"init"});
        ASSERT_EQ(0, init.status) << init.err;
        handset::setDeviceRoot(phone());
        settings::resetProfiles();
        settings::writeClassRingTone(settings::NoCallerId, u"\\Windows\\NoCallerId.wav");
        registerItem(u"Tonquil", handset::fromUtf8(TOLVANE_DLL), 10);
        // Items that cannot load must not keep the others from showing.
        registerItem(u"Missing", u"\\Program Files\\Nowhere\\missing.dll", 20);
        registerItem(u"Switched off", handset::fromUtf8(TOLVANE_DLL), 30, 0);
        const auto junk = handset::mapDevicePath(u"\\Windows\\junk.dll");
        fs::create_directories(junk->parent_path());
        std::ofstream(*junk) << "not a library";
        registerItem(u"Junk", u"\\Windows\\junk.dll", 5);
    }

    void TearDown() override { handset({"shutdown"}); }

    // Runs the handset command on the test's phone; kills it should it hang
    // (a guard against a hung test, not a measure of time).
    Outcome handset(std::vector<std::string> arguments)
    {
        arguments.insert(arguments.begin(), {HANDSET_BIN, "--device", phone().string()});
        return ::handset::testing::runProgram(std::move(arguments), scratch_.root());
    }

    void boot()
    {
        const Outcome run = handset({"boot"});
        ASSERT_EQ(0, run.status) << run.err;
        ASSERT_NE(std::string::npos, run.out.find("today (pid ")) << run.out;
    }

    std::string log() { return slurp(phone() / "log" / "device.log"); }

    handset::testing::TempDevice scratch_;
};

TEST_F(TodayEndToEnd, CommandsNeedTheTodayScreen)
{
    const Outcome run = handset({"today", "text"});
    EXPECT_EQ(1, run.status);
    EXPECT_EQ("handset: the Today screen is not running; run `handset boot`\n", run.err);
}

TEST_F(TodayEndToEnd, ShowsTheProfileAndTheKeysChangeIt)
{
    boot();
    Outcome run = handset({"today", "text"});
    ASSERT_EQ(0, run.status) << run.err;
    EXPECT_EQ("Tonquil profile: Normal\n", run.out);
    const std::string booted = log();
    EXPECT_NE(std::string::npos, booted.find("cannot load item Missing")) << booted;
    EXPECT_NE(std::string::npos, booted.find("cannot load item Junk")) << booted;
    EXPECT_EQ(std::string::npos, booted.find("Switched off")) << booted;

    run = handset({"today", "key", "left"});
    ASSERT_EQ(0, run.status) << run.err;
    EXPECT_EQ(-1, settings::readCurrentProfile());
    run = handset({"today", "text"});
    EXPECT_EQ("Tonquil profile: Schedule (Normal)\n", run.out);

    // A change made elsewhere shows at the next refresh.
    settings::writeCurrentProfile(2);
    run = handset({"today", "text"});
    EXPECT_EQ("Tonquil profile: Silent\n", run.out);

    run = handset({"today", "key", "sideways"});
    EXPECT_NE(0, run.status);
    run = handset({"today", "tap", "Nobody"});
    EXPECT_EQ(1, run.status);
    EXPECT_EQ("handset: no Today item \"Nobody\" is loaded\n", run.err);
}

TEST_F(TodayEndToEnd, TapOpensTheConfigurationApplication)
{
    boot();
    const Outcome run = handset({"today", "tap"});
    ASSERT_EQ(0, run.status) << run.err;
    EXPECT_NE(std::string::npos, log().find("exec: could not open \"\\Program Files\\Tonquil\\Tonquil.exe\" (error 2)"))
        << log();
}

TEST_F(TodayEndToEnd, TheItemWindowHoldsTheCallMonitorUntilShutdown)
{
    boot();
    Outcome run = handset({"call", "--no-caller-id"});
    ASSERT_EQ(0, run.status) << run.err;
    EXPECT_NE(std::string::npos, run.out.find("sound=\\Windows\\NoCallerId.wav")) << run.out;

    run = handset({"shutdown"});
    ASSERT_EQ(0, run.status) << run.err;
    const std::string text = log();
    const std::size_t unloaded = text.find("today: unloaded item Tonquil");
    const std::size_t closed = text.find("today: the Today screen is closed");
    EXPECT_NE(std::string::npos, unloaded) << text;
    EXPECT_NE(std::string::npos, closed) << text;
    EXPECT_LT(unloaded, closed);
}

// What the settings-change broadcast makes the Today screen do, asked for
// on its socket as a program of another process would.
std::string askTodayScreen(const fs::path& socket, const std::string& request)
{
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strncpy(address.sun_path, socket.c_str(), sizeof address.sun_path - 1);
    const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    if (fd < 0 || ::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        if (fd >= 0)
            ::close(fd);
        return "<no connection>";
    }
    const std::string line = request + "\n";
    std::string reply;
    if (::write(fd, line.data(), line.size()) == static_cast<ssize_t>(line.size())) {
        char buffer[512];
        for (ssize_t n; (n = ::read(fd, buffer, sizeof buffer)) > 0;)
            reply.append(buffer, static_cast<std::size_t>(n));
    }
    ::close(fd);
    return reply;
}

TEST_F(TodayEndToEnd, SettingsChangeReloadsTheItems)
{
    boot();
    const fs::path socket = phone() / "run" / "today.sock";
    HKEY key = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyEx(HKEY_LOCAL_MACHINE, u"Software\\Microsoft\\Today\\Items\\Tonquil", 0, 0, &key));
    setDword(key, u"Enabled", 0);
    // Until the broadcast the screen keeps what it loaded.
    EXPECT_EQ("Tonquil profile: Normal\n", handset({"today", "text"}).out);
    EXPECT_EQ("ok\n", askTodayScreen(socket, "reload"));
    EXPECT_EQ("", handset({"today", "text"}).out);

    setDword(key, u"Enabled", 1);
    RegCloseKey(key);
    settings::writeCurrentProfile(3);
    EXPECT_EQ("ok\n", askTodayScreen(socket, "reload"));
    EXPECT_EQ("Tonquil profile: Loud\n", handset({"today", "text"}).out);
}

TEST_F(TodayEndToEnd, ScreenshotIsAPictureOfTheScreen)
{
    boot();
    const fs::path picture = scratch_.root() / "today.png";
    const Outcome run = handset({"today", "screenshot", picture.string()});
    ASSERT_EQ(0, run.status) << run.err;
    const std::string png = slurp(picture);
    ASSERT_GT(png.size(), 24u);
    EXPECT_EQ("\x89PNG", png.substr(0, 4));
    // The width and height of the IHDR chunk: 240 x 320.
    EXPECT_EQ(std::string("\0\0\0\xF0\0\0\x01\x40", 8), png.substr(16, 8));
}

}  // namespace

namespace {

// The Today screen's request socket in run/ui, empty when there is none.
fs::path todayRequestSocket(const fs::path& phone)
{
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator(phone / "run" / "ui", ec))
        if (entry.path().filename().string().rfind("today.", 0) == 0)
            return entry.path();
    return {};
}

}  // namespace

TEST_F(TodayEndToEnd, AnswersScreenAndInputLikeEveryProgramWithWindows)
{
    boot();
    Outcome run = handset({"screen"});
    ASSERT_EQ(0, run.status) << run.err;
    EXPECT_EQ(0u, run.out.find("window \"Desktop\" today pid=")) << run.out;
    EXPECT_NE(std::string::npos, run.out.find(" - \"Tonquil profile: Normal\"\n")) << run.out;
    EXPECT_NE(std::string::npos, run.out.find("softkeys \"Calendar\" \"Contacts\"\n")) << run.out;

    run = handset({"input", "key", "right"});
    ASSERT_EQ(0, run.status) << run.err;
    EXPECT_EQ(1, settings::readCurrentProfile());
    run = handset({"screen", "--program", "today"});
    EXPECT_NE(std::string::npos, run.out.find(" selected \"Tonquil profile: Discreet\"\n")) << run.out;

    run = handset({"input", "choose", "--id", "1014", "Loud"});
    EXPECT_EQ(1, run.status);
    EXPECT_EQ("handset: there is no control 1014 on the screen\n", run.err);

    // A request longer than the socket takes is refused with a framed
    // error, and the screen goes on answering.
    const fs::path socket = todayRequestSocket(phone());
    ASSERT_FALSE(socket.empty());
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strncpy(address.sun_path, socket.c_str(), sizeof address.sun_path - 1);
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    ASSERT_EQ(0, ::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address));
    const unsigned char huge[4] = {0xFF, 0xFF, 0xFF, 0x7F};
    ASSERT_EQ(4, ::write(fd, huge, sizeof huge));
    std::string reply;
    char buffer[256];
    for (ssize_t n; (n = ::read(fd, buffer, sizeof buffer)) > 0;)
        reply.append(buffer, static_cast<std::size_t>(n));
    ::close(fd);
    ASSERT_GT(reply.size(), 4u);
    EXPECT_EQ("error the request is longer than 65536 bytes\n", reply.substr(4));
    EXPECT_EQ(0, handset({"screen"}).status);

    handset({"shutdown"});
    run = handset({"screen"});
    EXPECT_EQ(1, run.status);
    EXPECT_NE(std::string::npos, run.err.find("no program with windows is running")) << run.err;
}
