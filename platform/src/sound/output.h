// One sounding thing of the phone (a ring, a notification): a playbin that
// plays its tone as often as asked, at the loudness asked, into the output
// HANDSET_AUDIO chooses, and, when capturing, the recording of everything
// it sounded on the device's timeline.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include <gst/gst.h>

#include "wmp/audio_output.h"
#include "wmp/wav_file.h"

namespace handset::sound {

// The recording of one ring or notification: what the speaker gave out from
// its start, silence included, in the format of every capture (44.1 kHz,
// stereo, 16 bit). The audio of a play arrives faster than it sounds; it is
// kept until the device's time reaches it, so that the file ends where the
// sound was stopped.
class Recording {
public:
    static constexpr std::uint32_t kRate = 44100;
    static constexpr std::uint16_t kChannels = 2;

    // Creates `folder`/`stem`.wav, or `stem`-2.wav and so on when it exists.
    bool open(const std::filesystem::path& folder, const std::string& stem);
    const std::filesystem::path& file() const { return file_; }

    // A play begins at `frame` of the timeline; its audio follows.
    void beginPlay(std::uint64_t frame);
    void onAudio(const void* data, std::size_t bytes);  // streaming thread
    std::uint64_t playFrames();
    // Writes the timeline up to `frame`: the plays' audio, silence between.
    void writeUpTo(std::uint64_t frame);

private:
    std::mutex mutex_;
    std::filesystem::path file_;
    wmp::WavStream wav_;
    std::uint64_t written_ = 0;      // frames in the file
    std::uint64_t playStart_ = 0;    // frame at which `play_` begins
    std::vector<std::int16_t> play_;  // the current play's samples
};

// How one play ended.
struct PlayResult {
    bool played = false;         // the media reached its end, or the play was stopped
    std::string failure;         // why not, when not
    std::uint64_t frames = 0;    // when recording: the play's length in frames
};

class Output {
public:
    // What the sound is, for the capture's file name: "ring-call3-+4915...".
    explicit Output(std::string captureStem);
    ~Output();
    Output(const Output&) = delete;
    Output& operator=(const Output&) = delete;

    // False, with the reason, when nothing can sound (no GStreamer).
    bool ready(std::string* why) const;
    Recording* recording() { return recording_ ? &*recording_ : nullptr; }
    const std::string& description() const { return description_; }

    // Plays `uri` once from its start at linear `gain`, at `frame` of the
    // timeline, and returns when it has played out, failed or `stopping`
    // was set. `firstAudio` is called when its first buffer reaches the sink.
    PlayResult play(const std::string& uri, double gain, std::uint64_t frame, const std::atomic<bool>& stopping,
                    const std::function<void()>& firstAudio);
    // Has the play in progress look at `stopping` again: whoever sets it
    // calls this after, since a play waits for nothing but its end and this.
    void interrupt();

    struct Pipeline;

private:
    static std::unique_ptr<Pipeline> makePipeline(bool capture, const wmp::AudioChoice& live, std::string& failure);
    void onBuffer(GstBuffer* buffer);   // streaming threads
    void onEnd(GstMessage* message);    // the end of the media or an error, where it is posted

    std::unique_ptr<Pipeline> pipeline_;  // null: nothing can sound
    std::string kind_;                    // of its sink: "capture", "auto", "none"
    std::string description_;
    std::string failure_;
    std::optional<Recording> recording_;
    // What the streaming threads tell the play in progress.
    std::mutex playMutex_;
    std::condition_variable ended_;
    std::function<void()> firstAudio_;  // cleared once called
    std::optional<std::string> end_;    // once it has ended: empty at the media's end, else why it failed
};

}  // namespace handset::sound
