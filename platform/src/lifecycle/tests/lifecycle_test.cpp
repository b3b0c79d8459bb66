// Boot, status and shutdown with real processes (lifecycle_test_program),
// and the pid files that tell which programs run.
#include <handset/lifecycle.h>

#include <algorithm>
#include <csignal>
#include <fstream>
#include <sstream>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <handset/device.h>
#include <handset/log.h>

#include "test_device.h"
#include "test_program.h"

namespace {

namespace fs = std::filesystem;
using handset::lifecycle::BootOptions;
using handset::lifecycle::Required;
using handset::lifecycle::ResidentProgram;
using handset::lifecycle::RunningProgram;

bool processExists(pid_t pid)
{
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    std::string line;
    if (!std::getline(stat, line))
        return false;
    const std::size_t close = line.rfind(')');
    return close != std::string::npos && line.size() > close + 2 && line[close + 2] != 'Z';
}

std::vector<std::string> namesOf(const std::vector<RunningProgram>& programs)
{
    std::vector<std::string> names;
    for (const auto& program : programs)
        names.push_back(program.name);
    return names;
}

class LifecycleTest : public handset::testing::DeviceTest {
protected:
    void TearDown() override
    {
        // A pid file naming this process must not make shutdown stop it.
        handset::lifecycle::withdraw("radio");
        // Whatever a failed test left running goes, quickly.
        handset::lifecycle::ShutdownOptions options;
        options.residents = table_;
        options.grace = std::chrono::milliseconds(200);
        (void)handset::lifecycle::shutdown(options);
        for (pid_t child : children_) {
            ::kill(child, SIGKILL);
            ::waitpid(child, nullptr, 0);
        }
    }

    BootOptions options(std::vector<ResidentProgram> table)
    {
        table_ = std::move(table);
        BootOptions boot;
        boot.residents = table_;
        boot.programs = LIFECYCLE_TEST_PROGRAMS;
        boot.readyTimeout = std::chrono::seconds(10);
        return boot;
    }

    handset::lifecycle::ShutdownResult shutdown(std::chrono::milliseconds grace = std::chrono::seconds(5))
    {
        handset::lifecycle::ShutdownOptions options;
        options.residents = table_;
        options.grace = grace;
        return handset::lifecycle::shutdown(options);
    }

    // A child that waits to be stopped, as a program the device started.
    pid_t startChild()
    {
        const pid_t pid = ::fork();
        if (pid == 0) {
            for (;;)
                ::pause();
        }
        children_.push_back(pid);
        return pid;
    }

    std::string log() const
    {
        std::ifstream in(handset::deviceLogPath());
        std::ostringstream text;
        text << in.rdbuf();
        return text.str();
    }

    std::vector<ResidentProgram> table_;
    std::vector<pid_t> children_;
};

TEST_F(LifecycleTest, BootStartsTheResidentsInOrderAndShutdownStopsThemInReverse)
{
    const auto boot = handset::lifecycle::boot(
        options({{"ready-a", kProgram, Required::Yes}, {"ready-b", kProgram, Required::Yes}}));
    ASSERT_TRUE(boot.ok()) << boot.error;
    ASSERT_EQ((std::vector<std::string>{"ready-a", "ready-b"}), namesOf(boot.started));
    EXPECT_TRUE(boot.alreadyRunning.empty());
    for (const RunningProgram& program : boot.started) {
        SCOPED_TRACE(program.name);
        EXPECT_TRUE(program.resident);
        EXPECT_TRUE(processExists(program.pid));
        EXPECT_TRUE(fs::exists(handset::deviceRoot() / "run" / (program.name + ".pid")));
    }
    EXPECT_EQ(boot.started, handset::lifecycle::runningPrograms(table_));
    EXPECT_TRUE(handset::lifecycle::isRunning(table_));

    // A second boot finds everything running and starts nothing.
    const auto again = handset::lifecycle::boot(options(table_));
    ASSERT_TRUE(again.ok()) << again.error;
    EXPECT_TRUE(again.started.empty());
    EXPECT_EQ(boot.started, again.alreadyRunning);

    const auto stopped = shutdown();
    EXPECT_EQ((std::vector<std::string>{"ready-b", "ready-a"}), namesOf(stopped.stopped));
    EXPECT_TRUE(stopped.killed.empty());
    for (const RunningProgram& program : boot.started) {
        SCOPED_TRACE(program.name);
        EXPECT_FALSE(processExists(program.pid));
        EXPECT_FALSE(fs::exists(handset::deviceRoot() / "run" / (program.name + ".pid")));
    }
    EXPECT_TRUE(handset::lifecycle::runningPrograms(table_).empty());
    EXPECT_FALSE(handset::lifecycle::isRunning(table_));
    const std::string text = log();
    EXPECT_NE(std::string::npos, text.find("started ready-a (pid " + std::to_string(boot.started[0].pid) + ")"));
    EXPECT_NE(std::string::npos, text.find("stopped ready-b (pid " + std::to_string(boot.started[1].pid) + ")"));
}

TEST_F(LifecycleTest, AFailedBootStopsWhatItStarted)
{
    struct Case {
        const char* failing;
        const char* message;
    };
    // The time allowed is ample for a program that gets ready (also in a
    // sanitizer build), and is all spent on the one that never does.
    for (const Case& c : {Case{"early-exit", "early-exit exited with status 3 before it was ready"},
                          Case{"never-ready", "never-ready was not ready within 1500 ms"}}) {
        SCOPED_TRACE(c.failing);
        BootOptions boot = options({{"ready-a", kProgram, Required::Yes}, {c.failing, kProgram, Required::Yes},
                                    {"ready-c", kProgram, Required::Yes}});
        boot.readyTimeout = std::chrono::milliseconds(1500);
        const auto result = handset::lifecycle::boot(boot);
        EXPECT_FALSE(result.ok());
        EXPECT_NE(std::string::npos, result.error.find(c.message)) << result.error;
        EXPECT_TRUE(result.started.empty());
        EXPECT_TRUE(handset::lifecycle::runningPrograms(table_).empty());
        EXPECT_FALSE(fs::exists(handset::deviceRoot() / "run" / "ready-a.pid"));
    }
}

TEST_F(LifecycleTest, AMissingOptionalResidentIsSkippedAndAMissingRequiredOneFails)
{
    auto result = handset::lifecycle::boot(
        options({{"ready-a", kProgram, Required::Yes}, {"later", "no-such-program", Required::No}}));
    ASSERT_TRUE(result.ok()) << result.error;
    EXPECT_EQ((std::vector<std::string>{"later"}), result.skipped);
    EXPECT_TRUE(handset::lifecycle::isRunning(table_));
    (void)shutdown();

    result = handset::lifecycle::boot(
        options({{"ready-a", kProgram, Required::Yes}, {"needed", "no-such-program", Required::Yes}}));
    EXPECT_FALSE(result.ok());
    EXPECT_NE(std::string::npos, result.error.find("cannot find needed")) << result.error;
    EXPECT_TRUE(handset::lifecycle::runningPrograms(table_).empty());
}

TEST_F(LifecycleTest, ShutdownKillsAProgramThatIgnoresTheRequestAndStopsStartedProgramsFirst)
{
    const auto boot = handset::lifecycle::boot(
        options({{"ready-a", kProgram, Required::Yes}, {"stubborn", kProgram, Required::Yes}}));
    ASSERT_TRUE(boot.ok()) << boot.error;
    const pid_t started = startChild();
    handset::lifecycle::noteProgramStarted("Tonquil.exe", started);

    const auto running = handset::lifecycle::runningPrograms(table_);
    ASSERT_EQ(3u, running.size());
    EXPECT_EQ((RunningProgram{"Tonquil.exe", started, false}), running[2]);

    const auto result = shutdown(std::chrono::milliseconds(200));
    EXPECT_EQ((std::vector<std::string>{"Tonquil.exe", "ready-a"}), namesOf(result.stopped));
    EXPECT_EQ((std::vector<std::string>{"stubborn"}), namesOf(result.killed));
    EXPECT_FALSE(processExists(started));
    EXPECT_FALSE(processExists(boot.started[1].pid));
    EXPECT_FALSE(fs::exists(handset::deviceRoot() / "run" / "stubborn.pid"));
    EXPECT_TRUE(handset::lifecycle::runningPrograms(table_).empty());
    EXPECT_NE(std::string::npos, log().find("killed stubborn (pid " + std::to_string(boot.started[1].pid) +
                                            "): it did not stop within 200 ms"));
}

TEST_F(LifecycleTest, PidFilesOfProgramsThatAreGoneDoNotCount)
{
    const fs::path run = handset::deviceRoot() / "run";
    // This process names itself as a resident: alive, and counted.
    handset::lifecycle::announceReady("radio");
    EXPECT_EQ((std::vector<RunningProgram>{{"radio", ::getpid(), true}}), handset::lifecycle::runningPrograms());

    // The same pid with another start time is a reused pid, not the program.
    std::string text;
    {
        std::ifstream in(run / "radio.pid");
        std::getline(in, text);
    }
    const std::string startTime = text.substr(text.find(' ') + 1);
    {
        std::ofstream out(run / "radio.pid", std::ios::trunc);
        out << ::getpid() << ' ' << (std::stoull(startTime) + 1) << '\n';
    }
    // A program that has ended, and files that say nothing sensible.
    const pid_t ended = ::fork();
    if (ended == 0)
        ::_exit(0);
    ::waitpid(ended, nullptr, 0);
    {
        std::ofstream(run / "ended.pid") << ended << ' ' << startTime << '\n';
        std::ofstream(run / "garbage.pid") << "not a pid\n";
        std::ofstream(run / "init.pid") << "1 0\n";
    }
    EXPECT_TRUE(handset::lifecycle::runningPrograms().empty());
    for (const char* file : {"radio.pid", "ended.pid", "garbage.pid", "init.pid"}) {
        SCOPED_TRACE(file);
        EXPECT_FALSE(fs::exists(run / file));
    }

    // Withdrawing removes only a file that names this process.
    handset::lifecycle::announceReady("radio");
    handset::lifecycle::withdraw("radio");
    EXPECT_FALSE(fs::exists(run / "radio.pid"));
}

}  // namespace
