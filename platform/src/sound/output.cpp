#include "sound/output.h"

#include <cerrno>
#include <system_error>

#include <handset/log.h>

#include "wmp/audio_output.h"
#include "wmp/gst_runtime.h"
#include "wmp/media.h"

namespace handset::sound {

namespace fs = std::filesystem;

namespace {

// playbin's flags: audio only, with its own volume element.
constexpr guint kPlayFlagAudio = 0x2;
constexpr guint kPlayFlagSoftVolume = 0x10;

constexpr auto kBusPoll = std::chrono::milliseconds(10);

// The first message of an error on the bus, or `fallback`.
std::string errorOf(GstMessage* message, const char* fallback)
{
    GError* error = nullptr;
    gst_message_parse_error(message, &error, nullptr);
    std::string text = error && error->message ? error->message : fallback;
    if (error)
        g_error_free(error);
    return text;
}

GstPadProbeReturn onOutputBuffer(GstPad*, GstPadProbeInfo* info, gpointer data)
{
    (*static_cast<wmp::BufferProbe*>(data))(nullptr, GST_PAD_PROBE_INFO_BUFFER(info));
    return GST_PAD_PROBE_OK;
}

}  // namespace

bool Recording::open(const fs::path& folder, const std::string& stem)
{
    std::error_code ec;
    fs::create_directories(folder, ec);
    // A device that was booted again numbers its calls from 1 again: an
    // earlier ring's file is kept, the new one takes the next free name.
    for (int attempt = 1; attempt < 1000; ++attempt) {
        fs::path file = folder / (stem + (attempt == 1 ? "" : "-" + std::to_string(attempt)) + ".wav");
        if (wav_.open(file, {kRate, kChannels})) {
            file_ = std::move(file);
            return true;
        }
        if (errno != EEXIST)
            return false;
    }
    return false;
}

void Recording::beginPlay(std::uint64_t frame)
{
    std::lock_guard lock(mutex_);
    playStart_ = std::max(frame, written_);
    play_.clear();
}

void Recording::onAudio(const void* data, std::size_t bytes)
{
    std::lock_guard lock(mutex_);
    const auto* samples = static_cast<const std::int16_t*>(data);
    play_.insert(play_.end(), samples, samples + bytes / sizeof(std::int16_t));
}

std::uint64_t Recording::playFrames()
{
    std::lock_guard lock(mutex_);
    return play_.size() / kChannels;
}

void Recording::writeUpTo(std::uint64_t frame)
{
    std::lock_guard lock(mutex_);
    static const std::vector<std::int16_t> silence(kRate / 10 * kChannels, 0);
    while (written_ < frame) {
        const std::uint64_t playEnd = playStart_ + play_.size() / kChannels;
        std::uint64_t until = frame;
        const std::int16_t* from = silence.data();
        if (written_ < playStart_) {
            until = std::min({frame, playStart_, written_ + silence.size() / kChannels});
        } else if (written_ < playEnd) {
            until = std::min(frame, playEnd);
            from = play_.data() + (written_ - playStart_) * kChannels;
        } else {
            until = std::min(frame, written_ + silence.size() / kChannels);
        }
        wav_.append(from, (until - written_) * kChannels * sizeof(std::int16_t));
        written_ = until;
    }
}

Output::Output(std::string captureStem)
{
    if (!wmp::ensureGStreamer(&failure_))
        return;
    std::string unknown;
    const wmp::AudioChoice choice = wmp::audioChoiceFromEnvironment(&unknown);
    if (!unknown.empty()) {
        static std::once_flag once;
        std::call_once(once, [&] {
            logLine("sound", "HANDSET_AUDIO=" + unknown + " is not auto, none or capture:DIR; using auto");
        });
    }

    GstElement* sink = nullptr;
    wmp::BufferProbe probe = [this](GstPad*, GstBuffer* buffer) { onBuffer(buffer); };
    if (choice.captureFolder) {
        // A capture is made as fast as the media decodes; the device's
        // clock, not the sink, paces the ring (see Recording).
        recording_.emplace();
        if (!recording_->open(*choice.captureFolder, captureStem)) {
            logLine("sound", "cannot write a capture of " + captureStem + " in " + choice.captureFolder->string());
            recording_.reset();
        } else {
            GstElement* fast = gst_element_factory_make("fakesink", nullptr);
            if (fast)
                g_object_set(fast, "sync", FALSE, nullptr);
            sink = fast ? wmp::makePcmSink(fast,
                                           "audio/x-raw,format=S16LE,layout=interleaved,rate=44100,channels=2",
                                           std::move(probe))
                        : nullptr;
            description_ = "captured to " + recording_->file().string();
        }
    }
    if (!sink) {
        wmp::AudioChoice output = choice;
        output.captureFolder.reset();
        sink = wmp::makeAudioSink(output, nullptr, &description_);
        if (sink) {
            if (choice.output == wmp::AudioChoice::Output::Auto && description_ == "fakesink") {
                static std::once_flag once;
                std::call_once(once, [] {
                    logLine("sound", "the host has no sound output; rings and notifications play silently");
                });
            }
            if (GstPad* pad = gst_element_get_static_pad(sink, "sink")) {
                gst_pad_add_probe(pad, GST_PAD_PROBE_TYPE_BUFFER, onOutputBuffer, new wmp::BufferProbe(probe),
                                  [](gpointer data) { delete static_cast<wmp::BufferProbe*>(data); });
                gst_object_unref(pad);
            }
        }
    }
    if (!sink) {
        failure_ = "no audio sink";
        return;
    }
    playbin_ = gst_element_factory_make("playbin", nullptr);
    if (!playbin_) {
        gst_object_unref(sink);
        failure_ = "GStreamer has no playbin";
        return;
    }
    gst_object_ref_sink(playbin_);
    g_object_set(playbin_, "audio-sink", sink, "flags", kPlayFlagAudio | kPlayFlagSoftVolume, nullptr);
    wmp::synthesiseMidiWithGeneralMidi(playbin_);
}

Output::~Output()
{
    if (playbin_) {
        gst_element_set_state(playbin_, GST_STATE_NULL);
        gst_object_unref(playbin_);
    }
}

bool Output::ready(std::string* why) const
{
    if (!playbin_ && why)
        *why = failure_;
    return playbin_ != nullptr;
}

void Output::onBuffer(GstBuffer* buffer)
{
    if (recording_) {
        GstMapInfo map;
        if (gst_buffer_map(buffer, &map, GST_MAP_READ)) {
            recording_->onAudio(map.data, map.size);
            gst_buffer_unmap(buffer, &map);
        }
    }
    std::function<void()> first;
    {
        std::lock_guard lock(firstAudioMutex_);
        first.swap(firstAudio_);
    }
    if (first)
        first();
}

PlayResult Output::play(const std::string& uri, double gain, std::uint64_t frame, const std::atomic<bool>& stopping,
                        const std::function<void()>& firstAudio)
{
    PlayResult result;
    if (!playbin_) {
        result.failure = failure_;
        return result;
    }
    if (recording_)
        recording_->beginPlay(frame);
    {
        std::lock_guard lock(firstAudioMutex_);
        firstAudio_ = firstAudio;
    }
    g_object_set(playbin_, "uri", uri.c_str(), "volume", gain, nullptr);
    GstBus* bus = gst_element_get_bus(playbin_);
    if (gst_element_set_state(playbin_, GST_STATE_PLAYING) == GST_STATE_CHANGE_FAILURE) {
        result.failure = "the media cannot be opened";
        if (GstMessage* error = gst_bus_pop_filtered(bus, GST_MESSAGE_ERROR)) {
            result.failure = errorOf(error, "the media cannot be opened");
            gst_message_unref(error);
        }
    } else {
        while (!stopping.load()) {
            GstMessage* message = gst_bus_timed_pop_filtered(
                bus, std::chrono::duration_cast<std::chrono::nanoseconds>(kBusPoll).count(),
                static_cast<GstMessageType>(GST_MESSAGE_EOS | GST_MESSAGE_ERROR));
            if (!message)
                continue;
            if (GST_MESSAGE_TYPE(message) == GST_MESSAGE_EOS)
                result.played = true;
            else
                result.failure = errorOf(message, "playback failed");
            gst_message_unref(message);
            break;
        }
        if (stopping.load() && result.failure.empty())
            result.played = true;
    }
    gst_object_unref(bus);
    // Going to NULL flushes the bus: nothing of this play is read later.
    gst_element_set_state(playbin_, GST_STATE_NULL);
    {
        std::lock_guard lock(firstAudioMutex_);
        firstAudio_ = nullptr;
    }
    if (recording_)
        result.frames = recording_->playFrames();
    return result;
}

}  // namespace handset::sound
