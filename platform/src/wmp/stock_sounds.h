// The phone's stock sounds: a few short tones in each format the phone
// offers (WAV, MP3, MIDI), made when the platform is built and written into
// every new device, so that nothing has to be fetched from anywhere.
#pragma once

#include <cstddef>
#include <filesystem>
#include <string>

#include "core/embedded_files.h"

namespace handset::wmp {

// Writes the stock sounds into `folder` (a device's \Windows): Ring.wav and
// Alert.wav (the factory's ring and message sounds), Chimes.mp3, Beeps.mp3,
// Melody.mid and Fanfare.mid. An existing file of the same name is
// replaced. False, with the file that failed in *why.
bool writeStockSounds(const std::filesystem::path& folder, std::string* why);

// All of them, made at build time (stock_sounds_data.cpp, generated).
extern const EmbeddedFile kStockSoundFiles[];
extern const std::size_t kStockSoundFileCount;

}  // namespace handset::wmp
