// The Today screen's refresh query of an item whose profile has not
// changed: the question the screen asks every item every two seconds, next
// to the one registry read it cannot avoid.
#include <filesystem>
#include <memory>

#include <unistd.h>

#include <handset/loader.h>
#include <handset/resources.h>
#include <handset/today.h>
#include <handset/wstring.h>
#include <settings/settings.h>

#include <benchmark/benchmark.h>

#include "report.h"
#include "test_device.h"

namespace {

LRESULT CALLBACK screenProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    return DefWindowProc(hwnd, message, wParam, lParam);
}

// Tolvane.dll is built beside the benchmark, in the build tree's lib/.
std::u16string tolvanePath()
{
    const std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe");
    return handset::fromUtf8((self.parent_path().parent_path() / "lib" / "Tolvane.dll").string());
}

// One device with the item loaded into a stand-in Today screen window.
struct Screen {
    std::unique_ptr<handset::testing::TempDevice> device;
    HMODULE library = nullptr;
    HWND host = nullptr;
    HWND item = nullptr;
    TODAYLISTITEM record{};
};

Screen& screen()
{
    static Screen s = [] {
        Screen made;
        made.device = std::make_unique<handset::testing::TempDevice>();
        settings::resetProfiles();
        const settings::ScheduleEntry entries[] = {{420, 0}, {1320, 2}};
        settings::writeSchedule(entries, 2);
        WNDCLASS wc{};
        wc.lpfnWndProc = screenProc;
        wc.lpszClassName = u"BenchToday";
        RegisterClass(&wc);
        made.host = CreateWindow(u"BenchToday", u"", WS_VISIBLE, 0, 0, 240, 320, nullptr, nullptr, nullptr, nullptr);
        const std::u16string path = tolvanePath();
        made.library = LoadLibrary(path.c_str());
        if (made.library) {
            auto init = reinterpret_cast<PFNCUSTOMINITIALIZEITEM>(GetProcAddress(made.library, MAKEINTRESOURCE(240)));
            if (init)
                made.item = init(&made.record, made.host);
        }
        handset::pumpMessages();
        return made;
    }();
    return s;
}

void refreshUnchanged(benchmark::State& state, std::int32_t selector)
{
    Screen& s = screen();
    if (!s.item) {
        state.SkipWithError("Tolvane.dll could not be loaded");
        return;
    }
    settings::writeCurrentProfile(selector);
    SendMessage(s.item, WM_TODAYCUSTOM_QUERYREFRESHCACHE, reinterpret_cast<WPARAM>(&s.record), 0);
    for (auto _ : state) {
        const LRESULT changed =
            SendMessage(s.item, WM_TODAYCUSTOM_QUERYREFRESHCACHE, reinterpret_cast<WPARAM>(&s.record), 0);
        if (changed)
            state.SkipWithError("the item reported a change");
        benchmark::DoNotOptimize(changed);
    }
}

// The registry read every refresh query makes.
void BM_TodayReadSelector(benchmark::State& state)
{
    screen();
    settings::writeCurrentProfile(2);
    for (auto _ : state)
        benchmark::DoNotOptimize(settings::readCurrentProfile());
}
BENCHMARK(BM_TodayReadSelector);

void BM_TodayRefreshUnchanged(benchmark::State& state)
{
    refreshUnchanged(state, 2);
}
BENCHMARK(BM_TodayRefreshUnchanged);

// With the schedule selected the query also reads the schedule and the clock.
void BM_TodayRefreshUnchangedScheduled(benchmark::State& state)
{
    refreshUnchanged(state, settings::PROFILE_SCHEDULE);
}
BENCHMARK(BM_TodayRefreshUnchangedScheduled);

const bench::Comparison kComparisons[] = {
    {"BM_TodayRefreshUnchanged", "BM_TodayReadSelector", "under 100 us"},
    {"BM_TodayRefreshUnchangedScheduled", "BM_TodayReadSelector", "under 100 us"},
};

}  // namespace
