// `handset run`: its arguments joined into one verbatim command line, the
// exec log line, --wait with the program's exit code, and the program
// running in the command's environment.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <spawn.h>
#include <sstream>
#include <string>
#include <sys/wait.h>
#include <vector>

#include "test_device.h"

extern char** environ;

namespace {

namespace fs = std::filesystem;

std::string readAll(const fs::path& file)
{
    std::ifstream in(file, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

class RunCommand : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_EQ(0, handset({"init"}).status);
        // A device program that reports its one argument, the command line,
        // and an environment value, then exits with the code it is told.
        const fs::path program = phone() / "fs" / "Windows" / "report.exe";
        std::ofstream(program) << "#!/bin/sh\n"
                                  "printf '%s' \"$1\" > \"$REPORT_DIR/line\"\n"
                                  "printf '%s' \"$#\" > \"$REPORT_DIR/count\"\n"
                                  "[ -n \"$REPORT_HOLD\" ] && sleep 0.3\n"
                                  "echo done > \"$REPORT_DIR/done\"\n"
                                  "exit \"${REPORT_EXIT:-0}\"\n";
        fs::permissions(program, fs::perms::owner_all);
        setenv("REPORT_DIR", scratch_.root().c_str(), 1);
    }
    void TearDown() override
    {
        unsetenv("REPORT_DIR");
        unsetenv("REPORT_EXIT");
        unsetenv("REPORT_HOLD");
    }

    fs::path phone() const { return scratch_.root() / "phone"; }

    struct Outcome {
        int status = -1;
        std::string err;
    };

    Outcome handset(std::vector<std::string> arguments)
    {
        arguments.insert(arguments.begin(), {HANDSET_BIN, "--device", phone().string()});
        std::vector<char*> argv;
        for (std::string& a : arguments)
            argv.push_back(a.data());
        argv.push_back(nullptr);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 2, (scratch_.root() / "err").c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                         0644);
        pid_t pid = -1;
        Outcome outcome;
        if (posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ) == 0) {
            int status = 0;
            if (waitpid(pid, &status, 0) == pid && WIFEXITED(status))
                outcome.status = WEXITSTATUS(status);
        }
        posix_spawn_file_actions_destroy(&actions);
        outcome.err = readAll(scratch_.root() / "err");
        return outcome;
    }

    std::vector<std::string> execLines()
    {
        std::vector<std::string> lines;
        std::istringstream log(readAll(phone() / "log" / "device.log"));
        for (std::string line; std::getline(log, line);) {
            if (const std::size_t at = line.find(" exec: "); at != std::string::npos)
                lines.push_back(line.substr(at + 7));
        }
        return lines;
    }

    handset::testing::TempDevice scratch_;
};

TEST_F(RunCommand, ArgumentsBecomeOneVerbatimCommandLine)
{
    struct Case {
        std::vector<std::string> arguments;
        std::string line;
    } cases[] = {
        {{}, ""},
        {{"\\My Documents\\My Ringtones\\Old Phone.wav"}, "\\My Documents\\My Ringtones\\Old Phone.wav"},
        {{"\\My", "Documents\\x.wav"}, "\\My Documents\\x.wav"},
        {{"--wait", "-v", "--", "\"q\""}, "--wait -v -- \"q\""},
        {{"a", "", "b"}, "a  b"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.line);
        std::vector<std::string> arguments{"run", "--wait", "\\windows\\REPORT.exe"};
        arguments.insert(arguments.end(), c.arguments.begin(), c.arguments.end());
        const Outcome run = handset(arguments);
        EXPECT_EQ(0, run.status) << run.err;
        EXPECT_EQ(c.line, readAll(scratch_.root() / "line"));
        EXPECT_EQ("1", readAll(scratch_.root() / "count")) << "exactly one argument";
        ASSERT_FALSE(execLines().empty());
        EXPECT_EQ("\"\\windows\\REPORT.exe\"" + (c.line.empty() ? "" : " " + c.line), execLines().back());
    }
}

TEST_F(RunCommand, WaitGivesTheProgramsExitCode)
{
    setenv("REPORT_EXIT", "9", 1);
    EXPECT_EQ(9, handset({"run", "--wait", "\\Windows\\report.exe", "x"}).status);

    // Without --wait the command returns once the program has started.
    setenv("REPORT_HOLD", "1", 1);
    fs::remove(scratch_.root() / "done");
    EXPECT_EQ(0, handset({"run", "\\Windows\\report.exe"}).status);
    for (int i = 0; i < 500 && !fs::exists(scratch_.root() / "done"); ++i)
        usleep(10000);
    EXPECT_TRUE(fs::exists(scratch_.root() / "done"));
}

TEST_F(RunCommand, ProgramsThatCannotStartFailWithAMessage)
{
    const std::pair<std::string, std::string> cases[] = {
        {"\\Windows\\missing.exe", "no such program"},
        {"Windows\\report.exe", "not a path of the device"},
        {"\\Windows", "not an executable program"},
    };
    for (const auto& [path, reason] : cases) {
        SCOPED_TRACE(path);
        const Outcome run = handset({"run", "--wait", path});
        EXPECT_EQ(1, run.status);
        EXPECT_NE(std::string::npos, run.err.find("cannot start " + path + ": " + reason)) << run.err;
    }
    EXPECT_TRUE(execLines().empty());
    EXPECT_EQ(2, handset({"run"}).status) << "the path is required";
}

}  // namespace
