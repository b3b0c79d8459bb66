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
#include "tonquil_program.h"
#include "test_device.h"

namespace {

void BM_TonquilStartToShownSheet(benchmark::State& state)
{
    static auto device = std::make_unique<handset::testing::TempDevice>();
    settings::resetProfiles();
    ::setenv("HANDSET_UI_CLOSE_WHEN_SHOWN", "1", 1);
    ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
    const std::string program = bench::tonquilPath();
    if (!std::filesystem::exists(program)) {
        state.SkipWithError("Tonquil.exe is not built");
        return;
    }
    for (auto _ : state) {
        if (bench::runOnce(program) != 0) {
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
