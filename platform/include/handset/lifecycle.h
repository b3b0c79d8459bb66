// The device's running programs: starting the resident ones, knowing which
// programs run, and stopping all of them.
//
// Every running program of the device has a pid file in run/: a resident
// program run/<name>.pid, which it writes itself once it is ready to serve
// (announceReady), any other program run/started/<name>.<pid>.pid, which
// whoever starts it writes (noteProgramStarted). A pid file holds the
// process id and the process's start time, so that a file left behind by a
// program that died is never taken for a live program that got the same id.
// Files of programs that are gone are removed whenever the programs are
// listed.
#pragma once

#include <chrono>
#include <filesystem>
#include <span>
#include <string>
#include <string_view>
#include <sys/types.h>
#include <vector>

namespace handset::lifecycle {

// What commands that need a running device say when it is not.
inline constexpr char kNotRunningMessage[] = "device is not running; run `handset boot`";

enum class Required { Yes, No };

struct ResidentProgram {
    std::string_view name;        // its pid file is run/<name>.pid
    std::string_view executable;  // its file in the programs folder
    Required required;            // No: boot skips it when its file is missing
};

// The device's resident programs, in the order `handset boot` starts them;
// shutdown stops them in the reverse order. The programs that join the
// device add their row here.
std::span<const ResidentProgram> residentPrograms();

// Where the device's programs are: $HANDSET_PROGRAMS, else the folder of
// this process's own executable.
std::filesystem::path programsFolder();

// --- Inside a program ------------------------------------------------------

// Tells the device that this process, resident program `name`, is ready:
// writes run/<name>.pid naming it. Boot waits for this.
void announceReady(std::string_view name);

// Removes run/<name>.pid when it names this process; a program calls it as
// it stops.
void withdraw(std::string_view name);

// Records a program the device started that is not resident (a program run
// by a command or by another program), so that shutdown stops it too.
void noteProgramStarted(std::string_view name, pid_t pid);

// --- The device ------------------------------------------------------------

struct RunningProgram {
    std::string name;
    pid_t pid = 0;
    bool resident = false;

    bool operator==(const RunningProgram&) const = default;
};

// The programs of the device that are running: the resident ones first in
// the order of `residents`, then any other resident, then the others.
std::vector<RunningProgram> runningPrograms(std::span<const ResidentProgram> residents = residentPrograms());

// Whether the device is running: every required resident program runs.
bool isRunning(std::span<const ResidentProgram> residents = residentPrograms());

struct BootOptions {
    std::span<const ResidentProgram> residents = residentPrograms();
    std::filesystem::path programs = programsFolder();
    std::chrono::milliseconds readyTimeout{10000};
};

struct [[nodiscard]] BootResult {
    std::vector<RunningProgram> started;
    std::vector<RunningProgram> alreadyRunning;
    std::vector<std::string> skipped;  // optional residents that are not installed
    std::string error;                 // for the user, when boot failed

    bool ok() const { return error.empty(); }
};

// Starts every resident program that does not run yet, in order, each in
// the background (its own session, no terminal, output to nowhere: programs
// write to the device log) and each only once the one before it is ready.
// A program that exits before it is ready, or is not ready within
// readyTimeout, fails the boot; the programs this boot started are then
// stopped again, so a failed boot leaves the device as it found it. Each
// program learns the name it was started as from $HANDSET_RESIDENT.
BootResult boot(const BootOptions& options = {});

struct ShutdownOptions {
    std::span<const ResidentProgram> residents = residentPrograms();
    std::chrono::milliseconds grace{5000};
};

struct ShutdownResult {
    std::vector<RunningProgram> stopped;  // ended when asked (SIGTERM)
    std::vector<RunningProgram> killed;   // had to be killed after the grace time
};

// Stops every program of the device: first those that are not resident,
// then the resident ones in the reverse of their boot order, each asked to
// stop (SIGTERM) and killed when it has not stopped within `grace`.
ShutdownResult shutdown(const ShutdownOptions& options = {});

}  // namespace handset::lifecycle
