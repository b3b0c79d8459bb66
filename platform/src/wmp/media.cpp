// The platform's headers come before GStreamer's, whose TRUE and FALSE are
// macros.
#include <handset/device.h>
#include <handset/wstring.h>

#include "wmp/media.h"

#include <filesystem>
#include <system_error>

namespace handset::wmp {

namespace {

// The General MIDI sound font of the system, which MIDI files are played
// with; the fluidsynth decoder finds some sound font by itself otherwise.
constexpr const char* kGeneralMidiSoundFont = "/usr/share/sounds/sf2/default-GM.sf2";
constexpr double kMidiGain = 0.5;

// A URL has a scheme of two or more characters before "://"; anything else
// is a device path (a drive letter never occurs on the phone).
bool isUrl(std::u16string_view text)
{
    const std::size_t colon = text.find(u"://");
    if (colon == std::u16string_view::npos || colon < 2)
        return false;
    for (std::size_t i = 0; i < colon; ++i) {
        const char16_t c = text[i];
        const bool letter = (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z');
        const bool other = (c >= u'0' && c <= u'9') || c == u'+' || c == u'-' || c == u'.';
        if (!letter && !(i > 0 && other))
            return false;
    }
    return true;
}

}  // namespace

ResolvedMedia resolveMedia(std::u16string_view url)
{
    if (isUrl(url))
        return {toUtf8(url), {}};
    const auto file = mapDevicePath(url);
    if (!file)
        return {{}, "not a path of the device"};
    std::error_code ec;
    if (!std::filesystem::exists(*file, ec))
        return {{}, "no such file"};
    gchar* uri = gst_filename_to_uri(file->c_str(), nullptr);
    if (!uri)
        return {{}, "not a path of the device"};
    ResolvedMedia resolved{uri, {}};
    g_free(uri);
    return resolved;
}

void synthesiseMidiWithGeneralMidi(GstElement* playbin)
{
    g_signal_connect(playbin, "element-setup", G_CALLBACK(+[](GstElement*, GstElement* element, gpointer) {
                         GstElementFactory* factory = gst_element_get_factory(element);
                         if (!factory || std::string_view(GST_OBJECT_NAME(factory)) != "fluiddec")
                             return;
                         g_object_set(element, "synth-gain", kMidiGain, nullptr);
                         if (g_file_test(kGeneralMidiSoundFont, G_FILE_TEST_EXISTS))
                             g_object_set(element, "soundfont", kGeneralMidiSoundFont, nullptr);
                     }),
                     nullptr);
}

}  // namespace handset::wmp
