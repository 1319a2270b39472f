#pragma once

#include <gst/gst.h>

namespace capture {

// Between a buffer's time on a pad and the pipeline's running time, through the time segment the
// pad carries now. A pad without one (nothing has flowed yet, or not in time) takes the time as
// it is.
GstClockTime toRunningTime(GstPad* pad, GstClockTime time);
GstClockTime fromRunningTime(GstPad* pad, GstClockTime runningTime);

}  // namespace capture
