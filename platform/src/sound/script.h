// The ring script: the notation of "Script" in a ring tone's sound key.
// docs/sound.md has the table of its letters.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace handset::sound {

struct Step {
    enum class Kind {
        AudioOn,    // a: the ring's audio comes on
        Play,       // p: the tone plays once
        Vibrate,    // vN: vibrate N seconds; v0: vibrate with each tone from here on
        Wait,       // wN: wait N seconds
        Crescendo,  // cN: from here on the tone plays at N percent of its loudness so far
        Repeat,     // r: go back to where the audio came on, until the call ends
    };
    Kind kind;
    unsigned number = 0;  // N; 0 when the letter has none
};

struct Script {
    std::vector<Step> steps;
    std::string ignored;  // letters that mean nothing here, for the log
};

// Reads a script; letters are taken in either case, a number is the
// decimal digits right after its letter (at most kMaxScriptNumber), and
// anything else is skipped and reported in `ignored`.
Script parseScript(std::u16string_view text);
inline constexpr unsigned kMaxScriptNumber = 3600;

// Where the step at `index` goes next: the following step, or for a repeat
// the step after the last "a" before it (the start when there is none).
// steps.size() when the script has ended: also when a repeat would go round
// steps that take no time, which would never let the call go.
std::size_t nextStep(const std::vector<Step>& steps, std::size_t index);

}  // namespace handset::sound
