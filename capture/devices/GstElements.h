#pragma once

#include "capture/gst/GstHandle.h"
#include "VideoFormat.h"

#include <initializer_list>

namespace capture {

// A new element of this factory. Raises CaptureError naming the element and the packages that
// bring it when GStreamer has no such factory.
ElementPtr makeElement(const char* factory);

// A bin of these elements linked in this order, with one "src" pad: the last one's. Nothing
// when two of them do not link.
ElementPtr sourceBin(std::initializer_list<ElementPtr> chain);

// What a device's format looks like on a pad: image/jpeg for Motion JPEG, raw video in the
// format's own layout otherwise. The rate is pinned only when the device listed it.
CapsPtr capsOf(const VideoFormat& format, bool withRate);

// The running time of a playing element now, by its clock: none while it has no clock, 0 before
// its base time.
GstClockTime runningTimeNow(GstElement* element);

}  // namespace capture
