// The supervisor with real processes (lifecycle_test_program): a resident
// that dies is started again, with the reason logged and counted; one that
// holds lines of a restarted radio follows it; a window thread that stops
// answering is reported, and so is its recovery.
#include <handset/lifecycle.h>

#include <csignal>
#include <fstream>
#include <functional>
#include <sstream>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

#include <gtest/gtest.h>

#include <handset/device.h>
#include <handset/log.h>

#include "run_program.h"
#include "test_device.h"
#include "test_program.h"

namespace {

namespace fs = std::filesystem;
using handset::lifecycle::Required;
using handset::lifecycle::ResidentProgram;
using handset::lifecycle::RestartRecord;

class SupervisorTest : public handset::testing::DeviceTest {
protected:
    void TearDown() override
    {
        stopSupervising();
        handset::lifecycle::ShutdownOptions options;
        options.residents = table_;
        options.grace = std::chrono::milliseconds(500);
        (void)handset::lifecycle::shutdown(options);
        // The residents are children of this process: none is left a zombie.
        while (::waitpid(-1, nullptr, WNOHANG) > 0) {
        }
    }

    // Boots `table` from this process and supervises it on a thread.
    void bootAndSupervise(std::vector<ResidentProgram> table, std::vector<handset::lifecycle::HangProbe> probes = {})
    {
        boot(std::move(table));
        superviseOnAThread(std::move(probes));
    }

    void boot(std::vector<ResidentProgram> table)
    {
        table_ = std::move(table);
        handset::lifecycle::BootOptions boot;
        boot.residents = table_;
        boot.programs = LIFECYCLE_TEST_PROGRAMS;
        const auto booted = handset::lifecycle::boot(boot);
        ASSERT_TRUE(booted.ok()) << booted.error;
    }

    void superviseOnAThread(std::vector<handset::lifecycle::HangProbe> probes = {})
    {
        probes_ = std::move(probes);
        supervise_.residents = table_;
        supervise_.programs = LIFECYCLE_TEST_PROGRAMS;
        supervise_.probes = probes_;
        supervise_.probeInterval = std::chrono::milliseconds(100);
        supervise_.hangReportedAfter = std::chrono::milliseconds(300);
        supervise_.restartDelay = std::chrono::milliseconds(10);
        supervisor_ = std::thread([this] { handset::lifecycle::supervise(supervise_, stop_); });
    }

    void stopSupervising()
    {
        stop_ = true;
        if (supervisor_.joinable())
            supervisor_.join();
    }

    static pid_t pidOf(const std::string& name)
    {
        std::ifstream in(handset::deviceRoot() / "run" / (name + ".pid"));
        pid_t pid = 0;
        in >> pid;
        return pid;
    }

    // Waits (up to 30 s, ample under a sanitizer) for `done`.
    static bool eventually(const std::function<bool()>& done)
    {
        for (int i = 0; i < 1500; ++i) {
            if (done())
                return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        return done();
    }

    static std::string log()
    {
        std::ifstream in(handset::deviceLogPath());
        std::ostringstream text;
        text << in.rdbuf();
        return text.str();
    }

    // A new live process under `name`'s pid file, other than `old`, whose
    // restart the supervisor has finished counting.
    static bool restartedFrom(const std::string& name, pid_t old, unsigned count = 1)
    {
        const pid_t now = pidOf(name);
        if (now == 0 || now == old || ::kill(now, 0) != 0)
            return false;
        for (const RestartRecord& record : handset::lifecycle::restartRecords())
            if (record.name == name && record.count >= count)
                return true;
        return false;
    }

    std::vector<ResidentProgram> table_;
    std::vector<handset::lifecycle::HangProbe> probes_;
    handset::lifecycle::SuperviseOptions supervise_;
    std::atomic<bool> stop_{false};
    std::thread supervisor_;
};

TEST_F(SupervisorTest, AResidentThatDiesIsRestartedAndTheReasonIsLoggedAndCounted)
{
    handset::testing::letSegfaultsKill();
    bootAndSupervise({{"ready-a", kProgram, Required::Yes}, {"ready-b", kProgram, Required::Yes}});
    const pid_t a = pidOf("ready-a");
    const pid_t b = pidOf("ready-b");
    ASSERT_NE(0, a);
    EXPECT_TRUE(handset::lifecycle::restartRecords().empty());

    // A crash, as a plug-in's fault inside the program would cause.
    ASSERT_EQ(0, ::kill(a, SIGSEGV));
    ASSERT_TRUE(eventually([&] { return restartedFrom("ready-a", a); })) << log();
    EXPECT_EQ(b, pidOf("ready-b"));  // the others are left alone
    const std::vector<RestartRecord> once = {{"ready-a", 1, "was killed by signal 11 (SIGSEGV)"}};
    EXPECT_EQ(once, handset::lifecycle::restartRecords());
    const std::string text = log();
    EXPECT_NE(std::string::npos,
              text.find("ready-a (pid " + std::to_string(a) + ") was killed by signal 11 (SIGSEGV); restarting it"))
        << text;
    EXPECT_NE(std::string::npos, text.find("restarted ready-a (pid " + std::to_string(pidOf("ready-a")) +
                                           ", restart 1)"));

    // An exit with a status of its own, from the restarted program.
    const pid_t second = pidOf("ready-a");
    ASSERT_EQ(0, ::kill(second, SIGUSR1));
    ASSERT_TRUE(eventually([&] { return restartedFrom("ready-a", second, 2); }));
    const std::vector<RestartRecord> twice = {{"ready-a", 2, "exited with status 7"}};
    EXPECT_EQ(twice, handset::lifecycle::restartRecords());
    EXPECT_TRUE(handset::lifecycle::isRunning(table_));

    // Once the supervisor is stopped, nothing brings a program back.
    stopSupervising();
    const pid_t third = pidOf("ready-a");
    ASSERT_EQ(0, ::kill(third, SIGKILL));
    ASSERT_TRUE(eventually([&] { return ::waitpid(third, nullptr, WNOHANG) == third; }));
    EXPECT_FALSE(handset::lifecycle::isRunning(table_));
}

// A resident that dies between boot and the supervisor's first look, before
// anyone has waited for it, is restarted like one that dies later.
TEST_F(SupervisorTest, AResidentThatDiedBeforeTheSupervisorLookedIsRestartedToo)
{
    boot({{"ready-a", kProgram, Required::Yes}});
    const pid_t a = pidOf("ready-a");
    ASSERT_NE(0, a);
    ASSERT_EQ(0, ::kill(a, SIGKILL));
    siginfo_t info{};
    ASSERT_EQ(0, ::waitid(P_PID, static_cast<id_t>(a), &info, WEXITED | WNOWAIT));  // dead, not reaped
    superviseOnAThread();
    ASSERT_TRUE(eventually([&] { return restartedFrom("ready-a", a); })) << log();
    const std::vector<RestartRecord> once = {{"ready-a", 1, "was killed by signal 9 (SIGKILL)"}};
    EXPECT_EQ(once, handset::lifecycle::restartRecords());
}

TEST_F(SupervisorTest, TheTodayScreenFollowsARestartedRadio)
{
    bootAndSupervise({{"radio", kProgram, Required::Yes}, {"today", kProgram, Required::Yes}});
    const pid_t radio = pidOf("radio");
    const pid_t today = pidOf("today");
    ASSERT_EQ(0, ::kill(radio, SIGKILL));
    ASSERT_TRUE(eventually([&] { return restartedFrom("radio", radio) && restartedFrom("today", today); }))
        << log();
    const auto records = handset::lifecycle::restartRecords();
    ASSERT_EQ(2u, records.size());
    EXPECT_EQ((RestartRecord{"radio", 1, "was killed by signal 9 (SIGKILL)"}), records[0]);
    EXPECT_EQ((RestartRecord{"today", 1, "was stopped to reopen its lines on the restarted radio"}), records[1]);
}

TEST_F(SupervisorTest, AWindowThreadThatStopsAnsweringIsReportedAndSoIsItsRecovery)
{
    bootAndSupervise({{"probed-a", kProgram, Required::Yes}}, {{"probed-a", "probed-a.sock"}});
    const fs::path hang = handset::deviceRoot() / "run" / "probed-a.hang";
    std::ofstream(hang).put('\n');
    ASSERT_TRUE(eventually([] { return log().find("probed-a has not answered for") != std::string::npos; }))
        << log();
    EXPECT_NE(std::string::npos, log().find("a call on its window thread (into a plug-in, most likely) hangs"));
    fs::remove(hang);
    ASSERT_TRUE(eventually([] { return log().find("probed-a answers again after") != std::string::npos; }))
        << log();
    // Reporting is all it does: the program was not restarted.
    EXPECT_TRUE(handset::lifecycle::restartRecords().empty());
}

}  // namespace
