#include "TestTone.h"

#include "PatternSource.h"
#include "SyncMark.h"
#include "capture/devices/GstElements.h"
#include "TestPatternTvTuner.h"

#include "capture/devices/DeviceFailure.h"
#include "capture/gst/MediaTime.h"
#include "capture/gst/PadProbe.h"

#include <cmath>
#include <numbers>

namespace capture {

namespace {

constexpr int kRate = 48000;
constexpr int kChannels = 2;
constexpr double kVolume = 0.5;

// Replaces the samples of the buffer that fall in a beep with the beep's pitch at the tone's
// own level, so the level meter reads the same through a mark.
GstPadProbeReturn beep(GstPad* pad, GstPadProbeInfo* info)
{
    GstBuffer* buffer = gst_pad_probe_info_get_buffer(info);
    const GstClockTime start = bufferRunningTime(pad, buffer);
    if (!GST_CLOCK_TIME_IS_VALID(start))
        return GST_PAD_PROBE_OK;
    const std::uint64_t frames = gst_buffer_get_size(buffer) / (sizeof(std::int16_t) * kChannels);
    const std::uint64_t first = timeToSamples(start, kRate);
    const std::uint64_t period = timeToSamples(syncMarkPeriodNs, kRate);
    const std::uint64_t length = timeToSamples(syncBeepNs, kRate);
    const std::uint64_t intoPeriod = first % period;
    if (intoPeriod >= length && intoPeriod + frames <= period)
        return GST_PAD_PROBE_OK;

    buffer = gst_buffer_make_writable(buffer);
    GST_PAD_PROBE_INFO_DATA(info) = buffer;
    GstMapInfo map;
    if (!gst_buffer_map(buffer, &map, GST_MAP_WRITE))
        return GST_PAD_PROBE_OK;
    auto* samples = reinterpret_cast<std::int16_t*>(map.data);
    for (std::uint64_t i = 0; i < frames; ++i) {
        const std::uint64_t at = (first + i) % period;
        if (at >= length)
            continue;
        const double value = kVolume * 32767.0 * std::sin(2 * std::numbers::pi * syncBeepHz * double(at) / kRate);
        for (int c = 0; c < kChannels; ++c)
            samples[i * kChannels + std::uint64_t(c)] = static_cast<std::int16_t>(std::lround(value));
    }
    gst_buffer_unmap(buffer, &map);
    return GST_PAD_PROBE_OK;
}

}  // namespace

std::string TestTone::name() const
{
    return "Test Tone";
}

ElementPtr TestTone::createSource()
{
    ElementPtr bin = makeElement("bin");
    ElementPtr tone = makeElement("audiotestsrc");
    g_object_set(tone.get(), "is-live", TRUE, "freq", 1000.0, "volume", kVolume, nullptr);
    gst_util_set_object_arg(G_OBJECT(tone.get()), "wave", "sine");
    ElementPtr format = makeElement("capsfilter");
    CapsPtr caps(gst_caps_new_simple("audio/x-raw", "format", G_TYPE_STRING, "S16LE", "rate", G_TYPE_INT, kRate,
                                     "channels", G_TYPE_INT, kChannels, "layout", G_TYPE_STRING, "interleaved", nullptr));
    g_object_set(format.get(), "caps", caps.get(), nullptr);
    gst_bin_add_many(GST_BIN(bin.get()), tone.get(), format.get(), nullptr);
    if (!gst_element_link(tone.get(), format.get()))
        throw DeviceError({.kind = DeviceFailure::Kind::ToneFormatRefused, .device = name()});

    PadPtr out(gst_element_get_static_pad(format.get(), "src"));
    addProbe(out.get(), GST_PAD_PROBE_TYPE_BUFFER, beep);
    gst_element_add_pad(bin.get(), gst_ghost_pad_new("src", out.get()));
    return bin;
}

std::string TestTone::physicalDevice() const
{
    return TestPatternTvTuner::Card;
}

}  // namespace capture
