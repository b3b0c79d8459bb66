#include <handset/process.h>

#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <csignal>
#include <filesystem>
#include <memory>
#include <mutex>
#include <optional>
#include <spawn.h>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

#include <handset/device.h>
#include <handset/errors.h>
#include <handset/log.h>
#include <handset/wstring.h>

#include "cedb/handles.h"
#include "core/win32_error.h"

extern char** environ;

namespace handset {

namespace {

namespace fs = std::filesystem;

// What a process handle and its thread handle both stand for. A thread of
// its own reaps the program when it ends, whether or not anyone waits, so a
// resident starter (the messaging host) never collects zombies.
class Program {
public:
    explicit Program(pid_t pid) : pid_(pid) {}

    void watch(const std::shared_ptr<Program>& self)
    {
        std::thread([self] {
            int status = 0;
            pid_t reaped;
            do
                reaped = ::waitpid(self->pid_, &status, 0);
            while (reaped < 0 && errno == EINTR);
            DWORD code = 0;
            if (reaped == self->pid_) {
                if (WIFEXITED(status))
                    code = static_cast<DWORD>(WEXITSTATUS(status));
                else if (WIFSIGNALED(status))
                    code = 128 + static_cast<DWORD>(WTERMSIG(status));
            }
            {
                std::lock_guard lock(self->mutex_);
                self->ended_ = true;
                self->exitCode_ = code;
            }
            self->endedSignal_.notify_all();
        }).detach();
    }

    // Whether the program ended within `limit` (none: wait as long as it runs).
    bool waitForEnd(std::optional<std::chrono::milliseconds> limit)
    {
        std::unique_lock lock(mutex_);
        if (!limit) {
            endedSignal_.wait(lock, [this] { return ended_; });
            return true;
        }
        return endedSignal_.wait_for(lock, *limit, [this] { return ended_; });
    }

    DWORD exitCode()
    {
        std::lock_guard lock(mutex_);
        return ended_ ? exitCode_ : STILL_ACTIVE;
    }

private:
    pid_t pid_;
    std::mutex mutex_;
    std::condition_variable endedSignal_;
    bool ended_ = false;
    DWORD exitCode_ = STILL_ACTIVE;
};

class ProcessHandle final : public detail::KernelObject {
public:
    explicit ProcessHandle(std::shared_ptr<Program> program) : program(std::move(program)) {}
    std::shared_ptr<Program> program;
};

class ThreadHandle final : public detail::KernelObject {
public:
    explicit ThreadHandle(std::shared_ptr<Program> program) : program(std::move(program)) {}
    std::shared_ptr<Program> program;
};

std::shared_ptr<Program> programOf(HANDLE handle)
{
    if (auto process = detail::objectOf<ProcessHandle>(handle))
        return process->program;
    if (auto thread = detail::objectOf<ThreadHandle>(handle))
        return thread->program;
    return nullptr;
}

using detail::failWith;

// Starts the program at `file` with exactly two arguments, its path and the
// command line, in a fresh signal state: what this process blocks or
// ignores is not the program's business.
int spawn(const fs::path& file, const std::string& commandLine, pid_t& pid)
{
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    sigset_t none, all;
    sigemptyset(&none);
    sigfillset(&all);
    posix_spawnattr_setsigmask(&attributes, &none);
    posix_spawnattr_setsigdefault(&attributes, &all);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);

    std::string path = file.string();
    std::string line = commandLine;
    char* argv[] = {path.data(), line.data(), nullptr};
    const int rc = ::posix_spawn(&pid, path.c_str(), nullptr, &attributes, argv, environ);
    posix_spawnattr_destroy(&attributes);
    return rc;
}

}  // namespace

std::string execLogText(std::u16string_view devicePath, std::u16string_view commandLine)
{
    std::string text = "\"" + toUtf8(devicePath) + "\"";
    if (!commandLine.empty())
        text += " " + toUtf8(commandLine);
    return text;
}

}  // namespace handset

using namespace handset;

BOOL CreateProcess(LPCWSTR pszImageName, LPCWSTR pszCmdLine, LPSECURITY_ATTRIBUTES psaProcess,
                   LPSECURITY_ATTRIBUTES psaThread, BOOL fInheritHandles, DWORD fdwCreate, LPVOID pvEnvironment,
                   LPCWSTR pszCurDir, LPSTARTUPINFOW psiStartInfo, LPPROCESS_INFORMATION pProcInfo)
{
    if (!pszImageName || !pProcInfo || psaProcess || psaThread || fInheritHandles || fdwCreate || pvEnvironment ||
        pszCurDir || psiStartInfo)
        return failWith<BOOL>(ERROR_INVALID_PARAMETER, FALSE);

    const std::u16string_view image(pszImageName);
    const std::u16string_view commandLine = pszCmdLine ? std::u16string_view(pszCmdLine) : std::u16string_view();
    const auto file = mapDevicePath(image);
    if (!file)
        return failWith<BOOL>(ERROR_PATH_NOT_FOUND, FALSE);
    std::error_code ec;
    const fs::file_status status = fs::status(*file, ec);
    if (!fs::exists(status))
        return failWith<BOOL>(ERROR_FILE_NOT_FOUND, FALSE);
    if (!fs::is_regular_file(status) || ::access(file->c_str(), X_OK) != 0)
        return failWith<BOOL>(ERROR_ACCESS_DENIED, FALSE);

    // Logged before the program runs, so that the start comes before
    // anything the program itself writes to the log.
    logLine("exec", execLogText(image, commandLine));
    pid_t pid = 0;
    if (const int rc = spawn(*file, toUtf8(commandLine), pid); rc != 0) {
        const DWORD error = detail::win32Error(rc, ERROR_BAD_EXE_FORMAT);
        logLine("exec", "could not start " + execLogText(image, {}) + " (error " + std::to_string(error) + ")");
        return failWith<BOOL>(error, FALSE);
    }

    auto program = std::make_shared<Program>(pid);
    program->watch(program);
    pProcInfo->hProcess = detail::openHandle(std::make_shared<ProcessHandle>(program));
    pProcInfo->hThread = detail::openHandle(std::make_shared<ThreadHandle>(program));
    // The main thread of a Linux process has the process's id.
    pProcInfo->dwProcessId = static_cast<DWORD>(pid);
    pProcInfo->dwThreadId = static_cast<DWORD>(pid);
    return TRUE;
}

DWORD WaitForSingleObject(HANDLE hHandle, DWORD dwMilliseconds)
{
    const std::shared_ptr<Program> program = programOf(hHandle);
    if (!program)
        return failWith<DWORD>(ERROR_INVALID_HANDLE, WAIT_FAILED);
    const auto limit = dwMilliseconds == INFINITE ? std::nullopt
                                                  : std::optional(std::chrono::milliseconds(dwMilliseconds));
    return program->waitForEnd(limit) ? WAIT_OBJECT_0 : WAIT_TIMEOUT;
}

BOOL GetExitCodeProcess(HANDLE hProcess, LPDWORD lpExitCode)
{
    const auto process = detail::objectOf<ProcessHandle>(hProcess);
    if (!process)
        return failWith<BOOL>(ERROR_INVALID_HANDLE, FALSE);
    if (!lpExitCode)
        return failWith<BOOL>(ERROR_INVALID_PARAMETER, FALSE);
    *lpExitCode = process->program->exitCode();
    return TRUE;
}
