#include "EncoderTimestamps.h"

#include "RunningTime.h"
#include "capture/gst/GstHandle.h"

namespace capture {
namespace {

struct EncoderClock {
    GstClockTime next = GST_CLOCK_TIME_NONE;  // running time
};

GstPadProbeReturn noteFirstPicture(GstPad* pad, GstPadProbeInfo* info, gpointer data)
{
    auto* clock = static_cast<EncoderClock*>(data);
    GstBuffer* buffer = gst_pad_probe_info_get_buffer(info);
    if (!GST_CLOCK_TIME_IS_VALID(clock->next) && GST_BUFFER_PTS_IS_VALID(buffer))
        clock->next = toRunningTime(pad, GST_BUFFER_PTS(buffer));
    return GST_PAD_PROBE_OK;
}

GstPadProbeReturn stampPicture(GstPad* pad, GstPadProbeInfo* info, gpointer data)
{
    auto* clock = static_cast<EncoderClock*>(data);
    GstBuffer* buffer = gst_pad_probe_info_get_buffer(info);
    // libav's "no time" comes through as the lowest 64-bit integer, which GStreamer reads as
    // an enormous time rather than none.
    const bool timed = GST_BUFFER_PTS_IS_VALID(buffer) && GST_BUFFER_PTS(buffer) <= GstClockTime(G_MAXINT64);
    const GstClockTime duration = GST_BUFFER_DURATION_IS_VALID(buffer) ? GST_BUFFER_DURATION(buffer) : 0;
    if (timed || !GST_CLOCK_TIME_IS_VALID(clock->next)) {
        if (timed)
            clock->next = toRunningTime(pad, GST_BUFFER_PTS(buffer)) + duration;
        return GST_PAD_PROBE_OK;
    }
    const GstClockTime position = fromRunningTime(pad, clock->next);
    buffer = gst_buffer_make_writable(buffer);
    GST_PAD_PROBE_INFO_DATA(info) = buffer;
    GST_BUFFER_PTS(buffer) = GST_BUFFER_DTS(buffer) = position;
    clock->next += duration;
    return GST_PAD_PROBE_OK;
}

}  // namespace

void stampUntimedPictures(GstElement* encoder)
{
    auto* clock = new EncoderClock;
    g_object_set_data_full(G_OBJECT(encoder), "capture-encoder-clock", clock,
                           [](gpointer data) { delete static_cast<EncoderClock*>(data); });
    PadPtr input(gst_element_get_static_pad(encoder, "sink"));
    PadPtr output(gst_element_get_static_pad(encoder, "src"));
    if (input && output) {
        gst_pad_add_probe(input.get(), GST_PAD_PROBE_TYPE_BUFFER, noteFirstPicture, clock, nullptr);
        gst_pad_add_probe(output.get(), GST_PAD_PROBE_TYPE_BUFFER, stampPicture, clock, nullptr);
    }
}

}  // namespace capture
