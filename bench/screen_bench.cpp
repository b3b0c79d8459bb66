// A person's look at the screen and one tap, from the command line: `handset
// screen` and a `handset input tap` on an empty place of the running
// application's form, each a whole `handset` process, next to `handset reg
// get`, the cheapest command that also starts `handset` and reads the device.
#include <chrono>
#include <csignal>
#include <filesystem>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <handset/device.h>
#include <handset/screen_requests.h>
#include <settings/settings.h>

#include <benchmark/benchmark.h>

#include "report.h"
#include "test_device.h"

extern char** environ;

namespace {

namespace fs = std::filesystem;

fs::path besideBenchmark(const char* name)
{
    return fs::read_symlink("/proc/self/exe").parent_path() / name;
}

pid_t spawn(std::vector<std::string> words)
{
    std::vector<char*> argv;
    for (std::string& word : words)
        argv.push_back(word.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    pid_t pid = 0;
    const int rc = ::posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    return rc == 0 ? pid : -1;
}

int run(std::vector<std::string> words)
{
    const pid_t pid = spawn(std::move(words));
    int status = 0;
    if (pid < 0 || ::waitpid(pid, &status, 0) != pid)
        return -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// The application, running on the benchmark's device for as long as the benchmarks need it.
struct RunningApplication {
    std::unique_ptr<handset::testing::TempDevice> device = std::make_unique<handset::testing::TempDevice>();
    pid_t pid = -1;

    RunningApplication()
    {
        settings::resetProfiles();
        ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
        ::unsetenv("HANDSET_UI_CLOSE_WHEN_SHOWN");
        pid = spawn({besideBenchmark("Tonquil.exe").string(), ""});
        // Up to half a minute for the sheet to come up.
        for (int i = 0; i < 300 && !shown(); ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    ~RunningApplication()
    {
        if (pid > 0) {
            ::kill(pid, SIGKILL);
            ::waitpid(pid, nullptr, 0);
        }
    }
    bool shown() const
    {
        return run({besideBenchmark("handset").string(), "screen", "--program", "Tonquil.exe"}) == 0;
    }
};

RunningApplication& application()
{
    static RunningApplication running;
    return running;
}

void measure(benchmark::State& state, std::vector<std::string> words)
{
    if (!application().shown()) {
        state.SkipWithError("Tonquil.exe did not come up");
        return;
    }
    words.insert(words.begin(), besideBenchmark("handset").string());
    for (auto _ : state) {
        if (run(words) != 0) {
            state.SkipWithError("handset failed");
            break;
        }
    }
}

// One value read by a whole process: `handset reg get`, against the sqlite3
// shell reading the same value from the same registry file, on a device of
// their own (no application running).
void BM_RegGetProcess(benchmark::State& state, bool handset)
{
    handset::testing::TempDevice device;
    settings::resetProfiles();
    const std::vector<std::string> words =
        handset ? std::vector<std::string>{besideBenchmark("handset").string(), "reg", "get",
                                           "HKCU\\Software\\Quorrel\\Tonquil\\Profiles", "currentProfile"}
                : std::vector<std::string>{"/usr/bin/sqlite3", "-readonly", (device.root() / "registry.db").string(),
                                           "SELECT hex(data) FROM vals WHERE fname = 'CURRENTPROFILE' AND key = "
                                           "(SELECT id FROM keys WHERE path = 'HKCU\\SOFTWARE\\QUORREL\\TONQUIL\\PROFILES')"};
    for (auto _ : state) {
        if (run(words) != 0) {
            state.SkipWithError("the reading process failed");
            break;
        }
    }
}
BENCHMARK_CAPTURE(BM_RegGetProcess, handset, true)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_CAPTURE(BM_RegGetProcess, sqlite3, false)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_HandsetRegGet(benchmark::State& state)
{
    measure(state, {"reg", "get", "HKCU\\Software\\Quorrel\\Tonquil\\Profiles", "currentProfile"});
}
BENCHMARK(BM_HandsetRegGet)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_HandsetScreen(benchmark::State& state)
{
    measure(state, {"screen"});
}
BENCHMARK(BM_HandsetScreen)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_HandsetInputTap(benchmark::State& state)
{
    // An empty place of the Contacts page: the tap changes nothing.
    measure(state, {"input", "tap", "120", "200"});
}
BENCHMARK(BM_HandsetInputTap)->Unit(benchmark::kMillisecond)->UseRealTime();

const bench::Comparison kComparisons[] = {
    {"BM_RegGetProcess/handset/real_time", "BM_RegGetProcess/sqlite3/real_time", "within 1.5x"},
    {"BM_HandsetScreen/real_time", "BM_HandsetRegGet/real_time", "under 50 ms"},
    {"BM_HandsetInputTap/real_time", "BM_HandsetRegGet/real_time", "under 50 ms"},
};

}  // namespace
