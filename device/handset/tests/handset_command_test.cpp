// The handset program run as a real process, as users and scripts run it:
// exit statuses, what it prints, and what it leaves in the device.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <fstream>
#include <map>
#include <optional>
#include <spawn.h>
#include <sstream>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

#include <handset/contacts_admin.h>
#include <handset/device.h>
#include <handset/log.h>
#include <handset/registry.h>

#include "run_program.h"
#include "test_device.h"

extern char** environ;

namespace {

namespace fs = std::filesystem;

using handset::testing::Outcome;
using handset::testing::slurp;

std::string joined(const std::vector<std::string>& arguments)
{
    std::string text = "handset";
    for (const std::string& a : arguments)
        text += " " + a;
    return text;
}

std::vector<std::string> environmentWith(const std::map<std::string, std::optional<std::string>>& changes)
{
    std::vector<std::string> env;
    for (char** entry = environ; *entry; ++entry) {
        const std::string text = *entry;
        const std::string name = text.substr(0, text.find('='));
        if (!changes.count(name))
            env.push_back(text);
    }
    for (const auto& [name, value] : changes) {
        if (value)
            env.push_back(name + "=" + *value);
    }
    return env;
}

// Starts the program with its output going to files in `folder`.
pid_t start(const std::vector<std::string>& arguments, const fs::path& folder,
            const std::map<std::string, std::optional<std::string>>& env = {})
{
    std::vector<std::string> argv{HANDSET_BIN};
    argv.insert(argv.end(), arguments.begin(), arguments.end());
    std::vector<char*> argvPointers;
    for (std::string& a : argv)
        argvPointers.push_back(a.data());
    argvPointers.push_back(nullptr);
    std::vector<std::string> environment = environmentWith(env);
    std::vector<char*> envPointers;
    for (std::string& e : environment)
        envPointers.push_back(e.data());
    envPointers.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, (folder / "out").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_addopen(&actions, 2, (folder / "err").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    pid_t pid = -1;
    const int rc = posix_spawn(&pid, argvPointers[0], &actions, nullptr, argvPointers.data(), envPointers.data());
    posix_spawn_file_actions_destroy(&actions);
    EXPECT_EQ(0, rc) << "cannot start " << HANDSET_BIN;
    return rc == 0 ? pid : -1;
}

Outcome finish(pid_t pid, const fs::path& folder)
{
    Outcome run;
    int status = 0;
    if (pid > 0 && waitpid(pid, &status, 0) == pid)
        run.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    run.out = slurp(folder / "out");
    run.err = slurp(folder / "err");
    return run;
}

class HandsetCommand : public ::testing::Test {
protected:
    // The program's device is a folder of its own inside the test's
    // temporary folder, which also holds the captured output.
    fs::path phone() const { return scratch_.root() / "phone"; }

    Outcome handset(std::vector<std::string> arguments, const std::map<std::string, std::optional<std::string>>& env = {})
    {
        arguments.insert(arguments.begin(), {"--device", phone().string()});
        return handsetRaw(arguments, env);
    }

    Outcome handsetRaw(const std::vector<std::string>& arguments,
                   const std::map<std::string, std::optional<std::string>>& env = {})
    {
        return finish(start(arguments, scratch_.root(), env), scratch_.root());
    }

    void init()
    {
        const Outcome run = handset({"init"});
        ASSERT_EQ(0, run.status) << run.err;
    }

    std::vector<std::string> logLines()
    {
        std::vector<std::string> lines;
        std::istringstream in(slurp(phone() / "log" / "device.log"));
        for (std::string line; std::getline(in, line);)
            lines.push_back(line);
        return lines;
    }

    handset::testing::TempDevice scratch_;
};

TEST_F(HandsetCommand, InitCreatesADeviceAndRefusesToOverwriteIt)
{
    Outcome run = handset({"init"});
    EXPECT_EQ(0, run.status) << run.err;
    EXPECT_TRUE(fs::exists(phone() / "registry.db"));
    EXPECT_TRUE(fs::is_directory(phone() / "fs" / "Program Files"));

    ASSERT_EQ(0, handset({"reg", "set", "HKCU\\Mine", "v", "dword", "7"}).status);
    run = handset({"init"});
    EXPECT_EQ(1, run.status);
    EXPECT_NE(std::string::npos, run.err.find("--force")) << run.err;
    EXPECT_EQ("7\n", handset({"reg", "get", "HKCU\\Mine", "v"}).out);

    run = handset({"init", "--force"});
    EXPECT_EQ(0, run.status) << run.err;
    EXPECT_EQ(1, handset({"reg", "get", "HKCU\\Mine", "v"}).status);
    EXPECT_EQ("3\n", handset({"reg", "get", "HKCU\\ControlPanel\\SoundCategories\\Ring", "InitVol"}).out);
}

TEST_F(HandsetCommand, CommandsOtherThanInitNeedADevice)
{
    for (std::vector<std::string> arguments :
         {std::vector<std::string>{"reg", "get", "HKCU\\X", "v"}, {"reg", "set", "HKCU\\X", "v", "sz", "a"},
          {"clock", "show"}, {"log"}}) {
        SCOPED_TRACE(joined(arguments));
        const Outcome run = handset(arguments);
        EXPECT_EQ(1, run.status);
        EXPECT_NE(std::string::npos, run.err.find("no device at " + phone().string())) << run.err;
        EXPECT_NE(std::string::npos, run.err.find("handset init")) << run.err;
        EXPECT_FALSE(fs::exists(phone() / "registry.db"));
        EXPECT_FALSE(fs::exists(phone() / "log"));
    }
}

TEST_F(HandsetCommand, DeviceComesFromTheEnvironmentWithoutDeviceOption)
{
    const fs::path fromEnv = scratch_.root() / "env-phone";
    Outcome run = handsetRaw({"init"}, {{"HANDSET_DEVICE", fromEnv.string()}});
    ASSERT_EQ(0, run.status) << run.err;
    EXPECT_TRUE(fs::exists(fromEnv / "registry.db"));

    // Without it: the default device below XDG_DATA_HOME.
    run = handsetRaw({"init"}, {{"HANDSET_DEVICE", std::nullopt}, {"XDG_DATA_HOME", (scratch_.root() / "xdg").string()}});
    ASSERT_EQ(0, run.status) << run.err;
    EXPECT_TRUE(fs::exists(scratch_.root() / "xdg" / "handset" / "default" / "registry.db"));

    // --device wins over both.
    run = handsetRaw({"--device", phone().string(), "init"}, {{"HANDSET_DEVICE", fromEnv.string()}});
    ASSERT_EQ(0, run.status) << run.err;
    EXPECT_TRUE(fs::exists(phone() / "registry.db"));
}

TEST_F(HandsetCommand, UsageErrorsExitWithTwo)
{
    init();
    const std::vector<std::vector<std::string>> cases = {
        {},
        {"nonsense"},
        {"reg"},
        {"reg", "get", "HKCU\\X"},
        {"reg", "get", "HKEY_USERS\\X", "v"},
        {"reg", "get", "HKCU\\a\\\\b", "v"},
        {"reg", "set", "HKCU\\X", "v", "text", "a"},
        {"reg", "set", "HKCU\\X", "v", "dword", "4294967296"},
        {"reg", "set", "HKCU\\X", "v", "dword", "-2147483649"},
        {"reg", "set", "HKCU\\X", "v", "dword", "0x100000000"},
        {"reg", "set", "HKCU\\X", "v", "dword", "12abc"},
        {"reg", "set", "HKCU\\X", "v", "binary", "abc"},
        {"reg", "set", "HKCU\\X", "v", "binary", "zz"},
        {"clock", "set", "24:00"},
        {"clock", "set", "7"},
        {"clock", "set", "07:60"},
        {"log", "--bogus"},
        {"init", "extra"},
        {"call", "5550123", "--reports", "callerid,,mediamode"},
        {"call", "5550123", "--reports", "callerid,ringing"},
        {"call", "5550123", "--reports", "callerid", "--caller-id-first"},
    };
    for (const auto& arguments : cases) {
        SCOPED_TRACE(joined(arguments));
        const Outcome run = handset(arguments);
        EXPECT_EQ(2, run.status) << run.err;
        EXPECT_FALSE(run.err.empty());
    }
    // A refused set wrote nothing.
    EXPECT_EQ(1, handset({"reg", "get", "HKCU\\X", "v"}).status);
}

TEST_F(HandsetCommand, HelpOnEveryCommand)
{
    const std::vector<std::vector<std::string>> cases = {
        {"--help"}, {"init", "--help"}, {"reg", "--help"}, {"reg", "get", "--help"}, {"reg", "set", "-h"},
        {"reg", "delete", "--help"}, {"reg", "query", "--help"}, {"reg", "export", "--help"},
        {"reg", "import", "--help"}, {"clock", "--help"}, {"clock", "set", "--help"}, {"clock", "reset", "--help"},
        {"clock", "show", "--help"}, {"log", "--help"},
    };
    for (const auto& arguments : cases) {
        SCOPED_TRACE(joined(arguments));
        const Outcome run = handset(arguments);
        EXPECT_EQ(0, run.status) << run.err;
        EXPECT_NE(std::string::npos, run.out.find("Usage")) << run.out;
    }
    // Help needs no device and makes none.
    EXPECT_FALSE(fs::exists(phone()));
    EXPECT_NE(std::string::npos, handset({"reg", "get", "--help"}).out.find("default value"));
}

TEST_F(HandsetCommand, SetAndGetTheThreeTypes)
{
    init();
    const struct {
        const char* type;
        const char* data;
        const char* printed;
    } cases[] = {
        {"sz", "\\Windows\\Ring.wav", "\\Windows\\Ring.wav"},
        {"sz", "Gr\xC3\xBC\xC3\x9F\x65 \xF0\x9F\x8E\xB5", "Gr\xC3\xBC\xC3\x9F\x65 \xF0\x9F\x8E\xB5"},
        {"sz", "", ""},
        {"SZ", "upper", "upper"},
        {"dword", "42", "42"},
        {"dword", "-1", "4294967295"},
        {"dword", "-2147483648", "2147483648"},
        {"dword", "4294967295", "4294967295"},
        {"dword", "0x10", "16"},
        {"dword", "0XfF", "255"},
        {"binary", "00ff10", "00ff10"},
        {"binary", "ABCDEF", "abcdef"},
        {"binary", "", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.type) + " " + c.data);
        Outcome run = handset({"reg", "set", "HKCU\\Software\\Test\\Deep", "value", c.type, c.data});
        ASSERT_EQ(0, run.status) << run.err;
        EXPECT_EQ("", run.out);
        run = handset({"reg", "get", "hkey_current_user\\software\\TEST\\deep", "VALUE"});
        EXPECT_EQ(0, run.status) << run.err;
        EXPECT_EQ(std::string(c.printed) + "\n", run.out);
    }

    // The bytes as the phone's programs will read them.
    ASSERT_EQ(0, handset({"reg", "set", "HKLM\\S", "s", "sz", "abc"}).status);
    ASSERT_EQ(0, handset({"reg", "set", "HKLM\\S", "d", "dword", "-1"}).status);
    handset::setDeviceRoot(phone());
    HKEY key = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyEx(HKEY_LOCAL_MACHINE, u"S", 0, KEY_READ, &key));
    BYTE data[16];
    DWORD type = 0xdeadbeef;
    DWORD size = sizeof data;
    EXPECT_EQ(ERROR_SUCCESS, RegQueryValueEx(key, u"s", nullptr, &type, data, &size));
    EXPECT_EQ(REG_SZ, type);
    EXPECT_EQ(8u, size);  // (3 + 1) x 2
    size = sizeof data;
    EXPECT_EQ(ERROR_SUCCESS, RegQueryValueEx(key, u"d", nullptr, &type, data, &size));
    EXPECT_EQ(REG_DWORD, type);
    EXPECT_EQ(4u, size);
    EXPECT_EQ(0xFFFFFFFFu, data[0] | (data[1] << 8) | (data[2] << 16) | (DWORD(data[3]) << 24));
    RegCloseKey(key);
    handset::setDeviceRoot(scratch_.root());
}

TEST_F(HandsetCommand, DefaultValueByEmptyNameOrAtSign)
{
    init();
    ASSERT_EQ(0, handset({"reg", "set", "HKCR\\.tone", "", "sz", "ToneFile"}).status);
    EXPECT_EQ("ToneFile\n", handset({"reg", "get", "HKCR\\.tone", "@"}).out);
    ASSERT_EQ(0, handset({"reg", "set", "HKCR\\.tone", "@", "sz", "Other"}).status);
    EXPECT_EQ("Other\n", handset({"reg", "get", "HKCR\\.tone", ""}).out);
}

TEST_F(HandsetCommand, MissingKeysAndValuesExitWithOne)
{
    init();
    Outcome run = handset({"reg", "get", "HKCU\\ControlPanel\\Sounds\\RingTone0", "NoSuchValue"});
    EXPECT_EQ(1, run.status);
    EXPECT_EQ("", run.out);
    EXPECT_NE(std::string::npos, run.err.find("NoSuchValue")) << run.err;

    run = handset({"reg", "get", "HKCU\\No\\Such\\Key", "Sound"});
    EXPECT_EQ(1, run.status);
    EXPECT_NE(std::string::npos, run.err.find("no such key")) << run.err;

    EXPECT_EQ(1, handset({"reg", "delete", "HKCU\\No\\Such\\Key"}).status);
    EXPECT_EQ(1, handset({"reg", "delete", "HKCU\\ControlPanel", "NoSuchValue"}).status);
    EXPECT_EQ(1, handset({"reg", "delete", "HKCU"}).status);
    EXPECT_EQ(1, handset({"reg", "query", "HKCU\\No\\Such\\Key"}).status);
    EXPECT_EQ(1, handset({"reg", "export", "HKCU\\No\\Such\\Key"}).status);
    EXPECT_EQ(1, handset({"reg", "import", (scratch_.root() / "missing.reg").string()}).status);
}

TEST_F(HandsetCommand, DeleteValuesAndWholeKeys)
{
    init();
    ASSERT_EQ(0, handset({"reg", "set", "HKCU\\T\\A\\B", "v", "dword", "1"}).status);
    ASSERT_EQ(0, handset({"reg", "set", "HKCU\\T", "keep", "dword", "2"}).status);
    ASSERT_EQ(0, handset({"reg", "set", "HKCU\\T", "drop", "dword", "3"}).status);

    EXPECT_EQ(0, handset({"reg", "delete", "HKCU\\T", "drop"}).status);
    EXPECT_EQ(1, handset({"reg", "get", "HKCU\\T", "drop"}).status);
    EXPECT_EQ("2\n", handset({"reg", "get", "HKCU\\T", "keep"}).out);

    EXPECT_EQ(0, handset({"reg", "delete", "HKCU\\T\\A"}).status);
    EXPECT_EQ(1, handset({"reg", "get", "HKCU\\T\\A\\B", "v"}).status);
    EXPECT_EQ("2\n", handset({"reg", "get", "HKCU\\T", "keep"}).out);
}

TEST_F(HandsetCommand, QueryShowsValuesThenSubkeys)
{
    init();
    ASSERT_EQ(0, handset({"reg", "set", "HKCU\\ControlPanel\\Sounds\\RingTone0\\Sub", "x", "binary", "0aff"}).status);
    const Outcome run = handset({"reg", "query", "hkcu\\controlpanel\\sounds\\ringtone0"});
    ASSERT_EQ(0, run.status) << run.err;
    EXPECT_EQ("HKEY_CURRENT_USER\\ControlPanel\\Sounds\\RingTone0\n"
              "    Sound    REG_SZ    \\Windows\\Ring.wav\n"
              "    Script    REG_SZ    apw3r\n"
              "\n"
              "HKEY_CURRENT_USER\\ControlPanel\\Sounds\\RingTone0\\Sub\n",
              run.out);
    EXPECT_EQ("HKEY_CURRENT_USER\\ControlPanel\\SoundCategories\\Ring\n"
              "    InitVol    REG_DWORD    0x3 (3)\n",
              handset({"reg", "query", "HKCU\\ControlPanel\\SoundCategories\\Ring"}).out);

    const fs::path file = scratch_.root() / "types.reg";
    std::ofstream(file) << "Windows Registry Editor Version 5.00\n\n[HKLM\\Types]\n@=\"d\"\n"
                        << "\"m\"=hex(7):61,00,00,00,62,00,63,00,00,00,00,00\n\"e\"=hex(2):25,00,00,00\n"
                        << "\"q\"=hex(b):01,00,00,00,00,00,00,00\n\"o\"=hex(4):01,02\n";
    ASSERT_EQ(0, handset({"reg", "import", file.string()}).status);
    EXPECT_EQ("HKEY_LOCAL_MACHINE\\Types\n"
              "    (Default)    REG_SZ    d\n"
              "    m    REG_MULTI_SZ    a\\0bc\n"
              "    e    REG_EXPAND_SZ    %\n"
              "    q    REG_QWORD    0100000000000000\n"
              "    o    REG_DWORD    0102\n",
              handset({"reg", "query", "HKLM\\Types"}).out);
    EXPECT_EQ("0100000000000000\n", handset({"reg", "get", "HKLM\\Types", "q"}).out);
    EXPECT_EQ("610000006200630000000000\n",
              handset({"reg", "get", "HKLM\\Types", "m"}).out);
}

TEST_F(HandsetCommand, ExportAndImportRoundTrip)
{
    init();
    ASSERT_EQ(0, handset({"reg", "set", "HKCU\\Software\\Quorrel\\Tonquil", "InstallDir", "sz", "\\Program Files\\Tonquil"}).status);
    ASSERT_EQ(0, handset({"reg", "set", "HKCU\\Software\\Quorrel\\Tonquil\\Profiles", "currentProfile", "dword", "-1"}).status);
    ASSERT_EQ(0, handset({"reg", "set", "HKCU\\Software\\Quorrel\\Tonquil\\Profiles", "schedule", "binary", "a401000000000000"}).status);

    const Outcome exported = handset({"reg", "export", "HKCU\\Software\\Quorrel"});
    ASSERT_EQ(0, exported.status) << exported.err;
    EXPECT_EQ(0u, exported.out.find("Windows Registry Editor Version 5.00\n"));
    const fs::path file = scratch_.root() / "quorrel.reg";
    ASSERT_EQ(0, handset({"reg", "export", "HKCU\\Software\\Quorrel", file.string()}).status);
    EXPECT_EQ(exported.out, slurp(file));

    ASSERT_EQ(0, handset({"reg", "delete", "HKCU\\Software\\Quorrel"}).status);
    Outcome run = handset({"reg", "import", file.string()});
    ASSERT_EQ(0, run.status) << run.err;
    EXPECT_EQ(exported.out, handset({"reg", "export", "HKCU\\Software\\Quorrel"}).out);
    EXPECT_EQ("4294967295\n", handset({"reg", "get", "HKCU\\Software\\Quorrel\\Tonquil\\Profiles", "currentProfile"}).out);
}

TEST_F(HandsetCommand, MalformedImportIsRefusedWithItsLineAndAppliesNothing)
{
    init();
    const fs::path file = scratch_.root() / "broken.reg";
    std::ofstream(file) << "Windows Registry Editor Version 5.00\n\n[HKCU\\New]\n\"a\"=dword:00000001\n"
                        << "[-HKCU\\ControlPanel]\n\"b\"=hex:0g\n";
    const Outcome run = handset({"reg", "import", file.string()});
    EXPECT_EQ(1, run.status);
    EXPECT_NE(std::string::npos, run.err.find(file.string() + ":6:")) << run.err;
    EXPECT_EQ(1, handset({"reg", "get", "HKCU\\New", "a"}).status);
    EXPECT_EQ("3\n", handset({"reg", "get", "HKCU\\ControlPanel\\SoundCategories\\Ring", "InitVol"}).out);
}

TEST_F(HandsetCommand, ClockSetShowAndReset)
{
    init();
    ASSERT_EQ(0, handset({"clock", "set", "22:00"}).status);
    Outcome run = handset({"clock", "show"});
    ASSERT_EQ(0, run.status) << run.err;
    // YYYY-MM-DD HH:MM:SS; the minute may have turned on a slow machine.
    ASSERT_EQ(20u, run.out.size()) << run.out;
    EXPECT_EQ('-', run.out[4]);
    EXPECT_EQ(' ', run.out[10]);
    EXPECT_TRUE(run.out.substr(11, 5) == "22:00" || run.out.substr(11, 5) == "22:01") << run.out;

    ASSERT_EQ(0, handset({"clock", "set", "7:05"}).status);
    run = handset({"clock", "show"});
    EXPECT_TRUE(run.out.substr(11, 5) == "07:05" || run.out.substr(11, 5) == "07:06") << run.out;

    EXPECT_EQ(0, handset({"clock", "reset"}).status);
    EXPECT_FALSE(fs::exists(phone() / "clock"));
}

TEST_F(HandsetCommand, EveryChangeIsLoggedAndLogFiltersByChannel)
{
    init();
    const fs::path file = scratch_.root() / "one.reg";
    std::ofstream(file) << "REGEDIT4\n\n[HKCU\\Imported]\n\"a\"=\"b\"\n";
    const std::vector<std::vector<std::string>> changes = {
        {"reg", "set", "HKCU\\L", "v", "dword", "1"},
        {"reg", "delete", "HKCU\\L", "v"},
        {"reg", "delete", "HKCU\\L"},
        {"reg", "import", file.string()},
        {"clock", "set", "12:00"},
        {"clock", "reset"},
    };
    std::size_t lines = logLines().size();
    EXPECT_EQ(1u, lines);  // init's
    for (const auto& arguments : changes) {
        SCOPED_TRACE(joined(arguments));
        ASSERT_EQ(0, handset(arguments).status);
        const auto now = logLines();
        ASSERT_EQ(lines + 1, now.size());
        EXPECT_NE(std::string::npos, now.back().find(" handset: ")) << now.back();
        lines = now.size();
    }
    // Reading changes nothing and logs nothing.
    for (std::vector<std::string> arguments : {std::vector<std::string>{"reg", "get", "HKCU\\Imported", "a"},
                                               {"reg", "query", "HKCU"}, {"reg", "export", "HKCU\\Imported"},
                                               {"clock", "show"}, {"log"}}) {
        ASSERT_EQ(0, handset(arguments).status);
    }
    EXPECT_EQ(lines, logLines().size());

    // Another program's line on another channel.
    handset::setDeviceRoot(phone());
    handset::logLine("ring", "RingTone0 rings");
    handset::setDeviceRoot(scratch_.root());

    Outcome run = handset({"log"});
    EXPECT_EQ(0, run.status);
    EXPECT_NE(std::string::npos, run.out.find("ring: RingTone0 rings"));
    EXPECT_NE(std::string::npos, run.out.find("reg set HKEY_CURRENT_USER\\L"));
    run = handset({"log", "--channel", "ring"});
    EXPECT_EQ(0, run.status);
    EXPECT_NE(std::string::npos, run.out.find("RingTone0 rings"));
    EXPECT_EQ(std::string::npos, run.out.find("reg set"));
    run = handset({"log", "--channel", "handset"});
    EXPECT_EQ(std::string::npos, run.out.find("RingTone0 rings"));
    EXPECT_EQ(lines, static_cast<std::size_t>(std::count(run.out.begin(), run.out.end(), '\n')));
}

TEST_F(HandsetCommand, LogFollowPrintsNewLinesUntilInterrupted)
{
    init();
    const fs::path folder = scratch_.root() / "follow";
    fs::create_directories(folder);
    const pid_t pid = start({"--device", phone().string(), "log", "--follow", "--channel", "handset"}, folder);
    ASSERT_GT(pid, 0);

    ASSERT_EQ(0, handset({"reg", "set", "HKCU\\Followed", "v", "dword", "1"}).status);
    // Wait (generously) for the line to come through.
    bool seen = false;
    for (int i = 0; i < 300 && !seen; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        seen = slurp(folder / "out").find("HKEY_CURRENT_USER\\Followed") != std::string::npos;
    }
    EXPECT_TRUE(seen);

    kill(pid, SIGINT);
    const Outcome run = finish(pid, folder);
    EXPECT_EQ(0, run.status) << run.err;
    EXPECT_NE(std::string::npos, run.out.find("created a new device"));
}

}  // namespace

namespace {

TEST_F(HandsetCommand, ContactsAreAddedChangedListedAndDeleted)
{
    init();
    Outcome run = handset({"contacts", "add", "--first", "Anna", "--last", "Berg", "--mobile", "+49 151 1234567",
                           "--categories", "Family,Work", "--ring-tone", "\\My Documents\\Anna.mp3", "--sms-tone",
                           "\\Windows\\Alert.wav", "--priority", "1"});
    ASSERT_EQ(0, run.status) << run.err;
    const std::string oid = run.out.substr(0, run.out.find('\n'));
    EXPECT_EQ(oid + "\n", run.out);  // the object id alone

    run = handset({"contacts", "set", oid, "--last", "'; DROP TABLE props; --", "--priority", "2", "--home", "030 1"});
    ASSERT_EQ(0, run.status) << run.err;
    run = handset({"contacts", "list"});
    ASSERT_EQ(0, run.status) << run.err;
    EXPECT_EQ(oid + "\t'; DROP TABLE props; --\tAnna\t\tmobile:+49 151 1234567,home:030 1\t\\My Documents\\Anna.mp3\t"
                    "\\Windows\\Alert.wav\t2\tFamily,Work\n",
              run.out);
    run = handset({"categories", "list"});
    EXPECT_EQ("Family\nWork\n", run.out);

    EXPECT_EQ(2, handset({"contacts", "add", "--priority", "VIP"}).status);
    EXPECT_EQ(2, handset({"contacts", "show", "nope"}).status);
    EXPECT_EQ(1, handset({"contacts", "show", "999"}).status);
    EXPECT_EQ(0, handset({"contacts", "delete", oid}).status);
    EXPECT_EQ(1, handset({"contacts", "delete", oid}).status);
    EXPECT_EQ("", handset({"contacts", "list"}).out);
}

// A new device's stock pictures given to contacts: stored byte for byte,
// shown by size and format; a file that is no picture is stored all the same.
TEST_F(HandsetCommand, ContactPicturesAreStoredAsTheyAreAndShownBySizeAndFormat)
{
    init();
    const fs::path pictures = phone() / "fs" / "My Documents" / "My Pictures";
    const fs::path text = scratch_.root() / "notes.txt";
    std::ofstream(text) << "no picture";
    for (const auto& [file, shown] : {std::pair{pictures / "Sunset.jpg", "400x300 JPEG"},
                                      std::pair{pictures / "Portrait.jpg", "120x160 JPEG"},
                                      std::pair{pictures / "Daisy.png", "64x64 PNG"},
                                      std::pair{text, "not a picture"}}) {
        SCOPED_TRACE(file.string());
        Outcome run = handset({"contacts", "add", "--last", "Smith", "--picture", file.string()});
        ASSERT_EQ(0, run.status) << run.err;
        const std::string oid = run.out.substr(0, run.out.find('\n'));
        const std::string bytes = slurp(file);
        run = handset({"contacts", "show", oid});
        EXPECT_NE(std::string::npos,
                  run.out.find("\npicture: " + std::string(shown) + " (" + std::to_string(bytes.size()) + " bytes)\n"))
            << run.out;
        handset::setDeviceRoot(phone());
        const auto stored = handset::contacts::showContact(static_cast<CEOID>(std::stoul(oid)));
        EXPECT_EQ(bytes, std::string(stored.contact.picture.begin(), stored.contact.picture.end()));
    }

    Outcome run = handset({"contacts", "add", "--last", "Jones", "--picture", (pictures / "Gone.jpg").string()});
    EXPECT_EQ(1, run.status);
    EXPECT_NE(std::string::npos, run.err.find("cannot read the picture")) << run.err;
    run = handset({"contacts", "add", "--last", "Jones"});
    const std::string oid = run.out.substr(0, run.out.find('\n'));
    EXPECT_NE(std::string::npos, handset({"contacts", "show", oid}).out.find("\npicture: none\n"));
}

TEST_F(HandsetCommand, VCardImportIsAllOrNothing)
{
    init();
    const fs::path good = scratch_.root() / "good.vcf";
    std::ofstream(good) << "BEGIN:VCARD\r\nVERSION:2.1\r\nN:Doe;John\r\nTEL;CELL:+1 555\r\n 0100\r\nEND:VCARD\r\n"
                           "BEGIN:VCARD\r\nVERSION:4.0\r\nFN:Jane\r\nN:Roe;Jane;;;\r\nEND:VCARD\r\n";
    Outcome run = handset({"contacts", "import", good.string()});
    ASSERT_EQ(0, run.status) << run.err;
    EXPECT_EQ("2\n", run.out);
    // A 2.1 fold keeps its blank.
    EXPECT_NE(std::string::npos, handset({"contacts", "list"}).out.find("mobile:+1 555 0100"));

    const fs::path bad = scratch_.root() / "bad.vcf";
    std::ofstream(bad) << "BEGIN:VCARD\nVERSION:3.0\nN:Ok;One\nEND:VCARD\nBEGIN:VCARD\nVERSION:3.0\nN:Broken\n";
    run = handset({"contacts", "import", bad.string()});
    EXPECT_EQ(1, run.status);
    EXPECT_NE(std::string::npos, run.err.find("bad.vcf:"));
    EXPECT_NE(std::string::npos, run.err.find("nothing was imported"));
    EXPECT_EQ(std::string::npos, handset({"contacts", "list"}).out.find("Ok"));
}

TEST_F(HandsetCommand, CategoriesAreAddedAndDeleted)
{
    init();
    EXPECT_EQ(0, handset({"categories", "add", "Family"}).status);
    EXPECT_EQ(1, handset({"categories", "add", "FAMILY"}).status);
    EXPECT_EQ(2, handset({"categories", "add", "A,B"}).status);
    ASSERT_EQ(0, handset({"contacts", "add", "--last", "X", "--categories", "Family"}).status);
    EXPECT_EQ(0, handset({"categories", "delete", "family"}).status);
    EXPECT_EQ("", handset({"categories", "list"}).out);
    EXPECT_EQ(1, handset({"categories", "delete", "Family"}).status);
}

}  // namespace

namespace {

// The pid a resident's pid file names; 0 when there is none.
pid_t residentPid(const fs::path& device, const std::string& name)
{
    std::ifstream in(device / "run" / (name + ".pid"));
    pid_t pid = 0;
    in >> pid;
    return pid;
}

// Waits (up to 30 s, ample under a sanitizer) until `done`.
template <typename Done>
bool eventually(Done done)
{
    for (int i = 0; i < 1500 && !done(); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    return done();
}

}  // namespace

TEST_F(HandsetCommand, TheDeviceRestartsAResidentThatDiesAndACallMeanwhileStillRings)
{
    handset::testing::letSegfaultsKill();
    init();
    Outcome run = handset({"boot"});
    ASSERT_EQ(0, run.status) << run.err;
    const pid_t today = residentPid(phone(), "today");
    ASSERT_NE(0, today);
    run = handset({"status"});
    EXPECT_NE(std::string::npos, run.out.find("\nsupervisor: running (pid ")) << run.out;

    // The Today screen crashes (a plug-in's fault, say); a call comes at once.
    ASSERT_EQ(0, ::kill(today, SIGSEGV));
    run = handset({"call", "5550123"});
    EXPECT_EQ(0, run.status) << run.err;
    EXPECT_EQ("sound=\\Windows\\Ring.wav\nscript=apw3r\nvolume=3\n", run.out);

    const std::string restarted = "today: running (pid ";
    ASSERT_TRUE(eventually([&] {
        return handset({"status"}).out.find("; restarted 1 time, last because it was killed by signal 11 (SIGSEGV)\n") !=
               std::string::npos;
    })) << handset({"status"}).out;
    const pid_t again = residentPid(phone(), "today");
    EXPECT_NE(today, again);
    EXPECT_NE(std::string::npos,
              handset({"status"}).out.find(restarted + std::to_string(again) + "); restarted 1 time"));
    const std::vector<std::string> lines = logLines();
    EXPECT_TRUE(std::any_of(lines.begin(), lines.end(), [&](const std::string& line) {
        return line.find("lifecycle: today (pid " + std::to_string(today) +
                         ") was killed by signal 11 (SIGSEGV); restarting it") != std::string::npos;
    }));

    // Shutdown stops the supervisor first, so nothing comes back.
    run = handset({"shutdown"});
    EXPECT_EQ(0, run.status) << run.err;
    EXPECT_EQ(0u, run.out.find("shut the device down: stopped supervisor (pid ")) << run.out;
    EXPECT_EQ(0u, handset({"status"}).out.find("the device is not running\nradio: not running")) << handset({"status"}).out;
}
