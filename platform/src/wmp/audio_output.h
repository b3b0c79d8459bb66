// Where a player's sound goes, as HANDSET_AUDIO chooses it: the element a
// player gives playbin as its audio sink, and the capture of each stream.
#pragma once

#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include <gst/gst.h>

#include "wmp/wav_file.h"

namespace handset::wmp {

struct AudioChoice {
    enum class Output { Auto, RealTime };
    Output output = Output::Auto;
    std::optional<std::filesystem::path> captureFolder;  // capture:DIR
};

// Reads HANDSET_AUDIO: "auto" or unset, "none", or "capture:DIR". A value
// that is none of these is reported in *unknown and taken as "auto".
AudioChoice audioChoiceFromEnvironment(std::string* unknown = nullptr);

// The capture of one player: each stream it plays goes to a new WAV file in
// the folder, made when the stream's first audio reaches the sink. The
// streaming thread appends; the player's thread ends a stream once the
// pipeline has stopped.
class Capture {
public:
    explicit Capture(std::filesystem::path folder) : folder_(std::move(folder)) {}

    // Called for each buffer that reaches the sink, with the sink pad's caps.
    void onBuffer(GstPad* pad, GstBuffer* buffer);
    // The next buffer starts a new file.
    void endStream();

private:
    std::filesystem::path nextFileName() const;

    std::mutex mutex_;
    std::filesystem::path folder_;
    WavStream file_;
    bool failed_ = false;  // this stream's file could not be made: do not retry per buffer
};

// Called on the streaming thread for each buffer that reaches a sink, with
// the sink pad (whose caps say the buffer's format).
using BufferProbe = std::function<void(GstPad*, GstBuffer*)>;

// `output` behind a converter and a resampler to the raw audio `caps`
// describe, with `probe` on the buffers that enter `output`. Takes
// `output`; null when an element is missing.
GstElement* makePcmSink(GstElement* output, const char* caps, BufferProbe probe);

// The audio sink for a new player: the system's output or the real-time
// sink, behind a converter to 16-bit samples and a capture probe when
// capture is on. *description names the output chosen, for the log.
GstElement* makeAudioSink(const AudioChoice& choice, const std::shared_ptr<Capture>& capture,
                          std::string* description);

}  // namespace handset::wmp
