#include "sound/output.h"

#include <cerrno>
#include <map>
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

// A playbin and its sink, kept from one sound to the next: a playbin's first
// start builds its whole decoding chain, which takes several times what a
// warm one takes to its first buffer, and the phone should sound the moment
// it rings. Its buffers go to the Output that holds it.
struct Output::Pipeline {
    GstElement* playbin = nullptr;
    std::string description;  // the live sink's
    std::string uri;          // what it was last told to play
    std::mutex mutex;
    Output* owner = nullptr;

    Pipeline() = default;
    Pipeline(const Pipeline&) = delete;
    Pipeline& operator=(const Pipeline&) = delete;
    ~Pipeline()
    {
        if (playbin) {
            gst_element_set_state(playbin, GST_STATE_NULL);
            gst_object_unref(playbin);
        }
    }

    void deliver(GstBuffer* buffer)
    {
        std::lock_guard lock(mutex);
        if (owner)
            owner->onBuffer(buffer);
    }

    // Each message of the bus is looked at where it is posted, and none is
    // kept: a play waits for its end alone, and a start posts dozens of
    // others, each of which would wake a thread that reads the bus. A
    // message the handler drops is its own to release.
    static GstBusSyncReply onMessage(GstBus*, GstMessage* message, gpointer data)
    {
        if (GST_MESSAGE_TYPE(message) & (GST_MESSAGE_EOS | GST_MESSAGE_ERROR)) {
            auto* self = static_cast<Pipeline*>(data);
            std::lock_guard lock(self->mutex);
            if (self->owner)
                self->owner->onEnd(message);
        }
        gst_message_unref(message);
        return GST_BUS_DROP;
    }
};

namespace {

// The idle pipelines of this process, one of each kind of sink at most: a
// ring and a notification that sound together each have their own.
struct IdlePipelines {
    std::mutex mutex;
    std::map<std::string, std::unique_ptr<Output::Pipeline>> byKind;
};

IdlePipelines& idlePipelines()
{
    static auto* idle = new IdlePipelines;  // outlives every Output, also at exit
    return *idle;
}

}  // namespace

std::unique_ptr<Output::Pipeline> Output::makePipeline(bool capture, const wmp::AudioChoice& live,
                                                       std::string& failure)
{
    auto pipeline = std::make_unique<Pipeline>();
    Pipeline* target = pipeline.get();
    wmp::BufferProbe probe = [target](GstPad*, GstBuffer* buffer) { target->deliver(buffer); };
    GstElement* sink = nullptr;
    if (capture) {
        // A capture is made as fast as the media decodes; the device's
        // clock, not the sink, paces the ring (see Recording).
        GstElement* fast = gst_element_factory_make("fakesink", nullptr);
        if (fast)
            g_object_set(fast, "sync", FALSE, nullptr);
        sink = fast ? wmp::makePcmSink(fast, "audio/x-raw,format=S16LE,layout=interleaved,rate=44100,channels=2",
                                       std::move(probe))
                    : nullptr;
    } else {
        sink = wmp::makeAudioSink(live, nullptr, &pipeline->description);
        if (sink) {
            if (live.output == wmp::AudioChoice::Output::Auto && pipeline->description == "fakesink") {
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
        failure = "no audio sink";
        return nullptr;
    }
    pipeline->playbin = gst_element_factory_make("playbin", nullptr);
    if (!pipeline->playbin) {
        gst_object_unref(sink);
        failure = "GStreamer has no playbin";
        return nullptr;
    }
    gst_object_ref_sink(pipeline->playbin);
    GstBus* bus = gst_element_get_bus(pipeline->playbin);
    gst_bus_set_sync_handler(bus, Pipeline::onMessage, target, nullptr);
    gst_object_unref(bus);
    g_object_set(pipeline->playbin, "audio-sink", sink, "flags", kPlayFlagAudio | kPlayFlagSoftVolume, nullptr);
    wmp::synthesiseMidiWithGeneralMidi(pipeline->playbin);
    return pipeline;
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

    bool capture = false;
    if (choice.captureFolder) {
        recording_.emplace();
        capture = recording_->open(*choice.captureFolder, captureStem);
        if (!capture) {
            logLine("sound", "cannot write a capture of " + captureStem + " in " + choice.captureFolder->string());
            recording_.reset();
        }
    }
    wmp::AudioChoice live = choice;
    live.captureFolder.reset();
    kind_ = capture ? "capture" : live.output == wmp::AudioChoice::Output::Auto ? "auto" : "none";
    {
        IdlePipelines& idle = idlePipelines();
        std::lock_guard lock(idle.mutex);
        if (auto found = idle.byKind.find(kind_); found != idle.byKind.end()) {
            pipeline_ = std::move(found->second);
            idle.byKind.erase(found);
        }
    }
    if (!pipeline_)
        pipeline_ = makePipeline(capture, live, failure_);
    if (!pipeline_)
        return;
    description_ = capture ? "captured to " + recording_->file().string() : pipeline_->description;
    std::lock_guard lock(pipeline_->mutex);
    pipeline_->owner = this;
}

Output::~Output()
{
    if (!pipeline_)
        return;
    // Stopped, the pipeline has no streaming thread left to deliver to us.
    gst_element_set_state(pipeline_->playbin, GST_STATE_NULL);
    {
        std::lock_guard lock(pipeline_->mutex);
        pipeline_->owner = nullptr;
    }
    IdlePipelines& idle = idlePipelines();
    std::lock_guard lock(idle.mutex);
    idle.byKind.try_emplace(kind_, std::move(pipeline_));
}

bool Output::ready(std::string* why) const
{
    if (!pipeline_ && why)
        *why = failure_;
    return pipeline_ != nullptr;
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
        std::lock_guard lock(playMutex_);
        first.swap(firstAudio_);
    }
    if (first)
        first();
}

void Output::onEnd(GstMessage* message)
{
    {
        std::lock_guard lock(playMutex_);
        if (end_)
            return;
        end_ = GST_MESSAGE_TYPE(message) == GST_MESSAGE_EOS ? std::string() : errorOf(message, "playback failed");
    }
    ended_.notify_all();
}

void Output::interrupt()
{
    // Taking the lock orders this after the play's own look at `stopping`.
    {
        std::lock_guard lock(playMutex_);
    }
    ended_.notify_all();
}

PlayResult Output::play(const std::string& uri, double gain, std::uint64_t frame, const std::atomic<bool>& stopping,
                        const std::function<void()>& firstAudio)
{
    PlayResult result;
    if (!pipeline_) {
        result.failure = failure_;
        return result;
    }
    GstElement* playbin = pipeline_->playbin;
    if (recording_)
        recording_->beginPlay(frame);
    {
        std::lock_guard lock(playMutex_);
        firstAudio_ = firstAudio;
        end_.reset();
    }
    // The same tone again keeps the source the playbin already made for it.
    if (pipeline_->uri != uri) {
        g_object_set(playbin, "uri", uri.c_str(), nullptr);
        pipeline_->uri = uri;
    }
    g_object_set(playbin, "volume", gain, nullptr);
    const bool starts = gst_element_set_state(playbin, GST_STATE_PLAYING) != GST_STATE_CHANGE_FAILURE;
    {
        std::unique_lock lock(playMutex_);
        if (!starts) {
            // The error, if any, was posted while the state changed.
            result.failure = end_ && !end_->empty() ? *end_ : "the media cannot be opened";
        } else {
            ended_.wait(lock, [&] { return end_ || stopping.load(); });
            if (end_ && !end_->empty())
                result.failure = *end_;
            else
                result.played = true;  // to its end, or until stopped
        }
    }
    gst_element_set_state(playbin, GST_STATE_NULL);
    {
        std::lock_guard lock(playMutex_);
        firstAudio_ = nullptr;
    }
    if (recording_)
        result.frames = recording_->playFrames();
    return result;
}

}  // namespace handset::sound
