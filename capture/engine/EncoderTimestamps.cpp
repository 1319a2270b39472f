#include "EncoderTimestamps.h"

#include "RunningTime.h"
#include "capture/gst/GstHandle.h"
#include "capture/gst/PadProbe.h"

#include <memory>

namespace capture {
namespace {

struct EncoderClock {
    GstClockTime next = GST_CLOCK_TIME_NONE;  // running time
};

using ClockHandle = std::shared_ptr<EncoderClock>;

GstPadProbeReturn noteFirstPicture(GstPad* pad, GstPadProbeInfo* info, ClockHandle& clock)
{
    GstBuffer* buffer = gst_pad_probe_info_get_buffer(info);
    if (!GST_CLOCK_TIME_IS_VALID(clock->next) && GST_BUFFER_PTS_IS_VALID(buffer))
        clock->next = toRunningTime(pad, GST_BUFFER_PTS(buffer));
    return GST_PAD_PROBE_OK;
}

GstPadProbeReturn stampPicture(GstPad* pad, GstPadProbeInfo* info, ClockHandle& clock)
{
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
    PadPtr input(gst_element_get_static_pad(encoder, "sink"));
    PadPtr output(gst_element_get_static_pad(encoder, "src"));
    if (!input || !output)
        return;
    const auto clock = std::make_shared<EncoderClock>();
    addProbe(input.get(), GST_PAD_PROBE_TYPE_BUFFER, noteFirstPicture, clock);
    addProbe(output.get(), GST_PAD_PROBE_TYPE_BUFFER, stampPicture, clock);
}

}  // namespace capture
