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

#include <atomic>
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

// Whether the device is running: every required resident program runs, or
// the device's supervisor runs (it is bringing back the ones that do not).
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

// --- Keeping the resident programs alive -----------------------------------
//
// `handset boot` leaves a supervisor running (a program of the device like
// any other, so shutdown stops it first). It starts the resident programs
// as its own children, and when one of them dies it logs why (its exit
// status or the signal that killed it), starts it again and counts the
// restart; a program that keeps dying is restarted less and less often. It
// also asks the programs that serve requests on their window thread
// whether that thread still answers, and logs when one has stopped
// answering (a call into a plug-in that hangs) and when it answers again.

// A resident whose window thread answers one-line requests on a socket of
// run/: a request it does not know is answered with an error, from the
// window thread, which is all the question needs.
struct HangProbe {
    std::string_view resident;
    std::string_view socket;  // in run/
};

// The probes of the device's own residents (the Today screen).
std::span<const HangProbe> hangProbes();

struct SuperviseOptions {
    std::span<const ResidentProgram> residents = residentPrograms();
    std::filesystem::path programs = programsFolder();
    std::chrono::milliseconds readyTimeout{10000};
    std::span<const HangProbe> probes = hangProbes();
    std::chrono::milliseconds probeInterval{2000};
    std::chrono::milliseconds hangReportedAfter{3000};
    // The first restart waits this long; each quick death doubles it, up
    // to maxRestartDelay.
    std::chrono::milliseconds restartDelay{100};
    std::chrono::milliseconds maxRestartDelay{5000};
};

// Watches the residents of `options` that run (those this process started
// and those it finds running) and restarts them, until `stop` becomes true.
// Returns at once when no resident runs. Run by the supervisor program; a
// test may run it on a thread of its own.
void supervise(const SuperviseOptions& options, const std::atomic<bool>& stop);

struct RestartRecord {
    std::string name;
    unsigned count = 0;
    std::string lastReason;  // "was killed by signal 11 (SIGSEGV)", "exited with status 3", ...

    bool operator==(const RestartRecord&) const = default;
};

// How often each resident was restarted since the device booted, and why
// the last time; residents never restarted are not listed.
std::vector<RestartRecord> restartRecords();

}  // namespace handset::lifecycle
