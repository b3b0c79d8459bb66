#include <handset/lifecycle.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <cstdlib>
#include <fcntl.h>
#include <optional>
#include <spawn.h>
#include <sstream>
#include <sys/file.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

#include <handset/device.h>
#include <handset/host_file.h>
#include <handset/log.h>

#include "lifecycle/lifecycle_internal.h"

extern char** environ;

namespace handset::lifecycle {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace {

constexpr auto kPollInterval = std::chrono::milliseconds(10);

fs::path runFolder()
{
    return deviceRoot() / "run";
}

fs::path residentPidFile(std::string_view name)
{
    return runFolder() / (std::string(name) + ".pid");
}

fs::path startedFolder()
{
    return runFolder() / "started";
}

// A name as it may appear in a file name.
std::string fileName(std::string_view name)
{
    std::string safe;
    for (char c : name)
        safe += (c == '/' || c == '\0') ? '_' : c;
    if (safe.empty() || safe[0] == '.')
        safe.insert(0, "program");
    return safe;
}

// The start time of a process (clock ticks since boot, field 22 of
// /proc/<pid>/stat), or nothing when it is gone or a zombie.
std::optional<unsigned long long> startTime(pid_t pid)
{
    std::istringstream in(readHostFile("/proc/" + std::to_string(pid) + "/stat").value_or(""));
    std::string stat;
    if (!std::getline(in, stat))
        return std::nullopt;
    // The command name may hold spaces and parentheses; the fields start
    // after its last ')'.
    const std::size_t close = stat.rfind(')');
    if (close == std::string::npos)
        return std::nullopt;
    std::istringstream fields(stat.substr(close + 1));
    std::string state;
    fields >> state;
    if (state == "Z" || state == "X")
        return std::nullopt;
    std::string skipped;
    for (int field = 4; field < 22; ++field)
        fields >> skipped;
    unsigned long long start = 0;
    if (!(fields >> start))
        return std::nullopt;
    return start;
}

struct PidFile {
    pid_t pid = 0;
    unsigned long long start = 0;
};

std::optional<PidFile> readPidFile(const fs::path& file)
{
    std::istringstream in(readHostFile(file).value_or(""));
    PidFile read;
    long long pid = 0;
    if (!(in >> pid >> read.start) || pid <= 1 || pid > 0x3FFFFFFF)
        return std::nullopt;
    read.pid = static_cast<pid_t>(pid);
    return read;
}

bool alive(const PidFile& program)
{
    const auto start = startTime(program.pid);
    return start && *start == program.start;
}

void writePidFile(const fs::path& file, pid_t pid)
{
    const auto start = startTime(pid);
    if (!start)
        return;
    std::error_code ec;
    fs::create_directories(file.parent_path(), ec);
    // Written beside and renamed, so a reader never sees half a file.
    const fs::path temporary = file.string() + ".new" + std::to_string(::getpid());
    if (!writeHostFile(temporary, std::to_string(pid) + ' ' + std::to_string(*start) + '\n'))
        return;
    fs::rename(temporary, file, ec);
    if (ec)
        fs::remove(temporary, ec);
}

// A program's pid file and what it says.
struct Entry {
    RunningProgram program;
    fs::path file;
    PidFile pid;
};

// Every pid file of the device that names a live program; the others are
// removed on the way.
std::vector<Entry> liveEntries()
{
    std::vector<Entry> entries;
    std::error_code ec;
    const auto collect = [&](const fs::path& folder, bool resident) {
        for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
            const fs::path file = it->path();
            if (file.extension() != ".pid" || !it->is_regular_file(ec))
                continue;
            std::string name = file.stem().string();
            if (!resident) {
                // <name>.<pid>.pid
                const std::size_t dot = name.rfind('.');
                if (dot == std::string::npos)
                    continue;
                name.erase(dot);
            }
            const auto pid = readPidFile(file);
            if (!pid || !alive(*pid)) {
                std::error_code ignored;
                fs::remove(file, ignored);
                continue;
            }
            entries.push_back({{name, pid->pid, resident}, file, *pid});
        }
    };
    collect(runFolder(), true);
    collect(startedFolder(), false);
    return entries;
}

// Orders entries: residents in table order, other residents, then the rest.
void sortEntries(std::vector<Entry>& entries, std::span<const ResidentProgram> residents)
{
    const auto rank = [&](const Entry& entry) {
        if (!entry.program.resident)
            return residents.size() + 1;
        for (std::size_t i = 0; i < residents.size(); ++i)
            if (residents[i].name == entry.program.name)
                return i;
        return residents.size();
    };
    std::stable_sort(entries.begin(), entries.end(), [&](const Entry& a, const Entry& b) {
        return rank(a) != rank(b) ? rank(a) < rank(b) : a.program.pid < b.program.pid;
    });
}

// Serialises boot and shutdown of one device across processes.
class DeviceLock {
public:
    DeviceLock()
    {
        std::error_code ec;
        fs::create_directories(runFolder(), ec);
        fd_ = ::open((runFolder() / "lifecycle.lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
        if (fd_ >= 0)
            while (::flock(fd_, LOCK_EX) < 0 && errno == EINTR) {
            }
    }
    ~DeviceLock()
    {
        if (fd_ >= 0)
            ::close(fd_);
    }
    DeviceLock(const DeviceLock&) = delete;
    DeviceLock& operator=(const DeviceLock&) = delete;

private:
    int fd_ = -1;
};

// Reaps `pid` if it is a child of this process; a program boot started is
// one until boot's process ends.
void reap(pid_t pid)
{
    while (::waitpid(pid, nullptr, WNOHANG) < 0 && errno == EINTR) {
    }
}

// Signals every entry, then waits (up to `grace`) for them to go; returns
// those still there.
std::vector<Entry> signalAndWait(std::vector<Entry> entries, int signal, std::chrono::milliseconds grace)
{
    for (const Entry& entry : entries)
        if (alive(entry.pid))
            ::kill(entry.pid.pid, signal);
    const Clock::time_point deadline = Clock::now() + grace;
    for (;;) {
        std::erase_if(entries, [](const Entry& entry) {
            reap(entry.pid.pid);
            return !alive(entry.pid);
        });
        if (entries.empty() || Clock::now() >= deadline)
            return entries;
        std::this_thread::sleep_for(kPollInterval);
    }
}

void stopEntries(std::vector<Entry> entries, std::chrono::milliseconds grace, ShutdownResult& result)
{
    if (entries.empty())
        return;
    const std::vector<Entry> asked = entries;
    const std::vector<Entry> stubborn = signalAndWait(entries, SIGTERM, grace);
    const std::vector<Entry> left = signalAndWait(stubborn, SIGKILL, std::chrono::seconds(5));
    for (const Entry& entry : asked) {
        const auto match = [&](const Entry& other) { return other.program.pid == entry.program.pid; };
        const bool wasStubborn = std::any_of(stubborn.begin(), stubborn.end(), match);
        if (std::any_of(left.begin(), left.end(), match)) {
            logLine("lifecycle", "cannot stop " + entry.program.name + " (pid " + std::to_string(entry.program.pid) + ")");
            continue;
        }
        // A program that is killed cannot withdraw its own pid file.
        const auto current = readPidFile(entry.file);
        std::error_code ignored;
        if (current && current->pid == entry.pid.pid)
            fs::remove(entry.file, ignored);
        if (wasStubborn) {
            result.killed.push_back(entry.program);
            logLine("lifecycle", "killed " + entry.program.name + " (pid " + std::to_string(entry.program.pid) +
                                     "): it did not stop within " + std::to_string(grace.count()) + " ms");
        } else {
            result.stopped.push_back(entry.program);
            logLine("lifecycle", "stopped " + entry.program.name + " (pid " + std::to_string(entry.program.pid) + ")");
        }
    }
}

// Starts one program in the background; -1 and `error` when it cannot be.
pid_t spawnResident(const ResidentProgram& program, const fs::path& executable, std::string& error)
{
    std::vector<std::string> environment;
    for (char** entry = environ; *entry; ++entry) {
        const std::string_view text(*entry);
        if (!text.starts_with("HANDSET_RESIDENT=") && !text.starts_with("HANDSET_DEVICE="))
            environment.emplace_back(text);
    }
    environment.push_back("HANDSET_RESIDENT=" + std::string(program.name));
    // The programs belong to this process's device, whichever way it was chosen.
    environment.push_back("HANDSET_DEVICE=" + deviceRoot().string());
    std::vector<char*> envp;
    for (std::string& entry : environment)
        envp.push_back(entry.data());
    envp.push_back(nullptr);
    std::string path = executable.string();
    char* argv[] = {path.data(), nullptr};

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    // Nothing of the starter's stays open in a program that outlives it (a
    // test runner waits for its pipes to close).
    posix_spawn_file_actions_addclosefrom_np(&actions, 3);
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    // Its own session: a Ctrl-C at the terminal that booted the device does
    // not reach it. Signals start as they do for any program, whatever the
    // starter ignored or blocked, so that SIGTERM stops it.
    sigset_t none, all;
    sigemptyset(&none);
    sigfillset(&all);
    sigdelset(&all, SIGKILL);
    sigdelset(&all, SIGSTOP);
    posix_spawnattr_setsigmask(&attributes, &none);
    posix_spawnattr_setsigdefault(&attributes, &all);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSID | POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);

    pid_t pid = -1;
    const int rc = posix_spawn(&pid, path.c_str(), &actions, &attributes, argv, envp.data());
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attributes);
    if (rc != 0) {
        error = "cannot start " + path + ": " + std::strerror(rc);
        return -1;
    }
    return pid;
}

// Waits until `program` (process `pid`) announces itself; an error message
// when it exits first or takes too long.
std::string awaitReady(const ResidentProgram& program, pid_t pid, std::chrono::milliseconds timeout)
{
    const Clock::time_point deadline = Clock::now() + timeout;
    for (;;) {
        int status = 0;
        const pid_t done = ::waitpid(pid, &status, WNOHANG);
        if (done == pid) {
            const std::string how = WIFEXITED(status) ? "with status " + std::to_string(WEXITSTATUS(status))
                                                      : "by signal " + std::to_string(WTERMSIG(status));
            return std::string(program.name) + " exited " + how + " before it was ready; see the device log";
        }
        if (const auto file = readPidFile(residentPidFile(program.name)); file && file->pid == pid && alive(*file))
            return {};
        if (Clock::now() >= deadline) {
            ::kill(pid, SIGKILL);
            while (::waitpid(pid, nullptr, 0) < 0 && errno == EINTR) {
            }
            return std::string(program.name) + " was not ready within " + std::to_string(timeout.count()) +
                   " ms and was stopped";
        }
        std::this_thread::sleep_for(kPollInterval);
    }
}

}  // namespace

namespace detail {

fs::path runFolder()
{
    return lifecycle::runFolder();
}

std::optional<pid_t> livePid(const fs::path& pidFile)
{
    const auto pid = readPidFile(pidFile);
    if (!pid || !alive(*pid))
        return std::nullopt;
    return pid->pid;
}

std::optional<pid_t> recordedPid(const fs::path& pidFile)
{
    const auto pid = readPidFile(pidFile);
    if (!pid)
        return std::nullopt;
    return pid->pid;
}

pid_t startResident(const ResidentProgram& program, const fs::path& programs, std::chrono::milliseconds readyTimeout,
                    std::string& error)
{
    const fs::path executable = programs / program.executable;
    const pid_t pid = spawnResident(program, executable, error);
    if (pid < 0)
        return -1;
    error = awaitReady(program, pid, readyTimeout);
    return error.empty() ? pid : -1;
}

bool tryLockDevice(int& fd)
{
    std::error_code ec;
    fs::create_directories(lifecycle::runFolder(), ec);
    fd = ::open((lifecycle::runFolder() / "lifecycle.lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    if (fd < 0)
        return false;
    if (::flock(fd, LOCK_EX | LOCK_NB) == 0)
        return true;
    ::close(fd);
    fd = -1;
    return false;
}

}  // namespace detail

fs::path programsFolder()
{
    if (const char* folder = std::getenv("HANDSET_PROGRAMS"); folder && *folder)
        return folder;
    std::error_code ec;
    const fs::path self = fs::read_symlink("/proc/self/exe", ec);
    return ec ? fs::current_path(ec) : self.parent_path();
}

void announceReady(std::string_view name)
{
    writePidFile(residentPidFile(fileName(name)), ::getpid());
}

void withdraw(std::string_view name)
{
    const fs::path file = residentPidFile(fileName(name));
    const auto current = readPidFile(file);
    std::error_code ec;
    if (current && current->pid == ::getpid())
        fs::remove(file, ec);
}

void noteProgramStarted(std::string_view name, pid_t pid)
{
    writePidFile(startedFolder() / (fileName(name) + "." + std::to_string(pid) + ".pid"), pid);
}

std::vector<RunningProgram> runningPrograms(std::span<const ResidentProgram> residents)
{
    std::vector<Entry> entries = liveEntries();
    sortEntries(entries, residents);
    std::vector<RunningProgram> programs;
    for (Entry& entry : entries)
        programs.push_back(std::move(entry.program));
    return programs;
}

bool isRunning(std::span<const ResidentProgram> residents)
{
    const std::vector<RunningProgram> running = runningPrograms(residents);
    // A resident that died is being started again by the supervisor: the
    // device is still up, and a call that comes meanwhile still rings.
    if (std::any_of(running.begin(), running.end(),
                    [](const RunningProgram& program) { return !program.resident && program.name == "supervisor"; }))
        return true;
    return std::all_of(residents.begin(), residents.end(), [&](const ResidentProgram& resident) {
        return resident.required == Required::No ||
               std::any_of(running.begin(), running.end(), [&](const RunningProgram& program) {
                   return program.resident && program.name == resident.name;
               });
    });
}

BootResult boot(const BootOptions& options)
{
    DeviceLock lock;
    BootResult result;
    for (const ResidentProgram& program : options.residents) {
        const std::vector<RunningProgram> running = runningPrograms(options.residents);
        const auto found = std::find_if(running.begin(), running.end(), [&](const RunningProgram& p) {
            return p.resident && p.name == program.name;
        });
        if (found != running.end()) {
            result.alreadyRunning.push_back(*found);
            continue;
        }
        const fs::path executable = options.programs / program.executable;
        std::error_code ec;
        if (!fs::is_regular_file(executable, ec)) {
            if (program.required == Required::No) {
                result.skipped.emplace_back(program.name);
                logLine("lifecycle", "skipped " + std::string(program.name) + ": " + executable.string() +
                                         " is not installed");
                continue;
            }
            result.error = "cannot find " + std::string(program.name) + " at " + executable.string();
            break;
        }
        std::string error;
        const pid_t pid = spawnResident(program, executable, error);
        if (pid < 0) {
            result.error = error;
            break;
        }
        error = awaitReady(program, pid, options.readyTimeout);
        if (!error.empty()) {
            result.error = error;
            break;
        }
        logLine("lifecycle", "started " + std::string(program.name) + " (pid " + std::to_string(pid) + ")");
        result.started.push_back({std::string(program.name), pid, true});
    }

    if (!result.ok() && !result.started.empty()) {
        // Undo this boot, last started first.
        std::vector<Entry> entries = liveEntries();
        ShutdownResult undone;
        for (auto it = result.started.rbegin(); it != result.started.rend(); ++it) {
            std::vector<Entry> mine;
            for (const Entry& entry : entries)
                if (entry.program == *it)
                    mine.push_back(entry);
            stopEntries(mine, std::chrono::seconds(5), undone);
        }
        result.started.clear();
    }
    return result;
}

ShutdownResult shutdown(const ShutdownOptions& options)
{
    DeviceLock lock;
    ShutdownResult result;
    // Programs that are not resident first: they may be clients of the
    // resident ones. The residents still run meanwhile and may start more
    // (a tap being answered opens the application), so those are listed
    // again until none is left, within reason, should one keep starting
    // programs.
    const auto stopOthers = [&] {
        for (int round = 0; round < 10; ++round) {
            std::vector<Entry> others = liveEntries();
            std::erase_if(others, [](const Entry& entry) { return entry.program.resident; });
            if (others.empty())
                return;
            stopEntries(std::move(others), options.grace, result);
        }
    };
    stopOthers();

    // Then the residents, last started first, one by one, so that each still
    // finds the ones it uses while it stops. The device's supervisor was one
    // of the others; a resident it was restarting as it stopped has a new
    // pid file, so the residents are listed now that nothing restarts them.
    std::vector<Entry> residents = liveEntries();
    std::erase_if(residents, [](const Entry& entry) { return !entry.program.resident; });
    sortEntries(residents, options.residents);
    for (auto it = residents.rbegin(); it != residents.rend(); ++it)
        stopEntries({*it}, options.grace, result);

    // Whatever a resident started as it stopped.
    stopOthers();
    return result;
}

}  // namespace handset::lifecycle
