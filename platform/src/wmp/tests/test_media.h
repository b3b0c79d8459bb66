// Media the tests make for themselves (nothing is fetched), and the means to
// measure what a player wrote to a capture folder.
#pragma once

#include <filesystem>
#include <optional>
#include <vector>

namespace wmp_test {

// A sine tone of `seconds` as a 16-bit mono WAV file at 22050 Hz.
void writeToneWav(const std::filesystem::path& file, double seconds, double frequency = 440.0);

// A sine tone of `seconds` encoded with GStreamer's own encoders. False when
// the encoder is missing or fails.
enum class Codec { Mp3, Wma };
bool encodeTone(const std::filesystem::path& file, double seconds, Codec codec);

// A standard MIDI file: a piano playing `notes` quarter notes at 120 beats
// a minute (half a second each).
void writeMidi(const std::filesystem::path& file, int notes);

// A 16-bit PCM WAV file as the player's capture writes it.
struct Capture {
    double seconds = 0;  // length of the audio held
    int peak = 0;        // largest absolute sample
    int rate = 0;
    int channels = 0;
};
std::optional<Capture> readCapture(const std::filesystem::path& file);

// The files in a folder (none when it does not exist), sorted by name.
std::vector<std::filesystem::path> filesIn(const std::filesystem::path& folder);

// Decodes a file as fast as it can with GStreamer (not in real time) and
// measures it; nothing when it cannot be decoded.
std::optional<Capture> decodeFile(const std::filesystem::path& file);

// Whether GStreamer has an element of that name here.
bool hasElement(const char* factory);

}  // namespace wmp_test
