// The device's supervisor: restarts resident programs that die and reports
// window threads that stop answering.
#include <handset/lifecycle.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sstream>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

#include <handset/host_file.h>
#include <handset/log.h>

#include "lifecycle/lifecycle_internal.h"

namespace handset::lifecycle {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace {

constexpr auto kTick = std::chrono::milliseconds(50);
// A program that ran this long before it died was not crashing at start:
// its next restart comes without delay.
constexpr auto kSteadyRun = std::chrono::seconds(30);

// The Today screen answers requests on its window thread, the one that
// calls into the Today items.
constexpr HangProbe kHangProbes[] = {{"today", "today.sock"}};

// Residents that hold lines of the radio: a restarted radio knows none of
// them, so they are restarted after it to open their lines anew.
constexpr std::string_view kClientsOfTheRadio[] = {"today"};

fs::path restartsFolder()
{
    return detail::runFolder() / "restarts";
}

std::string describe(int status)
{
    if (WIFEXITED(status))
        return "exited with status " + std::to_string(WEXITSTATUS(status));
    if (WIFSIGNALED(status)) {
        const int signal = WTERMSIG(status);
        const char* abbreviation = sigabbrev_np(signal);
        return "was killed by signal " + std::to_string(signal) +
               (abbreviation ? " (SIG" + std::string(abbreviation) + ")" : std::string());
    }
    return "ended with status " + std::to_string(status);
}

void writeRecord(const RestartRecord& record)
{
    std::error_code ec;
    fs::create_directories(restartsFolder(), ec);
    const fs::path file = restartsFolder() / (record.name + ".txt");
    const fs::path temporary = file.string() + ".new";
    if (!writeHostFile(temporary, std::to_string(record.count) + '\n' + record.lastReason + '\n'))
        return;
    fs::rename(temporary, file, ec);
}

struct Watched {
    const ResidentProgram* program = nullptr;
    pid_t pid = -1;
    bool child = false;  // started by this process: its exit status comes to us
    bool down = false;
    std::string reason;
    Clock::time_point startedAt = Clock::now();
    Clock::time_point nextAttempt{};
    std::chrono::milliseconds delay{0};
    RestartRecord record;
};

// One question to a window thread at a time.
struct Probe {
    const HangProbe* probe = nullptr;
    int fd = -1;
    Clock::time_point askedAt{};
    Clock::time_point nextAt{};
    bool reported = false;
    Clock::time_point hungSince{};
};

int connectTo(const fs::path& path)
{
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    const std::string name = path.string();
    if (name.size() >= sizeof address.sun_path)
        return -1;
    std::memcpy(address.sun_path, name.c_str(), name.size() + 1);
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return -1;
    if (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

class Supervisor {
public:
    explicit Supervisor(const SuperviseOptions& options) : options_(options)
    {
        std::error_code ec;
        fs::remove_all(restartsFolder(), ec);  // counts are per boot
        for (const ResidentProgram& program : options.residents) {
            // The pid file is read whether or not its process still runs: a
            // resident that died between boot and this look is watched all
            // the same, and the first tick notices its death and restarts it.
            const auto pid = detail::recordedPid(detail::runFolder() / (std::string(program.name) + ".pid"));
            if (!pid)
                continue;
            Watched watched;
            watched.program = &program;
            watched.pid = *pid;
            // A child of ours can be waited for; one we merely found cannot.
            // Asked without reaping, so a child that already died leaves its
            // exit status for the tick that reports it.
            siginfo_t info{};
            watched.child = ::waitid(P_PID, static_cast<id_t>(*pid), &info, WEXITED | WNOHANG | WNOWAIT) == 0;
            watched.record.name = std::string(program.name);
            watched_.push_back(watched);
        }
        for (const HangProbe& probe : options.probes)
            probes_.push_back({&probe});
    }

    bool empty() const { return watched_.empty(); }

    void tick()
    {
        noticeDeaths();
        restartWhatIsDue();
        for (Probe& probe : probes_)
            ask(probe);
    }

    ~Supervisor()
    {
        for (Probe& probe : probes_)
            if (probe.fd >= 0)
                ::close(probe.fd);
    }

private:
    void noticeDeaths()
    {
        for (Watched& watched : watched_) {
            if (watched.down)
                continue;
            if (watched.child) {
                // Only our residents are waited for: the process may have
                // other children that are none of the supervisor's business.
                int status = 0;
                if (::waitpid(watched.pid, &status, WNOHANG) != watched.pid)
                    continue;
                watched.reason = describe(status);
            } else {
                if (detail::livePid(pidFile(watched)) == watched.pid)
                    continue;
                if (::kill(watched.pid, 0) == 0 && detail::livePid(pidFile(watched)))
                    continue;
                watched.reason = "ended (its exit status is unknown: this supervisor did not start it)";
            }
            markDown(watched);
        }
    }

    void markDown(Watched& watched)
    {
        watched.down = true;
        const auto ran = Clock::now() - watched.startedAt;
        watched.delay = ran >= kSteadyRun ? std::chrono::milliseconds(0)
                        : watched.delay.count() == 0
                            ? options_.restartDelay
                            : std::min(watched.delay * 2, options_.maxRestartDelay);
        watched.nextAttempt = Clock::now() + watched.delay;
        // A program that was killed cannot withdraw its own pid file.
        std::error_code ec;
        if (!detail::livePid(pidFile(watched)))
            fs::remove(pidFile(watched), ec);
        logLine("lifecycle", std::string(watched.program->name) + " (pid " + std::to_string(watched.pid) + ") " +
                                 watched.reason + "; restarting it");
    }

    void restartWhatIsDue()
    {
        for (std::size_t i = 0; i < watched_.size(); ++i) {
            Watched& watched = watched_[i];
            if (!watched.down || Clock::now() < watched.nextAttempt)
                continue;
            // Boot and shutdown hold the device; what they do comes first.
            int lock = -1;
            if (!detail::tryLockDevice(lock))
                continue;
            const bool restarted = restart(watched);
            ::close(lock);
            if (restarted && watched.program->name == "radio")
                restartClientsOfTheRadio();
        }
    }

    bool restart(Watched& watched)
    {
        std::string error;
        const pid_t pid = detail::startResident(*watched.program, options_.programs, options_.readyTimeout, error);
        if (pid < 0) {
            watched.delay = std::max(options_.restartDelay, std::min(watched.delay * 2, options_.maxRestartDelay));
            watched.nextAttempt = Clock::now() + watched.delay;
            logLine("lifecycle", "cannot restart " + std::string(watched.program->name) + ": " + error +
                                     "; trying again in " + std::to_string(watched.delay.count()) + " ms");
            return false;
        }
        watched.pid = pid;
        watched.child = true;
        watched.down = false;
        watched.startedAt = Clock::now();
        ++watched.record.count;
        watched.record.lastReason = watched.reason;
        logLine("lifecycle", "restarted " + std::string(watched.program->name) + " (pid " + std::to_string(pid) +
                                 ", restart " + std::to_string(watched.record.count) + ")");
        writeRecord(watched.record);
        return true;
    }

    void restartClientsOfTheRadio()
    {
        for (Watched& watched : watched_) {
            const bool client = std::find(std::begin(kClientsOfTheRadio), std::end(kClientsOfTheRadio),
                                          watched.program->name) != std::end(kClientsOfTheRadio);
            if (!client || watched.down)
                continue;
            ::kill(watched.pid, SIGTERM);
            const Clock::time_point deadline = Clock::now() + std::chrono::seconds(5);
            while (detail::livePid(pidFile(watched)) == watched.pid && Clock::now() < deadline)
                std::this_thread::sleep_for(kTick);
            if (detail::livePid(pidFile(watched)) == watched.pid)
                ::kill(watched.pid, SIGKILL);
            if (watched.child)
                while (::waitpid(watched.pid, nullptr, 0) < 0 && errno == EINTR) {
                }
            watched.reason = "was stopped to reopen its lines on the restarted radio";
            watched.down = true;
            watched.nextAttempt = Clock::now();
            logLine("lifecycle", std::string(watched.program->name) + " (pid " + std::to_string(watched.pid) +
                                     ") " + watched.reason);
            int lock = -1;
            if (detail::tryLockDevice(lock)) {
                restart(watched);
                ::close(lock);
            }
        }
    }

    void ask(Probe& probe)
    {
        const Clock::time_point now = Clock::now();
        const std::string name(probe.probe->resident);
        if (probe.fd < 0) {
            if (now < probe.nextAt)
                return;
            probe.nextAt = now + options_.probeInterval;
            probe.fd = connectTo(detail::runFolder() / std::string(probe.probe->socket));
            if (probe.fd < 0)
                return;  // not serving (yet): nothing to ask
            static constexpr char kQuestion[] = "are-you-there\n";
            if (::send(probe.fd, kQuestion, sizeof kQuestion - 1, MSG_NOSIGNAL) < 0) {
                ::close(probe.fd);
                probe.fd = -1;
                return;
            }
            probe.askedAt = now;
            return;
        }
        pollfd ready{probe.fd, POLLIN, 0};
        if (::poll(&ready, 1, 0) > 0) {
            char reply[256];
            const ssize_t n = ::recv(probe.fd, reply, sizeof reply, 0);
            ::close(probe.fd);
            probe.fd = -1;
            // The socket thread gives up on a window thread that does not
            // answer and says so; that is no answer either.
            const bool answered = n >= 0 && std::string_view(reply, n > 0 ? static_cast<std::size_t>(n) : 0)
                                                    .find("did not answer") == std::string_view::npos;
            if (answered && probe.reported) {
                probe.reported = false;
                const auto hung = std::chrono::duration_cast<std::chrono::milliseconds>(now - probe.hungSince);
                logLine("lifecycle", name + " answers again after " + std::to_string(hung.count()) + " ms");
            }
            return;
        }
        if (!probe.reported && now - probe.askedAt >= options_.hangReportedAfter) {
            probe.reported = true;
            probe.hungSince = probe.askedAt;
            const auto waited = std::chrono::duration_cast<std::chrono::milliseconds>(now - probe.askedAt);
            logLine("lifecycle", name + " has not answered for " + std::to_string(waited.count()) +
                                     " ms: a call on its window thread (into a plug-in, most likely) hangs");
        }
    }

    fs::path pidFile(const Watched& watched) const
    {
        return detail::runFolder() / (std::string(watched.program->name) + ".pid");
    }

    const SuperviseOptions& options_;
    std::vector<Watched> watched_;
    std::vector<Probe> probes_;
};

}  // namespace

std::span<const HangProbe> hangProbes()
{
    return kHangProbes;
}

void supervise(const SuperviseOptions& options, const std::atomic<bool>& stop)
{
    Supervisor supervisor(options);
    if (supervisor.empty())
        return;
    while (!stop.load()) {
        supervisor.tick();
        std::this_thread::sleep_for(kTick);
    }
}

std::vector<RestartRecord> restartRecords()
{
    std::vector<RestartRecord> records;
    std::error_code ec;
    for (fs::directory_iterator it(restartsFolder(), ec), end; !ec && it != end; it.increment(ec)) {
        if (it->path().extension() != ".txt")
            continue;
        std::istringstream in(readHostFile(it->path()).value_or(""));
        RestartRecord record;
        record.name = it->path().stem().string();
        if (!(in >> record.count))
            continue;
        in.ignore(1);
        std::getline(in, record.lastReason);
        records.push_back(record);
    }
    std::sort(records.begin(), records.end(),
              [](const RestartRecord& a, const RestartRecord& b) { return a.name < b.name; });
    return records;
}

}  // namespace handset::lifecycle
