// How soon the phone sounds: from the caller ID's arrival (Tolvane's
// decision writes the ring settings) to the ring's first audio buffer at the
// sink, next to a warm bare playbin's first buffer of the same tone at the
// same kind of sink. The sound system keeps its pipeline warm between rings,
// so the gap between the two is what the ring adds to the play: reading its
// settings and script, handing it to the thread it performs on, and telling
// the caller that the first audio has arrived.
#include <handset/com.h>
#include <handset/contacts_admin.h>
#include <handset/device.h>
#include <handset/pimstore.h>
#include <handset/registry.h>
#include <handset/sound.h>
#include <settings/settings.h>

#include <gst/gst.h>

#include <condition_variable>
#include <cstdlib>
#include <mutex>

#include <benchmark/benchmark.h>

#include "contacts_app.h"
#include "report.h"
#include "ring_settings.h"
#include "test_device.h"
#include "test_media.h"

namespace {

constexpr char16_t kCaller[] = u"+49 151 2345678";
constexpr char16_t kTone[] = u"\\My Documents\\My Ringtones\\Bench.wav";

// One device with one contact whose own tone rings, and the ring keys.
struct RingingPhone {
    RingingPhone()
    {
        // Real-time silent output: the same sink for the ring and the bare
        // pipeline, and nothing heard on the host.
        ::setenv("HANDSET_AUDIO", "none", 1);
        settings::resetProfiles();
        for (const char16_t* path : {u"ControlPanel\\Sounds\\RingTone0", u"ControlPanel\\SoundCategories\\Ring"}) {
            HKEY key = nullptr;
            RegCreateKeyEx(HKEY_CURRENT_USER, path, 0, nullptr, 0, 0, nullptr, &key, nullptr);
            RegCloseKey(key);
        }
        tone = *handset::mapDevicePath(kTone);
        std::filesystem::create_directories(tone.parent_path());
        wmp_test::writeToneWav(tone, 1.0);
        handset::contacts::ContactChanges fields;
        fields.lastName = u"Caller";
        fields.phones = {{PIMPR_MOBILE_TELEPHONE_NUMBER, kCaller}};
        fields.ringTone = kTone;
        (void)handset::contacts::addContact(fields, nullptr);
        app = bench::logOnContacts();
    }
    ~RingingPhone()
    {
        bench::logOffContacts(app);
    }

    handset::testing::TempDevice device;
    std::filesystem::path tone;
    IPOutlookApp* app = nullptr;
};

RingingPhone& ringingPhone()
{
    static RingingPhone shared;
    handset::setDeviceRoot(shared.device.root());
    return shared;
}

// A playbin made once, playing the tone into a real-time fakesink; each
// iteration is one start to the first buffer at the sink.
void BM_Ring_BarePlaybinFirstBuffer(benchmark::State& state)
{
    RingingPhone& phone = ringingPhone();
    if (!gst_init_check(nullptr, nullptr, nullptr)) {
        state.SkipWithError("GStreamer does not start");
        return;
    }
    GstElement* playbin = gst_element_factory_make("playbin", nullptr);
    GstElement* sink = gst_element_factory_make("fakesink", nullptr);
    if (!playbin || !sink) {
        state.SkipWithError("no playbin or fakesink");
        return;
    }
    g_object_set(sink, "sync", TRUE, nullptr);
    struct FirstBuffer {
        std::mutex mutex;
        std::condition_variable arrived;
        bool seen = false;
    } first;
    GstPad* pad = gst_element_get_static_pad(sink, "sink");
    gst_pad_add_probe(
        pad, GST_PAD_PROBE_TYPE_BUFFER,
        [](GstPad*, GstPadProbeInfo*, gpointer data) {
            auto* first = static_cast<FirstBuffer*>(data);
            {
                std::lock_guard lock(first->mutex);
                first->seen = true;
            }
            first->arrived.notify_all();
            return GST_PAD_PROBE_OK;
        },
        &first, nullptr);
    gst_object_unref(pad);
    gchar* uri = gst_filename_to_uri(phone.tone.c_str(), nullptr);
    g_object_set(playbin, "audio-sink", sink, "uri", uri, nullptr);
    g_free(uri);
    for (auto _ : state) {
        gst_element_set_state(playbin, GST_STATE_PLAYING);
        std::unique_lock lock(first.mutex);
        if (!first.arrived.wait_for(lock, std::chrono::seconds(5), [&] { return first.seen; })) {
            state.SkipWithError("the tone never reached the sink");
            break;
        }
        lock.unlock();
        state.PauseTiming();
        gst_element_set_state(playbin, GST_STATE_NULL);
        // Cleared once stopped, not at the first buffer: the buffers that
        // follow it until the stop would count as the next start's own.
        {
            std::lock_guard clear(first.mutex);
            first.seen = false;
        }
        state.ResumeTiming();
    }
    gst_element_set_state(playbin, GST_STATE_NULL);
    gst_object_unref(playbin);
}
BENCHMARK(BM_Ring_BarePlaybinFirstBuffer)->Unit(benchmark::kMillisecond);

// The decision alone: what Tolvane does with the caller ID.
void BM_Ring_Decision(benchmark::State& state)
{
    RingingPhone& phone = ringingPhone();
    for (auto _ : state)
        tolvane::applyRingSettings(phone.app, kCaller);
}
BENCHMARK(BM_Ring_Decision)->Unit(benchmark::kMillisecond);

// Starts a ring from the settings the decision left and stops it, timing
// the start (startRing returns at its first audio buffer at the sink).
void ringOnce(benchmark::State& state, IPOutlookApp* decideWith)
{
    if (decideWith)
        tolvane::applyRingSettings(decideWith, kCaller);
    auto ring = handset::sound::startRing(1, kCaller, handset::sound::readRingSettings());
    state.PauseTiming();
    ring->stop();
    ring.reset();
    state.ResumeTiming();
}

void BM_Ring_FirstAudio(benchmark::State& state)
{
    RingingPhone& phone = ringingPhone();
    tolvane::applyRingSettings(phone.app, kCaller);
    if (handset::sound::readRingSettings().sound != kTone) {
        state.SkipWithError("the decision did not choose the contact's tone");
        return;
    }
    for (auto _ : state)
        ringOnce(state, nullptr);
}
BENCHMARK(BM_Ring_FirstAudio)->Unit(benchmark::kMillisecond);

void BM_Ring_CallerIdToFirstAudio(benchmark::State& state)
{
    RingingPhone& phone = ringingPhone();
    for (auto _ : state)
        ringOnce(state, phone.app);
}
BENCHMARK(BM_Ring_CallerIdToFirstAudio)->Unit(benchmark::kMillisecond);

const bench::Comparison kComparisons[] = {
    {"BM_Ring_BarePlaybinFirstBuffer", "", "a warm bare playbin's first buffer of the contact's tone"},
    {"BM_Ring_Decision", "", "the decision's own time"},
    {"BM_Ring_FirstAudio", "BM_Ring_BarePlaybinFirstBuffer",
     "the ring's first audio from the settings the decision left: within 1.5x"},
    {"BM_Ring_CallerIdToFirstAudio", "BM_Ring_BarePlaybinFirstBuffer",
     "from the caller ID's arrival: within 1.5x plus the decision's own time"},
};

}  // namespace
