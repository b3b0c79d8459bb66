#include "wmp/audio_output.h"

#include <atomic>
#include <cstdlib>
#include <string_view>
#include <system_error>
#include <unistd.h>

namespace handset::wmp {

namespace fs = std::filesystem;

namespace {

// A sink that plays nothing but takes each buffer at its time on the
// clock, so that a stream lasts as long as it would with a sound card.
GstElement* makeRealTimeSink()
{
    GstElement* sink = gst_element_factory_make("fakesink", "realtime-sink");
    if (sink)
        g_object_set(sink, "sync", TRUE, nullptr);
    return sink;
}

// Whether a sound server (PulseAudio, or PipeWire speaking its protocol)
// may be listening: without its socket there is none, and its sink, whose
// libraries take longer to load than a short tone takes to start, is not
// even loaded.
bool soundServerMayListen()
{
    if (const char* server = std::getenv("PULSE_SERVER"); server && *server)
        return true;
    std::error_code ec;
    if (const char* runtime = std::getenv("XDG_RUNTIME_DIR"); runtime && *runtime &&
        fs::exists(fs::path(runtime) / "pulse" / "native", ec))
        return true;
    return fs::exists("/run/user/" + std::to_string(::getuid()) + "/pulse/native", ec) ||
           fs::exists("/var/run/pulse/native", ec);
}

// The system's audio output, when one answers: a sound server first, then
// a sound card. Each is tried by opening it, which fails at once when it is
// not there; it is closed again until a stream plays. Elements that would
// print to the terminal when they find nothing are not tried.
GstElement* makeSystemSink()
{
    std::error_code ec;
    const bool server = soundServerMayListen();
    const bool soundCard = fs::exists("/dev/snd", ec);
    for (const char* factory : {"pulsesink", "alsasink"}) {
        if (std::string_view(factory) == "pulsesink" ? !server : !soundCard)
            continue;
        GstElement* sink = gst_element_factory_make(factory, nullptr);
        if (!sink)
            continue;
        const bool answers = gst_element_set_state(sink, GST_STATE_READY) == GST_STATE_CHANGE_SUCCESS;
        gst_element_set_state(sink, GST_STATE_NULL);
        if (answers)
            return sink;
        gst_object_unref(sink);
    }
    return nullptr;
}

GstPadProbeReturn onSinkBuffer(GstPad* pad, GstPadProbeInfo* info, gpointer data)
{
    (*static_cast<BufferProbe*>(data))(pad, GST_PAD_PROBE_INFO_BUFFER(info));
    return GST_PAD_PROBE_OK;
}

}  // namespace

AudioChoice audioChoiceFromEnvironment(std::string* unknown)
{
    AudioChoice choice;
    const char* value = std::getenv("HANDSET_AUDIO");
    const std::string_view text = value ? value : "";
    constexpr std::string_view capture = "capture:";
    if (text.empty() || text == "auto")
        return choice;
    if (text == "none") {
        choice.output = AudioChoice::Output::RealTime;
        return choice;
    }
    if (text.starts_with(capture) && text.size() > capture.size()) {
        choice.captureFolder = fs::path(text.substr(capture.size()));
        return choice;
    }
    if (unknown)
        *unknown = std::string(text);
    return choice;
}

fs::path Capture::nextFileName() const
{
    // Unique among every player of every process writing to the folder.
    static std::atomic<unsigned> streams{0};
    return folder_ / ("stream-" + std::to_string(::getpid()) + "-" + std::to_string(++streams) + ".wav");
}

void Capture::onBuffer(GstPad* pad, GstBuffer* buffer)
{
    std::lock_guard lock(mutex_);
    if (!file_.isOpen()) {
        if (failed_)
            return;
        PcmFormat format;
        if (GstCaps* caps = gst_pad_get_current_caps(pad)) {
            const GstStructure* s = gst_caps_get_structure(caps, 0);
            gint rate = 0, channels = 0;
            gst_structure_get_int(s, "rate", &rate);
            gst_structure_get_int(s, "channels", &channels);
            format = {static_cast<std::uint32_t>(rate), static_cast<std::uint16_t>(channels)};
            gst_caps_unref(caps);
        }
        std::error_code ec;
        fs::create_directories(folder_, ec);
        if (format.rate == 0 || format.channels == 0 || !file_.open(nextFileName(), format)) {
            failed_ = true;
            return;
        }
    }
    GstMapInfo map;
    if (gst_buffer_map(buffer, &map, GST_MAP_READ)) {
        file_.append(map.data, map.size);
        gst_buffer_unmap(buffer, &map);
    }
}

void Capture::endStream()
{
    std::lock_guard lock(mutex_);
    file_.close();
    failed_ = false;
}

GstElement* makePcmSink(GstElement* output, const char* caps, BufferProbe probe)
{
    GstElement* bin = gst_bin_new(nullptr);
    GstElement* convert = gst_element_factory_make("audioconvert", nullptr);
    GstElement* resample = gst_element_factory_make("audioresample", nullptr);
    GstElement* filter = gst_element_factory_make("capsfilter", nullptr);
    if (!convert || !resample || !filter) {
        for (GstElement* e : {convert, resample, filter, output, bin})
            if (e)
                gst_object_unref(e);
        return nullptr;
    }
    GstCaps* pcm = gst_caps_from_string(caps);
    g_object_set(filter, "caps", pcm, nullptr);
    gst_caps_unref(pcm);
    gst_bin_add_many(GST_BIN(bin), convert, resample, filter, output, nullptr);
    gst_element_link_many(convert, resample, filter, output, nullptr);

    GstPad* convertSink = gst_element_get_static_pad(convert, "sink");
    gst_element_add_pad(bin, gst_ghost_pad_new("sink", convertSink));
    gst_object_unref(convertSink);

    // The probe sits where buffers enter the output, so that it sees what
    // reached the sink, from the first audio on.
    GstPad* outputSink = gst_element_get_static_pad(output, "sink");
    gst_pad_add_probe(outputSink, GST_PAD_PROBE_TYPE_BUFFER, onSinkBuffer, new BufferProbe(std::move(probe)),
                      [](gpointer data) { delete static_cast<BufferProbe*>(data); });
    gst_object_unref(outputSink);
    return bin;
}

GstElement* makeAudioSink(const AudioChoice& choice, const std::shared_ptr<Capture>& capture,
                          std::string* description)
{
    GstElement* output = choice.output == AudioChoice::Output::Auto ? makeSystemSink() : nullptr;
    if (!output)
        output = makeRealTimeSink();
    if (!output)
        return nullptr;
    if (description) {
        GstElementFactory* factory = gst_element_get_factory(output);
        *description = factory ? GST_OBJECT_NAME(factory) : "sink";
    }
    if (!capture)
        return output;

    // Captured audio is 16-bit PCM whatever the media holds, so that every
    // capture can be read the same way. The capture lives as long as the
    // probe can run.
    GstElement* bin = makePcmSink(output, "audio/x-raw,format=S16LE,layout=interleaved",
                                  [capture](GstPad* pad, GstBuffer* buffer) { capture->onBuffer(pad, buffer); });
    if (!bin)
        return nullptr;
    if (description)
        *description += ", captured to " + choice.captureFolder->string();
    return bin;
}

}  // namespace handset::wmp
