// How soon a preview is heard: a tap on Play in the running caller dialog
// until the first audio buffer reaches the sink, next to a bare playbin in
// the same warm process (GStreamer and its plug-ins already loaded) from
// PLAYING to its first buffer (the floor).
//
// The dialog's player writes a capture file the moment its first buffer
// reaches the sink (HANDSET_AUDIO=capture:DIR), seen through inotify; the
// floor's sink marks its first buffer with a pad probe.
#include <atomic>
#include <chrono>
#include <filesystem>
#include <poll.h>
#include <sys/inotify.h>
#include <thread>
#include <unistd.h>

#include <QAbstractButton>

#include <benchmark/benchmark.h>

#include <handset/com.h>
#include <handset/device.h>
#include <handset/ui.h>
#include <settings/settings.h>
#include <system/set_caller.h>
#include <system/system_ids.h>

#include "report.h"
#include "test_device.h"
#include "test_media.h"

// Last: GLib defines TRUE and FALSE as macros, which the platform's headers
// declare as constants.
#include <gst/gst.h>

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

// One device for the run with a two-second tone as the known callers' ring tone.
struct Phone {
    Phone()
    {
        fs::create_directories(tones);
        wmp_test::writeToneWav(tones / "Preview.wav", 2.0);
        fs::create_directories(captures);
        ::setenv("HANDSET_AUDIO", ("capture:" + captures.string()).c_str(), 1);
        ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
        handset::ui::ensureApplication();
        CoInitializeEx(nullptr, COINIT_MULTITHREADED);
        settings::writeClassRingTone(settings::KnownCaller, u"\\My Documents\\Preview.wav");
    }

    handset::testing::TempDevice device;
    fs::path tones = device.root() / "fs" / "My Documents";
    fs::path captures = device.root() / "captures";
};

Phone& phone()
{
    static Phone made;
    return made;
}

void clearCaptures()
{
    for (const fs::path& old : wmp_test::filesIn(phone().captures))
        fs::remove(old);
}

void BM_PreviewTapToFirstBuffer(benchmark::State& state)
{
    Phone& p = phone();
    tonquil::CSetCaller dialog(nullptr, settings::KnownCaller, u"Known caller");
    handset::ui::whenNextFormShown([&](CWnd* form) {
        auto* play = qobject_cast<QAbstractButton*>(form->GetDlgItem(tonquil::ids::kCallerRingSlot.play)->widget());
        auto* stop = qobject_cast<QAbstractButton*>(form->GetDlgItem(tonquil::ids::kCallerRingSlot.stop)->widget());
        for (auto _ : state) {
            state.PauseTiming();
            clearCaptures();
            const int watch = inotify_init1(IN_CLOEXEC);
            inotify_add_watch(watch, p.captures.c_str(), IN_CREATE);
            state.ResumeTiming();
            const Clock::time_point start = Clock::now();
            play->click();
            pollfd ready{watch, POLLIN, 0};
            const bool seen = ::poll(&ready, 1, 10000) == 1;
            const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
            ::close(watch);
            stop->click();
            if (!seen) {
                state.SkipWithError("no audio reached the sink");
                break;
            }
            state.SetIterationTime(seconds);
        }
        dialog.EndDialog(IDCANCEL);
    });
    dialog.DoModal();
}
BENCHMARK(BM_PreviewTapToFirstBuffer)->UseManualTime()->Iterations(20)->Unit(benchmark::kMillisecond);

GstPadProbeReturn firstBuffer(GstPad*, GstPadProbeInfo*, gpointer seen)
{
    static_cast<std::atomic<bool>*>(seen)->store(true);
    return GST_PAD_PROBE_REMOVE;
}

void BM_WarmPlaybinFirstBuffer(benchmark::State& state)
{
    Phone& p = phone();
    gst_init(nullptr, nullptr);
    gchar* uri = gst_filename_to_uri((p.tones / "Preview.wav").c_str(), nullptr);
    for (auto _ : state) {
        state.PauseTiming();
        GstElement* playbin = gst_element_factory_make("playbin", nullptr);
        GstElement* sink = gst_element_factory_make("fakesink", nullptr);
        g_object_set(sink, "sync", TRUE, nullptr);
        std::atomic<bool> seen{false};
        GstPad* pad = gst_element_get_static_pad(sink, "sink");
        gst_pad_add_probe(pad, GST_PAD_PROBE_TYPE_BUFFER, firstBuffer, &seen, nullptr);
        gst_object_unref(pad);
        g_object_set(playbin, "uri", uri, "audio-sink", sink, nullptr);
        state.ResumeTiming();
        const Clock::time_point start = Clock::now();
        gst_element_set_state(playbin, GST_STATE_PLAYING);
        while (!seen.load() && Clock::now() - start < std::chrono::seconds(10))
            std::this_thread::sleep_for(std::chrono::microseconds(100));
        const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
        gst_element_set_state(playbin, GST_STATE_NULL);
        gst_object_unref(playbin);
        if (!seen.load()) {
            state.SkipWithError("no audio reached the sink");
            break;
        }
        state.SetIterationTime(seconds);
    }
    g_free(uri);
}
BENCHMARK(BM_WarmPlaybinFirstBuffer)->UseManualTime()->Iterations(20)->Unit(benchmark::kMillisecond);

const bench::Comparison kComparisons[] = {
    {"BM_PreviewTapToFirstBuffer/iterations:20/manual_time", "BM_WarmPlaybinFirstBuffer/iterations:20/manual_time",
     "within 1.5x of a bare playbin in a warm process"},
};

}  // namespace
