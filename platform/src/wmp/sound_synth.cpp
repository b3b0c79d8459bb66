#include "wmp/sound_synth.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <fstream>
#include <numbers>
#include <system_error>
#include <vector>

#include <gst/gst.h>

#include "wmp/gst_runtime.h"
#include "wmp/wav_file.h"

namespace handset::wmp {

namespace {

namespace fs = std::filesystem;

constexpr std::uint32_t kRate = 22050;
using Samples = std::vector<double>;

// A tone of partials (frequency multiples with their weights) that starts
// at once and dies away with `decay` per second; a short fade at each end
// keeps it from clicking.
void addTone(Samples& out, double start, double seconds, double frequency,
             std::initializer_list<std::pair<double, double>> partials, double decay, double gain)
{
    const std::size_t first = static_cast<std::size_t>(start * kRate);
    const std::size_t count = static_cast<std::size_t>(seconds * kRate);
    if (out.size() < first + count)
        out.resize(first + count, 0.0);
    constexpr double fade = 0.005 * kRate;
    for (std::size_t i = 0; i < count; ++i) {
        const double t = static_cast<double>(i) / kRate;
        double value = 0;
        for (const auto& [multiple, weight] : partials)
            value += weight * std::sin(2 * std::numbers::pi * frequency * multiple * t);
        const double edge = std::min({1.0, i / fade, (count - i) / fade});
        out[first + i] += gain * value * std::exp(-decay * t) * edge;
    }
}

std::vector<std::int16_t> toPcm(const Samples& samples)
{
    std::vector<std::int16_t> pcm(samples.size());
    for (std::size_t i = 0; i < samples.size(); ++i)
        pcm[i] = static_cast<std::int16_t>(std::lround(std::clamp(samples[i], -1.0, 1.0) * 32767));
    return pcm;
}

// A telephone's double ring: 440 and 480 Hz together, trilled.
Samples ring()
{
    Samples out;
    for (double burst : {0.0, 0.6, 1.4, 2.0}) {
        const std::size_t first = static_cast<std::size_t>(burst * kRate);
        Samples tone;
        addTone(tone, 0, 0.4, 440, {{1, 0.5}, {480.0 / 440.0, 0.5}}, 0, 0.6);
        for (std::size_t i = 0; i < tone.size(); ++i)
            tone[i] *= 0.6 + 0.4 * std::sin(2 * std::numbers::pi * 20 * i / kRate);
        if (out.size() < first + tone.size())
            out.resize(first + tone.size(), 0.0);
        for (std::size_t i = 0; i < tone.size(); ++i)
            out[first + i] += tone[i];
    }
    return out;
}

// Two rising chimes for a message.
Samples alert()
{
    Samples out;
    addTone(out, 0.0, 0.3, 987.77, {{1, 0.8}, {2, 0.2}}, 8, 0.6);
    addTone(out, 0.15, 0.45, 1318.5, {{1, 0.8}, {2, 0.2}}, 6, 0.6);
    return out;
}

// Falling bells with their inharmonic partials.
Samples chimes()
{
    Samples out;
    double at = 0;
    for (double f : {1318.5, 1046.5, 783.99, 523.25}) {
        addTone(out, at, 0.9, f, {{1, 0.6}, {2.76, 0.25}, {5.4, 0.15}}, 4, 0.45);
        at += 0.3;
    }
    return out;
}

// Three short beeps.
Samples beeps()
{
    Samples out;
    for (double at : {0.0, 0.25, 0.5})
        addTone(out, at, 0.15, 1760, {{1, 1}}, 0, 0.5);
    return out;
}

// --- MIDI ------------------------------------------------------------------

struct Note {
    int key;
    int ticks;  // at 480 ticks a quarter note
};

void putVariable(std::vector<std::uint8_t>& out, std::uint32_t value)
{
    std::uint8_t bytes[4];
    int n = 0;
    do {
        bytes[n++] = value & 0x7F;
        value >>= 7;
    } while (value);
    while (n-- > 0)
        out.push_back(static_cast<std::uint8_t>(bytes[n] | (n ? 0x80 : 0)));
}

void putBig(std::vector<std::uint8_t>& out, std::uint32_t value, int bytes)
{
    while (bytes-- > 0)
        out.push_back(static_cast<std::uint8_t>(value >> (8 * bytes)));
}

// A standard MIDI file of one track: one instrument playing `notes` one
// after the other at 120 beats a minute.
std::vector<std::uint8_t> midiFile(int program, const std::vector<Note>& notes)
{
    std::vector<std::uint8_t> track;
    putVariable(track, 0);
    track.insert(track.end(), {0xFF, 0x51, 0x03});
    putBig(track, 500000, 3);  // microseconds per quarter note
    putVariable(track, 0);
    track.insert(track.end(), {0xC0, static_cast<std::uint8_t>(program)});
    for (const Note& note : notes) {
        putVariable(track, 0);
        track.insert(track.end(), {0x90, static_cast<std::uint8_t>(note.key), 127});
        putVariable(track, static_cast<std::uint32_t>(note.ticks));
        track.insert(track.end(), {0x80, static_cast<std::uint8_t>(note.key), 0});
    }
    putVariable(track, 0);
    track.insert(track.end(), {0xFF, 0x2F, 0x00});

    std::vector<std::uint8_t> file = {'M', 'T', 'h', 'd'};
    putBig(file, 6, 4);
    putBig(file, 0, 2);  // format 0
    putBig(file, 1, 2);  // one track
    putBig(file, 480, 2);
    file.insert(file.end(), {'M', 'T', 'r', 'k'});
    putBig(file, static_cast<std::uint32_t>(track.size()), 4);
    file.insert(file.end(), track.begin(), track.end());
    return file;
}

bool writeBytes(const fs::path& file, const std::vector<std::uint8_t>& bytes)
{
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    out.close();
    return static_cast<bool>(out);
}

// --- MP3 -------------------------------------------------------------------

// Encodes the samples with LAME through GStreamer into `file`, by way of a
// temporary name so that a failed encoding leaves no half file behind.
bool writeMp3(const fs::path& file, const std::vector<std::int16_t>& pcm, std::string* why)
{
    if (!ensureGStreamer(why))
        return false;
    const fs::path partial = file.string() + ".part";
    GError* error = nullptr;
    GstElement* pipeline = gst_parse_launch(
        "appsrc name=src format=time ! audioconvert ! lamemp3enc target=bitrate bitrate=64 cbr=true ! "
        "filesink name=out",
        &error);
    if (!pipeline) {
        *why = std::string("cannot make the MP3 encoder: ") + (error ? error->message : "unknown error");
        if (error)
            g_error_free(error);
        return false;
    }
    if (error)
        g_error_free(error);  // a warning only: the pipeline is whole

    GstElement* src = gst_bin_get_by_name(GST_BIN(pipeline), "src");
    GstElement* out = gst_bin_get_by_name(GST_BIN(pipeline), "out");
    g_object_set(out, "location", partial.c_str(), nullptr);
    GstCaps* caps = gst_caps_new_simple("audio/x-raw", "format", G_TYPE_STRING, "S16LE", "layout", G_TYPE_STRING,
                                        "interleaved", "rate", G_TYPE_INT, kRate, "channels", G_TYPE_INT, 1,
                                        nullptr);
    g_object_set(src, "caps", caps, nullptr);
    gst_caps_unref(caps);

    gst_element_set_state(pipeline, GST_STATE_PLAYING);
    GstBuffer* buffer = gst_buffer_new_memdup(pcm.data(), pcm.size() * sizeof(std::int16_t));
    GST_BUFFER_PTS(buffer) = 0;
    GST_BUFFER_DURATION(buffer) = gst_util_uint64_scale(pcm.size(), GST_SECOND, kRate);
    GstFlowReturn flow = GST_FLOW_OK;
    g_signal_emit_by_name(src, "push-buffer", buffer, &flow);
    gst_buffer_unref(buffer);
    g_signal_emit_by_name(src, "end-of-stream", &flow);

    GstBus* bus = gst_element_get_bus(pipeline);
    GstMessage* done = gst_bus_timed_pop_filtered(bus, 30 * GST_SECOND,
                                                  static_cast<GstMessageType>(GST_MESSAGE_EOS | GST_MESSAGE_ERROR));
    bool ok = done && GST_MESSAGE_TYPE(done) == GST_MESSAGE_EOS;
    if (!ok) {
        *why = "cannot encode " + file.filename().string();
        if (done && GST_MESSAGE_TYPE(done) == GST_MESSAGE_ERROR) {
            GError* e = nullptr;
            gst_message_parse_error(done, &e, nullptr);
            if (e) {
                *why += std::string(": ") + e->message;
                g_error_free(e);
            }
        }
    }
    if (done)
        gst_message_unref(done);
    gst_object_unref(bus);
    gst_element_set_state(pipeline, GST_STATE_NULL);
    gst_object_unref(src);
    gst_object_unref(out);
    gst_object_unref(pipeline);

    std::error_code ec;
    if (ok) {
        fs::rename(partial, file, ec);
        if (ec) {
            *why = "cannot write " + file.string() + ": " + ec.message();
            ok = false;
        }
    }
    if (!ok)
        fs::remove(partial, ec);
    return ok;
}

}  // namespace

bool makeStockSounds(const fs::path& folder, std::string* why)
{
    std::string ignored;
    if (!why)
        why = &ignored;
    const PcmFormat mono{kRate, 1};
    for (const auto& [name, sound] : {std::pair{"Ring.wav", ring()}, std::pair{"Alert.wav", alert()}}) {
        const auto pcm = toPcm(sound);
        if (!writeWavFile(folder / name, mono, pcm)) {
            *why = "cannot write " + (folder / name).string();
            return false;
        }
    }
    for (const auto& [name, sound] : {std::pair{"Chimes.mp3", chimes()}, std::pair{"Beeps.mp3", beeps()}}) {
        if (!writeMp3(folder / name, toPcm(sound), why))
            return false;
    }
    // A music box arpeggio and a trumpet call (General MIDI programs 10 and 56).
    const std::pair<const char*, std::vector<std::uint8_t>> midi[] = {
        {"Melody.mid", midiFile(10, {{72, 240}, {76, 240}, {79, 240}, {84, 480}, {79, 240}, {84, 720}})},
        {"Fanfare.mid", midiFile(56, {{67, 240}, {72, 240}, {76, 240}, {79, 720}, {76, 240}, {79, 960}})},
    };
    for (const auto& [name, bytes] : midi) {
        if (!writeBytes(folder / name, bytes)) {
            *why = "cannot write " + (folder / name).string();
            return false;
        }
    }
    return true;
}

}  // namespace handset::wmp
