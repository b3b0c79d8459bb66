// What every player of the device sets up the same way: where its media is,
// and how it synthesises MIDI.
#pragma once

#include <string>
#include <string_view>

#include <gst/gst.h>

namespace handset::wmp {

// A URL as it is, or a device path as the file URI of the device's file; an
// empty uri, with the reason, when the file cannot be found.
struct ResolvedMedia {
    std::string uri;
    std::string reason;
};
ResolvedMedia resolveMedia(std::u16string_view url);

// MIDI is synthesised with the system's General MIDI sound font, loud
// enough to sound like the recorded tones beside it: the synthesiser's own
// gain leaves room for an orchestra, which a ring tone is not. Applies to
// each MIDI decoder `playbin` makes from now on.
void synthesiseMidiWithGeneralMidi(GstElement* playbin);

}  // namespace handset::wmp
