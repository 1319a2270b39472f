#pragma once

#include <gst/gst.h>

namespace capture {

// Sound samples and picture frames against time in nanoseconds: every conversion between them
// is one of these, so each rounds the same way.

// The time `samples` take at `rate` a second, to the nearest nanosecond.
inline GstClockTime samplesToTime(guint64 samples, guint64 rate)
{
    return rate > 0 ? gst_util_uint64_scale_round(samples, GST_SECOND, rate) : 0;
}

// The samples that fill `time` at `rate` a second, to the nearest sample.
inline guint64 timeToSamples(GstClockTime time, guint64 rate)
{
    return gst_util_uint64_scale_round(time, rate, GST_SECOND);
}

// One frame's time at numerator/denominator frames a second; 0 at no rate.
inline GstClockTime frameTime(guint64 numerator, guint64 denominator)
{
    return numerator > 0 ? gst_util_uint64_scale(GST_SECOND, denominator, numerator) : 0;
}

}  // namespace capture
