#include "RunningTime.h"

#include "capture/gst/GstHandle.h"

namespace capture {
namespace {

// The pad's time segment, or nothing.
EventPtr timeSegment(GstPad* pad, const GstSegment*& segment)
{
    EventPtr sticky(gst_pad_get_sticky_event(pad, GST_EVENT_SEGMENT, 0));
    if (!sticky)
        return sticky;
    gst_event_parse_segment(sticky.get(), &segment);
    if (segment->format != GST_FORMAT_TIME)
        return EventPtr();
    return sticky;
}

}  // namespace

GstClockTime toRunningTime(GstPad* pad, GstClockTime time)
{
    const GstSegment* segment = nullptr;
    const EventPtr sticky = timeSegment(pad, segment);
    return sticky ? gst_segment_to_running_time(segment, GST_FORMAT_TIME, time) : time;
}

GstClockTime fromRunningTime(GstPad* pad, GstClockTime runningTime)
{
    const GstSegment* segment = nullptr;
    const EventPtr sticky = timeSegment(pad, segment);
    return sticky ? gst_segment_position_from_running_time(segment, GST_FORMAT_TIME, runningTime) : runningTime;
}

}  // namespace capture
