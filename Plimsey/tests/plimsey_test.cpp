// plimsey.exe as the phone runs it: started with a tone path as its whole
// command line, playing through the real media player into a capture
// folder, ending by the five-second position limit or the eight-second
// timer, always with exit code 0.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <spawn.h>
#include <sstream>
#include <string>
#include <sys/wait.h>
#include <vector>

#include <handset/device.h>
#include <handset/factory.h>
#include <handset/log.h>
#include <handset/process.h>
#include <handset/wstring.h>

#include "test_device.h"
#include "test_media.h"

extern char** environ;

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

constexpr const char16_t* kPlayer = u"\\Program Files\\Tonquil\\plimsey.exe";

std::string slurp(const fs::path& file)
{
    std::ifstream in(file, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

double secondsSince(Clock::time_point start)
{
    return std::chrono::duration<double>(Clock::now() - start).count();
}

// One run of the player, with a capture folder of its own.
struct PlayerRun {
    explicit PlayerRun(std::string runName) : name(std::move(runName)) {}

    std::string name;
    fs::path captures;
    PROCESS_INFORMATION process{};
    Clock::time_point started;
    double seconds = 0;  // from start to end
    DWORD exitCode = 0xdeadbeef;
};

class PlimseyTest : public handset::testing::DeviceTest {
protected:
    void SetUp() override
    {
        // A whole device, as `handset run` only starts programs on one.
        ASSERT_TRUE(handset::createDevice(device_.root(), handset::ReplaceExisting::No).ok());
        const fs::path folder = device_.root() / "fs" / "Program Files" / "Tonquil";
        fs::create_directories(folder);
        fs::copy_file(PLIMSEY_EXE, folder / "plimsey.exe");
        ringtones_ = device_.root() / "fs" / "My Documents" / "My Ringtones";
        fs::create_directories(ringtones_);
    }
    void TearDown() override { unsetenv("HANDSET_AUDIO"); }

    void start(PlayerRun& run, const std::u16string& commandLine)
    {
        run.captures = device_.root() / ("captures-" + run.name);
        // The program gets this process's environment as it is at the start.
        setenv("HANDSET_AUDIO", ("capture:" + run.captures.string()).c_str(), 1);
        run.started = Clock::now();
        ASSERT_TRUE(CreateProcess(kPlayer, commandLine.c_str(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, nullptr,
                                  &run.process))
            << GetLastError();
    }

    void finish(PlayerRun& run)
    {
        // Far beyond the player's own limits: a player that never ends fails
        // here instead of hanging the suite.
        ASSERT_EQ(WAIT_OBJECT_0, WaitForSingleObject(run.process.hProcess, 30000)) << run.name << " did not end";
        run.seconds = secondsSince(run.started);
        GetExitCodeProcess(run.process.hProcess, &run.exitCode);
        CloseHandle(run.process.hThread);
        CloseHandle(run.process.hProcess);
    }

    std::string log() { return slurp(handset::deviceLogPath()); }

    fs::path ringtones_;
};

// Through `handset run`, as a script would start it: an empty command line
// means nothing to play, so the player ends at once without a player object.
TEST_F(PlimseyTest, EmptyCommandLineExitsAtOnceWithoutAPlayer)
{
    const fs::path captures = device_.root() / "captures";
    setenv("HANDSET_AUDIO", ("capture:" + captures.string()).c_str(), 1);
    std::string device = device_.root().string();
    std::string bin = HANDSET_BIN;
    char deviceOption[] = "--device";
    char run[] = "run";
    char wait[] = "--wait";
    std::string player = handset::toUtf8(kPlayer);
    char* argv[] = {bin.data(), deviceOption, device.data(), run, wait, player.data(), nullptr};
    const auto started = Clock::now();
    pid_t pid = 0;
    ASSERT_EQ(0, posix_spawn(&pid, bin.c_str(), nullptr, nullptr, argv, environ));
    int status = 0;
    ASSERT_EQ(pid, waitpid(pid, &status, 0));
    EXPECT_TRUE(WIFEXITED(status));
    EXPECT_EQ(0, WEXITSTATUS(status));
    EXPECT_LT(secondsSince(started), 8.0) << "it did not wait for its timer";

    const std::string text = log();
    EXPECT_NE(std::string::npos, text.find("exec: \"\\Program Files\\Tonquil\\plimsey.exe\"\n"));
    EXPECT_EQ(std::string::npos, text.find(" wmp: ")) << "no media player was made";
    EXPECT_FALSE(fs::exists(captures));
}

// A path longer than the player's 255-character buffer is refused, even
// when the file exists: a cut path would name some other file.
TEST_F(PlimseyTest, CommandLineOverTheLimitIsRefused)
{
    fs::path folder = ringtones_;
    std::u16string path = u"\\My Documents\\My Ringtones";
    for (int i = 0; i < 3; ++i) {
        const std::string part(80, static_cast<char>('a' + i));
        folder /= part;
        path += u"\\" + handset::fromUtf8(part);
    }
    fs::create_directories(folder);
    wmp_test::writeToneWav(folder / "tone.wav", 2.0);
    path += u"\\tone.wav";
    ASSERT_GT(path.size(), 255u);

    PlayerRun run{"long"};
    start(run, path);
    finish(run);
    EXPECT_EQ(0u, run.exitCode);
    EXPECT_LT(run.seconds, 8.0);
    EXPECT_FALSE(fs::exists(run.captures)) << "nothing was played";
    const std::string text = log();
    EXPECT_NE(std::string::npos,
              text.find("plimsey: refused a command line of " + std::to_string(path.size()) + " characters"));
    EXPECT_EQ(std::string::npos, text.find(" wmp: "));
}

// The four ways a tone plays, at once (each start is its own process, and
// two players sound together): a long MP3 stops at five seconds of media; a
// short WAV in a path with spaces plays once and the player waits for its
// timer; a missing file plays nothing until the timer; MIDI is synthesised.
TEST_F(PlimseyTest, TonesPlayAtMostFiveSecondsAndEndByTheTimer)
{
    ASSERT_TRUE(wmp_test::encodeTone(ringtones_ / "Long Tone.mp3", 20.0, wmp_test::Codec::Mp3));
    wmp_test::writeToneWav(ringtones_ / "Old Phone.wav", 2.0);
    wmp_test::writeMidi(ringtones_ / "Tune.mid", 6);

    PlayerRun longMp3{"mp3"}, shortWav{"wav"}, missing{"missing"}, midi{"midi"};
    start(longMp3, u"\\My Documents\\My Ringtones\\Long Tone.mp3");
    start(shortWav, u"\\My Documents\\My Ringtones\\Old Phone.wav");
    start(missing, u"\\My Documents\\My Ringtones\\Gone.wav");
    start(midi, u"\\My Documents\\My Ringtones\\Tune.mid");
    for (PlayerRun* run : {&longMp3, &shortWav, &missing, &midi})
        finish(*run);
    for (PlayerRun* run : {&longMp3, &shortWav, &missing, &midi}) {
        SCOPED_TRACE(run->name);
        EXPECT_EQ(0u, run->exitCode);
    }

    {
        SCOPED_TRACE("20-second MP3");
        const auto files = wmp_test::filesIn(longMp3.captures);
        ASSERT_EQ(1u, files.size());
        const auto capture = wmp_test::readCapture(files[0]);
        ASSERT_TRUE(capture);
        EXPECT_GE(capture->seconds, 5.0);
        EXPECT_LE(capture->seconds, 5.6);
        EXPECT_GT(capture->peak, 5000);
    }
    {
        SCOPED_TRACE("2-second WAV, path with spaces");
        const auto files = wmp_test::filesIn(shortWav.captures);
        ASSERT_EQ(1u, files.size()) << "played once";
        const auto capture = wmp_test::readCapture(files[0]);
        ASSERT_TRUE(capture);
        EXPECT_NEAR(2.0, capture->seconds, 0.1);
        EXPECT_GT(capture->peak, 10000);
        EXPECT_GE(shortWav.seconds, 8.0) << "the player waits for its timer";
        EXPECT_LT(shortWav.seconds, 15.0);
    }
    {
        SCOPED_TRACE("missing file");
        EXPECT_TRUE(wmp_test::filesIn(missing.captures).empty());
        EXPECT_GE(missing.seconds, 8.0);
        EXPECT_LT(missing.seconds, 15.0);
    }
    {
        SCOPED_TRACE("MIDI");
        const auto files = wmp_test::filesIn(midi.captures);
        ASSERT_EQ(1u, files.size());
        const auto capture = wmp_test::readCapture(files[0]);
        ASSERT_TRUE(capture);
        EXPECT_GT(capture->seconds, 2.5);
        EXPECT_GT(capture->peak, 1000) << "the synthesiser made sound";
    }

    const std::string text = log();
    EXPECT_NE(std::string::npos,
              text.find("exec: \"\\Program Files\\Tonquil\\plimsey.exe\" \\My Documents\\My Ringtones\\Old Phone.wav\n"));
    EXPECT_NE(std::string::npos, text.find("wmp: play \"\\My Documents\\My Ringtones\\Old Phone.wav\""));
    EXPECT_NE(std::string::npos, text.find("wmp: cannot play \"\\My Documents\\My Ringtones\\Gone.wav\""));
}

}  // namespace
