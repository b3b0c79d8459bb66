// Starting device programs: the verbatim command line, the exec log line,
// waiting and exit codes, and the paths that cannot be started.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <handset/device.h>
#include <handset/errors.h>
#include <handset/log.h>
#include <handset/process.h>
#include <handset/wstring.h>

#include "test_device.h"

namespace {

namespace fs = std::filesystem;

std::string slurp(const fs::path& file)
{
    std::ifstream in(file, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

std::vector<std::string> execLines()
{
    std::vector<std::string> lines;
    std::istringstream log(slurp(handset::deviceLogPath()));
    for (std::string line; std::getline(log, line);) {
        const std::size_t at = line.find(" exec: ");
        if (at != std::string::npos)
            lines.push_back(line.substr(at + 7));
    }
    return lines;
}

class ProcessTest : public handset::testing::DeviceTest {
protected:
    void SetUp() override
    {
        const fs::path folder = device_.root() / "fs" / "Program Files" / "Probe";
        fs::create_directories(folder);
        fs::copy_file(PROCESS_PROBE, folder / "probe.exe");
        out_ = device_.root() / "probe.out";
        setenv("PROBE_OUT", out_.c_str(), 1);
        unsetenv("PROBE_HOLD");
        unsetenv("PROBE_EXIT");
    }
    void TearDown() override { unsetenv("PROBE_OUT"); }

    // Starts the probe, waits for it and returns its exit code.
    DWORD runProbe(const char16_t* image, const char16_t* commandLine)
    {
        PROCESS_INFORMATION pi{};
        EXPECT_TRUE(CreateProcess(image, commandLine, nullptr, nullptr, FALSE, 0, nullptr, nullptr, nullptr, &pi))
            << GetLastError();
        EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(pi.hProcess, INFINITE));
        DWORD code = 0xdeadbeef;
        EXPECT_TRUE(GetExitCodeProcess(pi.hProcess, &code));
        EXPECT_TRUE(CloseHandle(pi.hThread));
        EXPECT_TRUE(CloseHandle(pi.hProcess));
        return code;
    }

    fs::path out_;
};

// Whatever the starter holds open (a client's connection, a pipe, a file),
// the program gets its standard streams and nothing else.
TEST_F(ProcessTest, AProgramGetsOnlyTheStandardStreams)
{
    int pipeEnds[2];
    ASSERT_EQ(0, ::pipe(pipeEnds));  // inheritable, as a careless opener leaves it
    const int socket = ::socket(AF_UNIX, SOCK_STREAM, 0);
    ASSERT_GE(socket, 0);
    EXPECT_EQ(0u, runProbe(u"\\Program Files\\Probe\\probe.exe", u""));
    ::close(pipeEnds[0]);
    ::close(pipeEnds[1]);
    ::close(socket);
    std::istringstream held(slurp(out_.string() + ".fds"));
    for (int fd; held >> fd;)
        EXPECT_LE(fd, 2) << "the program holds descriptor " << fd;
}

// The program sees exactly the string it was given: spaces, quotes, tabs,
// backslashes and characters outside ASCII all pass unchanged, and the
// start is logged with the same text.
TEST_F(ProcessTest, CommandLineArrivesVerbatim)
{
    const std::u16string lines[] = {
        u"\\My Documents\\My Ringtones\\Old Phone.wav",
        u"  two  leading and trailing  ",
        u"\"quoted\" 'single' $HOME `id` ; | & *",
        u"tab\there -v --wait",
        u"Grüße \u00e9t\u00e9 \u4e2d",
        u"",
    };
    for (const std::u16string& line : lines) {
        SCOPED_TRACE(handset::toUtf8(line));
        fs::remove(out_);
        EXPECT_EQ(0u, runProbe(u"\\Program Files\\Probe\\probe.exe", line.c_str()));
        EXPECT_EQ(handset::toUtf8(line), slurp(out_));
        EXPECT_EQ("1 1 5", slurp(out_.string() + ".args")) << "hInstance set, no previous instance, SW_SHOW";
    }
    const std::vector<std::string> logged = execLines();
    ASSERT_EQ(std::size(lines), logged.size());
    EXPECT_EQ("\"\\Program Files\\Probe\\probe.exe\" \\My Documents\\My Ringtones\\Old Phone.wav", logged[0]);
    EXPECT_EQ("\"\\Program Files\\Probe\\probe.exe\"", logged.back()) << "nothing after the path when empty";
}

TEST_F(ProcessTest, NullCommandLineIsEmptyAndPathCaseDoesNotMatter)
{
    EXPECT_EQ(0u, runProbe(u"\\PROGRAM FILES\\probe\\PROBE.EXE", nullptr));
    EXPECT_EQ("", slurp(out_));
    const std::vector<std::string> logged = execLines();
    ASSERT_EQ(1u, logged.size());
    EXPECT_EQ("\"\\PROGRAM FILES\\probe\\PROBE.EXE\"", logged[0]) << "the path is logged as it was given";
}

TEST_F(ProcessTest, WaitingAndExitCodes)
{
    const fs::path hold = device_.root() / "hold";
    std::ofstream(hold) << "";
    setenv("PROBE_HOLD", hold.c_str(), 1);
    setenv("PROBE_EXIT", "37", 1);

    PROCESS_INFORMATION pi{};
    ASSERT_TRUE(
        CreateProcess(u"\\Program Files\\Probe\\probe.exe", u"x", nullptr, nullptr, FALSE, 0, nullptr, nullptr, nullptr, &pi));
    EXPECT_NE(0u, pi.dwProcessId);
    EXPECT_NE(pi.hProcess, pi.hThread);
    EXPECT_EQ(WAIT_TIMEOUT, WaitForSingleObject(pi.hProcess, 0));
    DWORD code = 0xdeadbeef;
    EXPECT_TRUE(GetExitCodeProcess(pi.hProcess, &code));
    EXPECT_EQ(STILL_ACTIVE, code);

    fs::remove(hold);
    EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(pi.hThread, INFINITE)) << "the main thread ends with the program";
    EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(pi.hProcess, 0));
    EXPECT_TRUE(GetExitCodeProcess(pi.hProcess, &code));
    EXPECT_EQ(37u, code);

    SetLastError(0xdeadbeef);
    EXPECT_FALSE(GetExitCodeProcess(pi.hThread, &code)) << "a thread handle is not a process handle";
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_HANDLE), GetLastError());
    EXPECT_TRUE(CloseHandle(pi.hThread));
    EXPECT_TRUE(CloseHandle(pi.hProcess));
    SetLastError(0xdeadbeef);
    EXPECT_EQ(WAIT_FAILED, WaitForSingleObject(pi.hProcess, 0));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_HANDLE), GetLastError());
    EXPECT_FALSE(CloseHandle(pi.hProcess));
}

TEST_F(ProcessTest, ProgramsThatCannotBeStarted)
{
    const fs::path folder = device_.root() / "fs" / "Program Files" / "Probe";
    std::ofstream(folder / "text.exe") << "not a program\n";
    fs::permissions(folder / "text.exe", fs::perms::owner_all);
    std::ofstream(folder / "plain.exe") << "#!/bin/sh\n";
    fs::permissions(folder / "plain.exe", fs::perms::owner_read | fs::perms::owner_write);

    struct Case {
        const char16_t* image;
        LONG error;
    } cases[] = {
        {u"\\Program Files\\Probe\\missing.exe", ERROR_FILE_NOT_FOUND},
        {u"\\No Such Folder\\probe.exe", ERROR_FILE_NOT_FOUND},
        {u"Program Files\\Probe\\probe.exe", ERROR_PATH_NOT_FOUND},
        {u"\\Program Files\\..\\..\\probe.exe", ERROR_PATH_NOT_FOUND},
        {u"\\Program Files\\Probe", ERROR_ACCESS_DENIED},
        {u"\\Program Files\\Probe\\plain.exe", ERROR_ACCESS_DENIED},
        {u"\\Program Files\\Probe\\text.exe", ERROR_BAD_EXE_FORMAT},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(handset::toUtf8(c.image));
        PROCESS_INFORMATION pi{reinterpret_cast<HANDLE>(0xdead), reinterpret_cast<HANDLE>(0xbeef), 1, 2};
        SetLastError(0xdeadbeef);
        EXPECT_FALSE(CreateProcess(c.image, u"", nullptr, nullptr, FALSE, 0, nullptr, nullptr, nullptr, &pi));
        EXPECT_EQ(static_cast<DWORD>(c.error), GetLastError());
        EXPECT_EQ(reinterpret_cast<HANDLE>(0xdead), pi.hProcess) << "untouched on failure";
    }
    EXPECT_FALSE(fs::exists(out_));
}

TEST_F(ProcessTest, WhatThePhoneDoesNotSupportIsRefused)
{
    PROCESS_INFORMATION pi{};
    wchar_t dummy = 0;
    const char16_t* image = u"\\Program Files\\Probe\\probe.exe";
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(CreateProcess(nullptr, u"x", nullptr, nullptr, FALSE, 0, nullptr, nullptr, nullptr, &pi));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_PARAMETER), GetLastError());
    EXPECT_FALSE(CreateProcess(image, u"x", nullptr, nullptr, TRUE, 0, nullptr, nullptr, nullptr, &pi));
    EXPECT_FALSE(CreateProcess(image, u"x", nullptr, nullptr, FALSE, 0, &dummy, nullptr, nullptr, &pi));
    EXPECT_FALSE(CreateProcess(image, u"x", nullptr, nullptr, FALSE, 0, nullptr, u"\\", nullptr, &pi));
    EXPECT_FALSE(CreateProcess(image, u"x", nullptr, nullptr, FALSE, 0, nullptr, nullptr, nullptr, nullptr));
    EXPECT_TRUE(execLines().empty()) << "nothing was started";
}

}  // namespace
