// The making of the phone's stock sounds, at build time: a few short tones
// synthesised here and stored as WAV, as MP3 (encoded by GStreamer's LAME
// element) and as standard MIDI files. The library carries the result (see
// stock_sounds.h), so that making a device needs none of this.
#pragma once

#include <filesystem>
#include <string>

namespace handset::wmp {

// Writes Ring.wav, Alert.wav, Chimes.mp3, Beeps.mp3, Melody.mid and
// Fanfare.mid into `folder`. False, with what failed in *why, when a file
// cannot be written or the MP3 encoder is missing.
bool makeStockSounds(const std::filesystem::path& folder, std::string* why);

}  // namespace handset::wmp
