// Plimsey's fixed numbers.
#pragma once

#include <cstddef>

#include <handset/types.h>

// The media path buffer holds this many characters and its terminator.
constexpr std::size_t kMaxMediaPath = 255;

// The thread timer that ends the player, and its period.
constexpr UINT kQuitTimer = 1;
constexpr UINT kQuitTimerMilliseconds = 8000;

// Playback stops once the position has reached this many seconds.
constexpr double kMaxPlaySeconds = 5.0;
