// handset boot, handset shutdown, handset status: the device's life as a set
// of running programs.
#include <algorithm>
#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <iostream>
#include <sstream>
#include <spawn.h>
#include <string>
#include <sys/wait.h>
#include <unistd.h>

#include <CLI/CLI.hpp>

#include <handset/device.h>
#include <handset/lifecycle.h>
#include <handset/log.h>

#include "commands.h"

extern char** environ;

namespace handset::cli {

namespace {

std::string listed(const std::vector<lifecycle::RunningProgram>& programs)
{
    std::string text;
    for (const auto& program : programs)
        text += (text.empty() ? "" : ", ") + program.name + " (pid " + std::to_string(program.pid) + ")";
    return text;
}

// The supervisor reports how boot went on this descriptor, one line per
// program, then "ok" or "error <message>".
constexpr int kReportFd = 3;

std::string programsOf(const std::vector<lifecycle::RunningProgram>& programs)
{
    std::string text;
    for (const auto& program : programs)
        text += " " + program.name + " " + std::to_string(program.pid);
    return text;
}

bool supervisorRunning()
{
    const auto running = lifecycle::runningPrograms();
    return std::any_of(running.begin(), running.end(),
                       [](const lifecycle::RunningProgram& p) { return !p.resident && p.name == "supervisor"; });
}

// Starts `handset supervise` in the background, in a session of its own,
// and reads its boot report; false (with `error`) when it could not boot.
bool startSupervisor(std::vector<lifecycle::RunningProgram>& started, std::string& error)
{
    int report[2];
    if (::pipe2(report, O_CLOEXEC) != 0) {
        error = std::string("cannot make a pipe: ") + std::strerror(errno);
        return false;
    }
    // This very program, whatever it was started as.
    const std::string self = "/proc/self/exe";
    std::string name = "handset", command = "supervise";
    char* argv[] = {name.data(), command.data(), nullptr};
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, report[1], kReportFd);
    posix_spawn_file_actions_addclosefrom_np(&actions, kReportFd + 1);
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    sigset_t none, all;
    sigemptyset(&none);
    sigfillset(&all);
    sigdelset(&all, SIGKILL);
    sigdelset(&all, SIGSTOP);
    posix_spawnattr_setsigmask(&attributes, &none);
    posix_spawnattr_setsigdefault(&attributes, &all);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSID | POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
    pid_t pid = -1;
    const int rc = posix_spawn(&pid, self.c_str(), &actions, &attributes, argv, environ);
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attributes);
    ::close(report[1]);
    if (rc != 0) {
        ::close(report[0]);
        error = std::string("cannot start the supervisor: ") + std::strerror(rc);
        return false;
    }

    std::string text;
    char buffer[4096];
    for (;;) {
        const ssize_t n = ::read(report[0], buffer, sizeof buffer);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        text.append(buffer, static_cast<std::size_t>(n));
    }
    ::close(report[0]);

    std::istringstream lines(text);
    std::string line;
    bool ok = false;
    while (std::getline(lines, line)) {
        if (line == "ok") {
            ok = true;
        } else if (line.starts_with("error ")) {
            error = line.substr(6);
        } else if (line.starts_with("started ")) {
            std::istringstream words(line.substr(8));
            std::string program;
            pid_t programPid = 0;
            while (words >> program >> programPid)
                started.push_back({program, programPid, true});
        }
    }
    if (!ok) {
        // It stopped without a report: it exits at once, so waiting is short.
        int status = 0;
        while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
        }
        if (error.empty())
            error = "the supervisor stopped before it reported (status " + std::to_string(status) + ")";
    }
    return ok;
}

int boot()
{
    if (lifecycle::isRunning() && supervisorRunning()) {
        std::cout << "the device is already running\n";
        return 0;
    }
    std::vector<lifecycle::RunningProgram> started;
    std::string error;
    if (!startSupervisor(started, error))
        return fail("cannot boot the device: " + error);
    if (started.empty()) {
        std::cout << "the device is already running\n";
        return 0;
    }
    logChange("booted the device: " + listed(started));
    std::cout << "booted the device at " << deviceRoot().string() << ": " << listed(started) << '\n';
    return 0;
}

std::atomic<bool> stopSupervising{false};

void onStopSignal(int)
{
    stopSupervising = true;
}

// The supervisor: boots the residents as its own children, reports, then
// keeps them alive until it is asked to stop.
int supervise()
{
    setProgramName("supervisor");
    std::signal(SIGTERM, onStopSignal);
    std::signal(SIGINT, onStopSignal);
    const lifecycle::BootResult result = lifecycle::boot();
    std::string report = "started" + programsOf(result.started) + "\n";
    report += result.ok() ? "ok\n" : "error " + result.error + "\n";
    if (result.ok())
        lifecycle::noteProgramStarted("supervisor", ::getpid());
    const char* data = report.data();
    std::size_t left = report.size();
    while (left > 0) {
        const ssize_t n = ::write(kReportFd, data, left);
        if (n <= 0)
            break;
        data += n;
        left -= static_cast<std::size_t>(n);
    }
    ::close(kReportFd);
    if (!result.ok())
        return 1;
    logLine("lifecycle", "supervising the resident programs");
    lifecycle::supervise({}, stopSupervising);
    return 0;
}

int shutdown()
{
    const lifecycle::ShutdownResult result = lifecycle::shutdown();
    if (result.stopped.empty() && result.killed.empty()) {
        std::cout << "the device is not running\n";
        return 0;
    }
    std::string text;
    if (!result.stopped.empty())
        text = "stopped " + listed(result.stopped);
    if (!result.killed.empty())
        text += (text.empty() ? "killed " : "; killed ") + listed(result.killed);
    logChange("shut the device down: " + text);
    std::cout << "shut the device down: " << text << '\n';
    return 0;
}

int status()
{
    const std::vector<lifecycle::RunningProgram> running = lifecycle::runningPrograms();
    const std::vector<lifecycle::RestartRecord> records = lifecycle::restartRecords();
    std::cout << (lifecycle::isRunning() ? "the device is running\n" : "the device is not running\n");
    for (const lifecycle::ResidentProgram& resident : lifecycle::residentPrograms()) {
        const auto it = std::find_if(running.begin(), running.end(), [&](const lifecycle::RunningProgram& p) {
            return p.resident && p.name == resident.name;
        });
        std::string restarts;
        for (const lifecycle::RestartRecord& record : records)
            if (record.name == resident.name)
                restarts = "; restarted " + std::to_string(record.count) +
                           (record.count == 1 ? " time" : " times") + ", last because it " + record.lastReason;
        if (it != running.end())
            std::cout << resident.name << ": running (pid " << it->pid << ")" << restarts << "\n";
        else
            std::cout << resident.name << ": not running" << restarts << "\n";
    }
    // Everything else the device started that still runs.
    for (const lifecycle::RunningProgram& program : running) {
        const bool listedAbove =
            program.resident && std::any_of(lifecycle::residentPrograms().begin(), lifecycle::residentPrograms().end(),
                                             [&](const lifecycle::ResidentProgram& r) { return r.name == program.name; });
        if (!listedAbove)
            std::cout << program.name << ": running (pid " << program.pid << ")\n";
    }
    return 0;
}

}  // namespace

void addLifeCommands(CLI::App& app)
{
    CLI::App* bootCommand = app.add_subcommand(
        "boot", "Start the device's resident programs in the background (the radio, ...) under a supervisor that "
                "restarts any that dies; returns once they are ready.");
    onRun(bootCommand, NeedsDevice::Yes, boot);

    // Started by boot only; no group, so --help does not list it.
    CLI::App* superviseCommand =
        app.add_subcommand("supervise", "Boot the residents and keep them running (started by boot).");
    superviseCommand->group("");
    onRun(superviseCommand, NeedsDevice::Yes, supervise);

    CLI::App* shutdownCommand =
        app.add_subcommand("shutdown", "Stop every program the device started, the resident ones last.");
    onRun(shutdownCommand, NeedsDevice::Yes, shutdown);

    CLI::App* statusCommand =
        app.add_subcommand("status", "Tell whether the device is running and which of its programs run.");
    onRun(statusCommand, NeedsDevice::Yes, status);
}

}  // namespace handset::cli
