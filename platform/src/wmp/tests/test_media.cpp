#include "test_media.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <numbers>
#include <string>

#include <gst/gst.h>

// GLib keeps the first block of its string table when the table grows, on
// purpose (readers of the table take no lock), and the sanitizer's leak
// check at exit counts that block as lost in every test that plays or decodes media.
// It is GLib's, made while the libraries load, and the same every run; no
// other allocation is passed over. The allocation stacks are unwound in
// full, as GLib keeps no frame pointers and the fast unwinder would stop at
// its first frame, hiding where any leak came from. (Only the sanitizer
// build asks for these.)
extern "C" const char* __lsan_default_suppressions()
{
    return "leak:_dl_init\nleak:g_quark_from_static_string\nleak:g_quark_from_string\n";
}
extern "C" const char* __asan_default_options()
{
    return "fast_unwind_on_malloc=0";
}
extern "C" const char* __lsan_default_options()
{
    return "print_suppressions=0";
}

namespace wmp_test {

namespace fs = std::filesystem;

namespace {

void put16(std::string& out, unsigned value)
{
    out += static_cast<char>(value & 0xFF);
    out += static_cast<char>((value >> 8) & 0xFF);
}

void put32(std::string& out, std::uint32_t value)
{
    for (int i = 0; i < 4; ++i)
        out += static_cast<char>((value >> (8 * i)) & 0xFF);
}

std::uint32_t get32(const std::string& in, std::size_t at)
{
    std::uint32_t value = 0;
    for (int i = 3; i >= 0; --i)
        value = (value << 8) | static_cast<unsigned char>(in[at + i]);
    return value;
}

unsigned get16(const std::string& in, std::size_t at)
{
    return static_cast<unsigned char>(in[at]) | (static_cast<unsigned char>(in[at + 1]) << 8);
}

void initGStreamer()
{
    gst_init(nullptr, nullptr);
}

// Runs a pipeline to its end; false on an error or after a minute.
bool runToEnd(GstElement* pipeline)
{
    gst_element_set_state(pipeline, GST_STATE_PLAYING);
    GstBus* bus = gst_element_get_bus(pipeline);
    GstMessage* end = gst_bus_timed_pop_filtered(bus, 60 * GST_SECOND,
                                                 static_cast<GstMessageType>(GST_MESSAGE_EOS | GST_MESSAGE_ERROR));
    const bool ok = end && GST_MESSAGE_TYPE(end) == GST_MESSAGE_EOS;
    if (end)
        gst_message_unref(end);
    gst_object_unref(bus);
    gst_element_set_state(pipeline, GST_STATE_NULL);
    return ok;
}

}  // namespace

void writeToneWav(const fs::path& file, double seconds, double frequency)
{
    constexpr std::uint32_t rate = 22050;
    const auto count = static_cast<std::uint32_t>(seconds * rate);
    std::string data;
    for (std::uint32_t i = 0; i < count; ++i) {
        const double value = 0.5 * std::sin(2 * std::numbers::pi * frequency * i / rate);
        put16(data, static_cast<std::uint16_t>(static_cast<std::int16_t>(std::lround(value * 32767))));
    }
    std::string wav = "RIFF";
    put32(wav, 36 + static_cast<std::uint32_t>(data.size()));
    wav += "WAVEfmt ";
    put32(wav, 16);
    put16(wav, 1);
    put16(wav, 1);
    put32(wav, rate);
    put32(wav, rate * 2);
    put16(wav, 2);
    put16(wav, 16);
    wav += "data";
    put32(wav, static_cast<std::uint32_t>(data.size()));
    wav += data;
    std::ofstream(file, std::ios::binary) << wav;
}

bool encodeTone(const fs::path& file, double seconds, Codec codec)
{
    initGStreamer();
    const int buffers = static_cast<int>(std::ceil(seconds * 44100 / 1024));
    const std::string encoder = codec == Codec::Mp3 ? "lamemp3enc" : "avenc_wmav2 ! asfmux";
    const std::string description = "audiotestsrc wave=sine freq=440 volume=0.5 samplesperbuffer=1024 num-buffers=" +
                                    std::to_string(buffers) +
                                    " ! audio/x-raw,rate=44100,channels=1 ! audioconvert ! " + encoder +
                                    " ! filesink location=\"" + file.string() + "\"";
    GError* error = nullptr;
    GstElement* pipeline = gst_parse_launch(description.c_str(), &error);
    if (error)
        g_error_free(error);
    if (!pipeline)
        return false;
    const bool ok = runToEnd(pipeline);
    gst_object_unref(pipeline);
    return ok;
}

void writeMidi(const fs::path& file, int notes)
{
    std::string track;
    track += std::string("\x00\xFF\x51\x03\x07\xA1\x20", 7);  // 500000 us a quarter note
    track += std::string("\x00\xC0\x00", 3);                  // piano
    for (int i = 0; i < notes; ++i) {
        const char key = static_cast<char>(60 + (i * 4) % 24);
        track += std::string("\x00\x90", 2) + key + '\x64';
        track += std::string("\x83\x60\x80", 3) + key + '\x00';  // 480 ticks later, off
    }
    track += std::string("\x00\xFF\x2F\x00", 4);
    std::string smf = std::string("MThd\x00\x00\x00\x06\x00\x00\x00\x01\x01\xE0", 14);
    smf += "MTrk";
    for (int shift = 24; shift >= 0; shift -= 8)
        smf += static_cast<char>((track.size() >> shift) & 0xFF);
    smf += track;
    std::ofstream(file, std::ios::binary) << smf;
}

std::optional<Capture> readCapture(const fs::path& file)
{
    std::ifstream in(file, std::ios::binary);
    const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (bytes.size() < 44 || bytes.compare(0, 4, "RIFF") != 0 || bytes.compare(8, 8, "WAVEfmt ") != 0 ||
        bytes.compare(36, 4, "data") != 0 || get16(bytes, 34) != 16)
        return std::nullopt;
    Capture capture;
    capture.channels = static_cast<int>(get16(bytes, 22));
    capture.rate = static_cast<int>(get32(bytes, 24));
    const std::uint32_t dataBytes = std::min<std::uint32_t>(get32(bytes, 40), bytes.size() - 44);
    if (capture.rate <= 0 || capture.channels <= 0)
        return std::nullopt;
    capture.seconds = static_cast<double>(dataBytes) / (2.0 * capture.channels * capture.rate);
    for (std::size_t at = 44; at + 1 < 44 + dataBytes; at += 2) {
        const auto sample = static_cast<std::int16_t>(get16(bytes, at));
        capture.peak = std::max(capture.peak, std::abs(static_cast<int>(sample)));
    }
    return capture;
}

std::vector<fs::path> filesIn(const fs::path& folder)
{
    std::vector<fs::path> files;
    std::error_code ec;
    for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec))
        files.push_back(it->path());
    std::sort(files.begin(), files.end());
    return files;
}

std::optional<Capture> decodeFile(const fs::path& file)
{
    initGStreamer();
    GstElement* pipeline = gst_pipeline_new(nullptr);
    GstElement* decode = gst_element_factory_make("uridecodebin", nullptr);
    GstElement* convert = gst_element_factory_make("audioconvert", nullptr);
    GstElement* filter = gst_element_factory_make("capsfilter", nullptr);
    GstElement* sink = gst_element_factory_make("fakesink", nullptr);
    GstCaps* caps = gst_caps_from_string("audio/x-raw,format=S16LE,layout=interleaved");
    g_object_set(filter, "caps", caps, nullptr);
    gst_caps_unref(caps);
    g_object_set(sink, "sync", FALSE, nullptr);
    gchar* uri = gst_filename_to_uri(file.c_str(), nullptr);
    g_object_set(decode, "uri", uri, nullptr);
    g_free(uri);
    gst_bin_add_many(GST_BIN(pipeline), decode, convert, filter, sink, nullptr);
    gst_element_link_many(convert, filter, sink, nullptr);
    g_signal_connect(decode, "pad-added", G_CALLBACK(+[](GstElement*, GstPad* pad, gpointer convertElement) {
                         GstPad* target = gst_element_get_static_pad(static_cast<GstElement*>(convertElement), "sink");
                         if (!gst_pad_is_linked(target))
                             gst_pad_link(pad, target);
                         gst_object_unref(target);
                     }),
                     convert);

    struct Measure {
        std::uint64_t samples = 0;
        int peak = 0;
        int rate = 0;
        int channels = 0;
    } measure;
    GstPad* pad = gst_element_get_static_pad(sink, "sink");
    gst_pad_add_probe(
        pad, GST_PAD_PROBE_TYPE_BUFFER,
        [](GstPad* p, GstPadProbeInfo* info, gpointer data) -> GstPadProbeReturn {
            auto* m = static_cast<Measure*>(data);
            if (m->rate == 0) {
                if (GstCaps* c = gst_pad_get_current_caps(p)) {
                    gst_structure_get_int(gst_caps_get_structure(c, 0), "rate", &m->rate);
                    gst_structure_get_int(gst_caps_get_structure(c, 0), "channels", &m->channels);
                    gst_caps_unref(c);
                }
            }
            GstMapInfo map;
            if (gst_buffer_map(GST_PAD_PROBE_INFO_BUFFER(info), &map, GST_MAP_READ)) {
                const auto* s = reinterpret_cast<const std::int16_t*>(map.data);
                for (gsize i = 0; i < map.size / 2; ++i)
                    m->peak = std::max(m->peak, std::abs(static_cast<int>(s[i])));
                m->samples += map.size / 2;
                gst_buffer_unmap(GST_PAD_PROBE_INFO_BUFFER(info), &map);
            }
            return GST_PAD_PROBE_OK;
        },
        &measure, nullptr);
    gst_object_unref(pad);
    const bool ok = runToEnd(pipeline);
    gst_object_unref(pipeline);
    if (!ok || measure.rate == 0 || measure.channels == 0)
        return std::nullopt;
    return Capture{static_cast<double>(measure.samples) / measure.channels / measure.rate, measure.peak, measure.rate,
                   measure.channels};
}

bool hasElement(const char* factory)
{
    initGStreamer();
    GstElementFactory* found = gst_element_factory_find(factory);
    if (!found)
        return false;
    gst_object_unref(found);
    return true;
}

}  // namespace wmp_test
