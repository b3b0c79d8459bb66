// Incoming calls end to end, with real processes: `handset boot` starts the
// device, callmonitor-host holds Tolvane's call monitor on its cellular line,
// `handset call` rings the phone, a hung line application cannot stop it,
// `handset shutdown` ends it all, the monitor's host with the rest.
#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <fstream>
#include <future>
#include <optional>
#include <regex>
#include <spawn.h>
#include <sstream>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

#include <handset/contacts_admin.h>
#include <handset/device.h>
#include <handset/registry.h>
#include <handset/tapi.h>
#include <handset/wstring.h>
#include <settings/settings.h>

#include "run_program.h"
#include "test_media.h"
#include "test_device.h"

extern char** environ;

namespace {

namespace fs = std::filesystem;
using handset::testing::Outcome;
using handset::testing::slurp;

constexpr char kAnna[] = "+49 151 1234567";
constexpr char kAnnaTone[] = "\\My Documents\\My Ringtones\\Anna.wav";
constexpr char kNoIdTone[] = "\\Windows\\NoCallerId.wav";

// What `handset call` says of the ring, without the reasons it adds after it
// (those are tested with the decisions they explain).
std::string ringOf(const std::string& out)
{
    const auto why = out.find("why=");
    return why == std::string::npos ? out : out.substr(0, why);
}

bool processExists(pid_t pid)
{
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    std::string line;
    if (!std::getline(stat, line))
        return false;
    const std::size_t close = line.rfind(')');
    return close != std::string::npos && line.size() > close + 2 && line[close + 2] != 'Z';
}

class CallEndToEnd : public ::testing::Test {
protected:
    fs::path phone() const { return scratch_.root() / "phone"; }

    void SetUp() override
    {
        // The Today screen among the residents needs no display.
        setenv("QT_QPA_PLATFORM", "offscreen", 0);
        const Outcome init = handset({"init"});
        ASSERT_EQ(0, init.status) << init.err;
        // The test sets up the phone itself, through the same registry and
        // contacts volume the device's programs use.
        handset::setDeviceRoot(phone());
        settings::resetProfiles();
        settings::writeClassRingTone(settings::NoCallerId, u"\\Windows\\NoCallerId.wav");
        settings::writeClassRingTone(settings::UnknownCaller, u"\\Windows\\Unknown.wav");
        handset::contacts::ContactChanges anna;
        anna.firstName = u"Anna";
        anna.phones = {{PIMPR_MOBILE_TELEPHONE_NUMBER, handset::fromUtf8(kAnna)}};
        anna.ringTone = handset::fromUtf8(kAnnaTone);
        ASSERT_EQ(ERROR_SUCCESS, handset::contacts::addContact(anna));
    }

    void TearDown() override
    {
        handset({"shutdown"});
        if (host_ > 0) {
            ::kill(host_, SIGKILL);
            ::waitpid(host_, nullptr, 0);
        }
        // Should shutdown have failed, nothing the test started may outlive it.
        std::error_code ec;
        for (const fs::path& folder : {phone() / "run", phone() / "run" / "started"}) {
            for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
                if (it->path().extension() != ".pid")
                    continue;
                std::ifstream in(it->path());
                pid_t pid = 0;
                if (in >> pid && pid > 1 && pid != ::getpid()) {
                    ADD_FAILURE() << "still running after shutdown: " << it->path();
                    ::kill(pid, SIGKILL);
                }
            }
        }
    }

    // Runs the handset command on the test's phone, killing it should it
    // hang (a guard against a hung test, not a measure of time).
    Outcome handset(std::vector<std::string> arguments) { return handsetIn(scratch_.root(), std::move(arguments)); }

    // The same, with its output kept in `folder`, so that it can run beside
    // other commands.
    Outcome handsetIn(const fs::path& folder, std::vector<std::string> arguments)
    {
        arguments.insert(arguments.begin(), {HANDSET_BIN, "--device", phone().string()});
        return ::handset::testing::runProgram(std::move(arguments), folder);
    }

    // Boots the device and has the call monitor watch its cellular line
    // from a program of its own, as the Today item's window will.
    void boot()
    {
        const Outcome run = handset({"boot"});
        ASSERT_EQ(0, run.status) << run.err;
        ASSERT_NE(std::string::npos, run.out.find("radio (pid ")) << run.out;

        char* argv[] = {const_cast<char*>(CALLMONITOR_HOST), nullptr};
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
        ASSERT_EQ(0, posix_spawn(&host_, argv[0], &actions, nullptr, argv, environ));
        posix_spawn_file_actions_destroy(&actions);
        // It is ready once it announces itself (a hang guard, not a measure).
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
        for (;;) {
            std::ifstream in(phone() / "run" / "callmonitor-host.pid");
            pid_t pid = 0;
            if (in >> pid && pid == host_)
                break;
            ASSERT_EQ(0, ::waitpid(host_, nullptr, WNOHANG)) << "callmonitor-host ended; see the device log";
            ASSERT_LT(std::chrono::steady_clock::now(), deadline) << "callmonitor-host never got ready";
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
    }

    std::vector<pid_t> residentPids()
    {
        std::vector<pid_t> pids;
        for (const char* name : {"radio.pid", "callmonitor-host.pid"}) {
            std::ifstream in(phone() / "run" / name);
            pid_t pid = 0;
            if (in >> pid)
                pids.push_back(pid);
        }
        return pids;
    }

    static std::u16string ringString(const char16_t* name)
    {
        HKEY key = nullptr;
        WCHAR buffer[300] = {};
        DWORD size = sizeof buffer - 2;
        if (RegOpenKeyEx(HKEY_CURRENT_USER, u"ControlPanel\\Sounds\\RingTone0", 0, KEY_READ, &key) != ERROR_SUCCESS)
            return u"<no key>";
        RegQueryValueEx(key, name, nullptr, nullptr, reinterpret_cast<BYTE*>(buffer), &size);
        RegCloseKey(key);
        return buffer;
    }

    static DWORD ringVolume()
    {
        HKEY key = nullptr;
        DWORD value = 0xdeadbeef, size = sizeof value;
        RegOpenKeyEx(HKEY_CURRENT_USER, u"ControlPanel\\SoundCategories\\Ring", 0, KEY_READ, &key);
        RegQueryValueEx(key, u"InitVol", nullptr, nullptr, reinterpret_cast<BYTE*>(&value), &size);
        RegCloseKey(key);
        return value;
    }

    std::string log() { return slurp(phone() / "log" / "device.log"); }

    handset::testing::TempDevice scratch_;
    pid_t host_ = -1;
};

TEST_F(CallEndToEnd, CallsNeedARunningDevice)
{
    for (const std::vector<std::string>& command : {std::vector<std::string>{"call", kAnna},
                                                    std::vector<std::string>{"call", "--no-caller-id"}}) {
        SCOPED_TRACE(command.back());
        const Outcome run = handset(command);
        EXPECT_EQ(1, run.status);
        EXPECT_EQ("handset: device is not running; run `handset boot`\n", run.err);
        EXPECT_EQ("", run.out);
    }
    Outcome run = handset({"status"});
    EXPECT_EQ(0, run.status);
    EXPECT_EQ(0u, run.out.find("the device is not running\nradio: not running\n")) << run.out;
    run = handset({"shutdown"});
    EXPECT_EQ(0, run.status);
    EXPECT_EQ("the device is not running\n", run.out);

    // A call needs a number or the word that there is none, not both.
    EXPECT_EQ(2, handset({"call"}).status);
    EXPECT_EQ(2, handset({"call", kAnna, "--no-caller-id"}).status);
}

TEST_F(CallEndToEnd, ACallRingsWithTheCallersToneTheProfilesVolumeAndItsScript)
{
    boot();
    const std::vector<pid_t> pids = residentPids();
    ASSERT_EQ(2u, pids.size());
    Outcome run = handset({"status"});
    EXPECT_EQ(0u, run.out.find("the device is running\nradio: running (pid " + std::to_string(pids[0]) + ")\n"))
        << run.out;
    EXPECT_NE(std::string::npos, run.out.find("\ncallmonitor-host: running (pid " + std::to_string(pids[1]) + ")\n"))
        << run.out;
    EXPECT_EQ("the device is already running\n", handset({"boot"}).out);

    run = handset({"call", kAnna});
    ASSERT_EQ(0, run.status) << run.err;
    EXPECT_EQ(std::string("sound=") + kAnnaTone + "\nscript=apw3r\nvolume=3\n", ringOf(run.out));
    EXPECT_EQ(handset::fromUtf8(kAnnaTone), ringString(u"Sound"));
    EXPECT_EQ(u"apw3r", ringString(u"Script"));
    EXPECT_EQ(3u, ringVolume());
    const std::string text = log();
    EXPECT_NE(std::string::npos, text.find(std::string(" ring: sound=") + kAnnaTone + " script=apw3r volume=3"));

    // Without caller ID, and with the reports the other way round.
    run = handset({"call", "--no-caller-id"});
    ASSERT_EQ(0, run.status) << run.err;
    EXPECT_EQ(std::string("sound=") + kNoIdTone + "\nscript=apw3r\nvolume=3\n", ringOf(run.out));
    run = handset({"call", "--caller-id-first", kAnna});
    ASSERT_EQ(0, run.status) << run.err;
    EXPECT_EQ(std::string("sound=") + kAnnaTone + "\nscript=apw3r\nvolume=3\n", ringOf(run.out));

    // Shutdown stops the monitor's host too, though boot did not start it.
    run = handset({"shutdown"});
    EXPECT_EQ(0, run.status) << run.err;
    EXPECT_NE(std::string::npos, run.out.find("callmonitor-host (pid " + std::to_string(pids[1]) + ")")) << run.out;
    for (pid_t pid : pids)
        EXPECT_FALSE(processExists(pid)) << pid;
    EXPECT_TRUE(residentPids().empty());
    EXPECT_FALSE(fs::exists(phone() / "run" / "radio.sock"));
    EXPECT_EQ(1, handset({"call", kAnna}).status);
}

// The phone's sound system rings the call with what Tolvane chose: the
// capture of a Normal-profile call from Anna holds her tone.
TEST_F(CallEndToEnd, TheRingSoundsWithTheCallersTone)
{
    const fs::path captures = scratch_.root() / "captures";
    ::setenv("HANDSET_AUDIO", ("capture:" + captures.string()).c_str(), 1);
    const fs::path tone = *handset::mapDevicePath(handset::fromUtf8(kAnnaTone));
    fs::create_directories(tone.parent_path());
    wmp_test::writeToneWav(tone, 0.5, 440);
    boot();
    const Outcome run = handset({"call", kAnna, "--ring-for", "0.5"});
    ::setenv("HANDSET_AUDIO", "none", 1);
    ASSERT_EQ(0, run.status) << run.err;

    std::vector<fs::path> rings;
    for (const fs::path& file : wmp_test::filesIn(captures))
        if (file.filename().string().starts_with("ring-call") &&
            file.filename().string().ends_with("-+49_151_1234567.wav"))
            rings.push_back(file);
    ASSERT_EQ(1u, rings.size()) << log();
    const auto recorded = wmp_test::decodeFile(rings[0]);
    ASSERT_TRUE(recorded);
    EXPECT_GT(recorded->peak, 1000) << "the tone sounded";
    EXPECT_NE(std::string::npos, log().find("playing \"" + std::string(kAnnaTone) + "\"")) << log();
}

TEST_F(CallEndToEnd, AHungLineApplicationCannotStopThePhoneFromRinging)
{
    boot();
    // A line application in this process whose callback never returns
    // until the test is over.
    std::promise<void> release;
    static std::shared_future<void> released;
    released = release.get_future().share();
    HLINEAPP app = 0;
    DWORD devices = 0;
    ASSERT_EQ(0, lineInitialize(
                     &app, nullptr, [](DWORD, DWORD, DWORD, DWORD, DWORD, DWORD) { released.wait(); }, nullptr,
                     &devices));
    ASSERT_EQ(1u, devices);  // a new device has the cellular line only
    HLINE line = 0;
    ASSERT_EQ(0, lineOpen(app, 0, &line, 0x00020000, 0, 0, LINECALLPRIVILEGE_MONITOR, 0, nullptr));

    const Outcome run = handset({"call", kAnna});
    release.set_value();
    EXPECT_EQ(0, run.status) << run.err;
    EXPECT_EQ(std::string("sound=") + kAnnaTone + "\nscript=apw3r\nvolume=3\n", ringOf(run.out));
    const std::string text = log();
    EXPECT_NE(std::string::npos, text.find("the line application of process " + std::to_string(::getpid()) +
                                           " did not return from its callback within 2000 ms"));
    EXPECT_EQ(0, lineShutdown(app));
}

TEST_F(CallEndToEnd, ARingingCallIsAnsweredRejectedOrMissedFromOtherShellsAndLogged)
{
    boot();
    const fs::path caller = scratch_.root() / "caller";
    fs::create_directories(caller);
    // Acts on the ringing call as soon as there is one (a hang guard, not a
    // measure of time).
    const auto onceRinging = [&](const char* action) {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
        Outcome run;
        while ((run = handset({action})).status != 0 && std::chrono::steady_clock::now() < deadline)
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        return run;
    };

    auto answered = std::async(std::launch::async, [&] { return handsetIn(caller, {"call", kAnna, "--ring-for", "60"}); });
    ASSERT_EQ(0, onceRinging("answer").status);
    ASSERT_EQ(0, onceRinging("hangup").status);
    Outcome run = answered.get();
    ASSERT_EQ(0, run.status) << run.err;
    EXPECT_EQ(std::string("sound=") + kAnnaTone + "\nscript=apw3r\nvolume=3\n", ringOf(run.out));
    EXPECT_NE(std::string::npos, run.out.find("\noutcome=answered\nrang=")) << run.out;

    auto rejected = std::async(std::launch::async, [&] { return handsetIn(caller, {"call", kAnna, "--ring-for", "60"}); });
    ASSERT_EQ(0, onceRinging("reject").status);
    EXPECT_NE(std::string::npos, rejected.get().out.find("\noutcome=rejected\n"));
    run = handset({"call", "5550999", "--ring-for", "0.1"});
    EXPECT_NE(std::string::npos, run.out.find("\noutcome=missed\nrang=")) << run.out;
    EXPECT_EQ(1, handset({"answer"}).status);  // nothing rings now

    run = handset({"calls", "--limit", "3"});
    ASSERT_EQ(0, run.status) << run.err;
    const std::regex listed("[0-9-]+ [0-9:]+  missed  in  [0-9]+s  5550999\n"
                            "[0-9-]+ [0-9:]+  rejected  in  [0-9]+s  \\+49 151 1234567  Anna\n"
                            "[0-9-]+ [0-9:]+  answered  in  [0-9]+s  \\+49 151 1234567  Anna\n");
    EXPECT_TRUE(std::regex_match(run.out, listed)) << run.out;

    // Shutdown while a call rings: it ends as missed and nothing stays.
    const auto rings = [&] {
        const std::string text = log();
        std::size_t count = 0;
        for (std::size_t at = text.find(" ring: "); at != std::string::npos; at = text.find(" ring: ", at + 1))
            ++count;
        return count;
    };
    const std::size_t before = rings();
    auto cut = std::async(std::launch::async, [&] { return handsetIn(caller, {"call", "--no-caller-id", "--ring-for", "60"}); });
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (rings() == before && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    run = handset({"shutdown"});
    EXPECT_EQ(0, run.status) << run.err;
    run = cut.get();
    EXPECT_NE(std::string::npos, run.out.find("\noutcome=missed\n")) << run.out;
    EXPECT_TRUE(residentPids().empty());
}

}  // namespace
