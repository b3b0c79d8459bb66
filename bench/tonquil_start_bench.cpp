// Starting the configuration application to its shown sheet: Tonquil.exe
// as a real process, from its start until the sheet is on the screen and
// (answered at once with Cancel) the program has ended again.
#include <filesystem>
#include <memory>
#include <string>

#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <handset/device.h>
#include <settings/settings.h>

#include <benchmark/benchmark.h>

#include "report.h"
#include "test_device.h"

extern char** environ;

namespace {

// Tonquil.exe is built beside the benchmark, in the build tree's bin/.
std::string tonquilPath()
{
    const std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe");
    return (self.parent_path() / "Tonquil.exe").string();
}

int runOnce(const std::string& program)
{
    std::string path = program;
    std::string line;
    char* argv[] = {path.data(), line.data(), nullptr};
    pid_t pid = 0;
    if (::posix_spawn(&pid, path.c_str(), nullptr, nullptr, argv, environ) != 0)
        return -1;
    int status = 0;
    ::waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

void BM_TonquilStartToShownSheet(benchmark::State& state)
{
    static auto device = std::make_unique<handset::testing::TempDevice>();
    settings::resetProfiles();
    ::setenv("HANDSET_UI_CLOSE_WHEN_SHOWN", "1", 1);
    ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
    const std::string program = tonquilPath();
    if (!std::filesystem::exists(program)) {
        state.SkipWithError("Tonquil.exe is not built");
        return;
    }
    for (auto _ : state) {
        if (runOnce(program) != 0) {
            state.SkipWithError("Tonquil.exe did not end cleanly");
            break;
        }
    }
    ::unsetenv("HANDSET_UI_CLOSE_WHEN_SHOWN");
}
BENCHMARK(BM_TonquilStartToShownSheet)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(10);

const bench::Comparison kComparisons[] = {
    {"BM_TonquilStartToShownSheet", "", "under 300 ms"},
};

}  // namespace
