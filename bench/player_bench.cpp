// How soon a tone is heard: the time from the start of plimsey.exe to the
// first audio buffer reaching the sink, next to a bare playbin program
// playing the same file (the floor).
//
// Both write to a capture folder the moment their first buffer reaches the
// sink (the player's capture file, the floor's marker), and the benchmark
// sees that moment through inotify, so both are timed the same way.
#include <handset/device.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <filesystem>
#include <poll.h>
#include <spawn.h>
#include <string>
#include <sys/inotify.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

#include <benchmark/benchmark.h>

#include "report.h"
#include "test_device.h"
#include "test_media.h"

extern char** environ;

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

// One device for the run with a one-second tone, as the SMS service would
// have the player play it; it is removed when the run ends.
struct Phone {
    Phone()
    {
        wmp_test::writeToneWav(tone, 1.0);
        fs::create_directories(watched);
    }

    handset::testing::TempDevice device;
    fs::path tone = device.root() / "fs" / "My Documents" / "Tone.wav";  // on the host
    fs::path watched = device.root() / "captures";
};

Phone& phone()
{
    static Phone made;
    return made;
}

// Starts a program and returns the seconds until a file appears in the
// watched folder; the program is then stopped. Negative when it failed.
double firstBufferSeconds(std::vector<std::string> argv, const std::vector<std::string>& extraEnv)
{
    Phone& p = phone();
    for (const fs::path& old : wmp_test::filesIn(p.watched))
        fs::remove(old);
    const int watch = inotify_init1(IN_CLOEXEC);
    if (watch < 0 || inotify_add_watch(watch, p.watched.c_str(), IN_CREATE) < 0)
        return -1;

    // The extra values come first: the first of two equal names is the one
    // a program sees.
    std::vector<std::string> env = extraEnv;
    for (char** e = environ; *e; ++e)
        env.emplace_back(*e);
    std::vector<char*> envp, args;
    for (std::string& e : env)
        envp.push_back(e.data());
    envp.push_back(nullptr);
    for (std::string& a : argv)
        args.push_back(a.data());
    args.push_back(nullptr);

    const Clock::time_point start = Clock::now();
    pid_t pid = -1;
    if (posix_spawn(&pid, args[0], nullptr, nullptr, args.data(), envp.data()) != 0) {
        ::close(watch);
        return -1;
    }
    pollfd ready{watch, POLLIN, 0};
    const bool seen = ::poll(&ready, 1, 10000) == 1;
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    ::kill(pid, SIGKILL);
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    ::close(watch);
    return seen ? seconds : -1;
}

void timeFirstBuffer(benchmark::State& state, const std::vector<std::string>& argv, const std::vector<std::string>& env)
{
    // One start before timing: the first one also loads GStreamer's plug-in
    // cache into memory.
    firstBufferSeconds(argv, env);
    std::vector<double> samples;
    for (auto _ : state) {
        const double seconds = firstBufferSeconds(argv, env);
        if (seconds < 0) {
            state.SkipWithError("no audio reached the sink");
            break;
        }
        state.SetIterationTime(seconds);
        samples.push_back(seconds * 1e6);
    }
    if (!samples.empty()) {
        std::sort(samples.begin(), samples.end());
        state.counters["p99_us"] = samples[std::min(samples.size() - 1, samples.size() * 99 / 100)];
    }
}

void BM_PlaybinFirstBuffer(benchmark::State& state)
{
    Phone& p = phone();
    timeFirstBuffer(state, {PLAYBIN_FLOOR, p.tone.string(), (p.watched / "first").string()}, {});
}
BENCHMARK(BM_PlaybinFirstBuffer)->UseManualTime()->Iterations(20)->Unit(benchmark::kMillisecond);

void BM_PlimseyFirstBuffer(benchmark::State& state)
{
    Phone& p = phone();
    timeFirstBuffer(state, {PLIMSEY_EXE, "\\My Documents\\Tone.wav"},
                    {"HANDSET_DEVICE=" + p.device.root().string(), "HANDSET_AUDIO=capture:" + p.watched.string()});
}
BENCHMARK(BM_PlimseyFirstBuffer)->UseManualTime()->Iterations(20)->Unit(benchmark::kMillisecond);

const bench::Comparison kComparisons[] = {
    {"BM_PlimseyFirstBuffer/iterations:20/manual_time", "BM_PlaybinFirstBuffer/iterations:20/manual_time",
     "within 1.5x of the bare playbin"},
};

}  // namespace
