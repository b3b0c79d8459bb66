// The floor of the player benchmark: the least a program can do to play a
// file, GStreamer's playbin with a real-time sink, and nothing else.
//
//   playbin_floor FILE MARKER
//
// Creates MARKER when the first audio buffer reaches the sink, so that the
// benchmark sees that moment exactly as it sees a captured stream begin.
#include <fcntl.h>
#include <unistd.h>

#include <gst/gst.h>

namespace {

GstPadProbeReturn firstBuffer(GstPad*, GstPadProbeInfo*, gpointer marker)
{
    ::close(::open(static_cast<const char*>(marker), O_WRONLY | O_CREAT | O_CLOEXEC, 0644));
    return GST_PAD_PROBE_REMOVE;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc != 3)
        return 2;
    gst_init(nullptr, nullptr);
    GstElement* playbin = gst_element_factory_make("playbin", nullptr);
    GstElement* sink = gst_element_factory_make("fakesink", nullptr);
    g_object_set(sink, "sync", TRUE, nullptr);
    GstPad* pad = gst_element_get_static_pad(sink, "sink");
    gst_pad_add_probe(pad, GST_PAD_PROBE_TYPE_BUFFER, firstBuffer, argv[2], nullptr);
    gst_object_unref(pad);
    gchar* uri = gst_filename_to_uri(argv[1], nullptr);
    g_object_set(playbin, "uri", uri, "audio-sink", sink, nullptr);
    g_free(uri);
    gst_element_set_state(playbin, GST_STATE_PLAYING);
    GstBus* bus = gst_element_get_bus(playbin);
    GstMessage* end = gst_bus_timed_pop_filtered(bus, GST_CLOCK_TIME_NONE,
                                                 static_cast<GstMessageType>(GST_MESSAGE_EOS | GST_MESSAGE_ERROR));
    gst_message_unref(end);
    gst_object_unref(bus);
    gst_element_set_state(playbin, GST_STATE_NULL);
    gst_object_unref(playbin);
    return 0;
}
