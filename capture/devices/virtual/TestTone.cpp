#include "TestTone.h"

#include "PatternSource.h"
#include "capture/devices/GstElements.h"

#include "capture/contract/CaptureError.h"

#include <utility>

namespace capture {

namespace {

struct MuteState {
    std::shared_ptr<const Studio> studio;
};

// Mute is read per buffer, so it takes effect within one buffer (about 21 ms) on a source that
// is already playing.
GstPadProbeReturn silenceWhenMuted(GstPad*, GstPadProbeInfo* info, gpointer data)
{
    if (!static_cast<MuteState*>(data)->studio->muted())
        return GST_PAD_PROBE_OK;
    GstBuffer* buffer = gst_buffer_make_writable(gst_pad_probe_info_get_buffer(info));
    GST_PAD_PROBE_INFO_DATA(info) = buffer;
    gst_buffer_memset(buffer, 0, 0, gst_buffer_get_size(buffer));
    return GST_PAD_PROBE_OK;
}

}  // namespace

TestTone::TestTone(std::shared_ptr<const Studio> studio) : m_studio(std::move(studio)) {}

std::string TestTone::name() const
{
    return "Test Tone";
}

ElementPtr TestTone::createSource()
{
    ElementPtr bin = makeElement("bin");
    ElementPtr tone = makeElement("audiotestsrc");
    g_object_set(tone.get(), "is-live", TRUE, "freq", 1000.0, "volume", 0.5, nullptr);
    gst_util_set_object_arg(G_OBJECT(tone.get()), "wave", "sine");
    ElementPtr format = makeElement("capsfilter");
    CapsPtr caps(gst_caps_new_simple("audio/x-raw", "format", G_TYPE_STRING, "S16LE", "rate", G_TYPE_INT, 48000,
                                     "channels", G_TYPE_INT, 2, "layout", G_TYPE_STRING, "interleaved", nullptr));
    g_object_set(format.get(), "caps", caps.get(), nullptr);
    gst_bin_add_many(GST_BIN(bin.get()), tone.get(), format.get(), nullptr);
    if (!gst_element_link(tone.get(), format.get()))
        throw CaptureError("The " + name() + " cannot produce 48 kHz stereo sound.");

    PadPtr out(gst_element_get_static_pad(format.get(), "src"));
    gst_pad_add_probe(out.get(), GST_PAD_PROBE_TYPE_BUFFER, silenceWhenMuted, new MuteState{m_studio},
                      [](gpointer data) { delete static_cast<MuteState*>(data); });
    gst_element_add_pad(bin.get(), gst_ghost_pad_new("src", out.get()));
    return bin;
}

}  // namespace capture
