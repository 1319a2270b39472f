#include "TestTone.h"

#include "PatternSource.h"
#include "capture/devices/GstElements.h"
#include "TestPatternTvTuner.h"

#include "capture/contract/CaptureError.h"

namespace capture {

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
    gst_element_add_pad(bin.get(), gst_ghost_pad_new("src", out.get()));
    return bin;
}

std::string TestTone::physicalDevice() const
{
    return TestPatternTvTuner::Card;
}

}  // namespace capture
