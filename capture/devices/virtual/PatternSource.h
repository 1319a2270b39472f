#pragma once

#include "FramePainter.h"
#include "capture/devices/PictureFields.h"

#include "capture/gst/GstHandle.h"
#include "capture/devices/VideoFormat.h"

#include <memory>
#include <string>

namespace capture {

// Where the buffer starts in running time, from the segment on the pad it passes (its
// timestamp as it is before any segment); GST_CLOCK_TIME_NONE when it has none.
GstClockTime bufferRunningTime(GstPad* pad, GstBuffer* buffer);

// Raises CaptureError, naming the device, when a virtual source cannot deliver the format: raw
// video GStreamer knows, even sizes from 16x16 to 4096x4096, a positive rate.
void checkPatternFormat(const std::string& device, const VideoFormat& format);

// A live bin with one "src" pad that delivers the format at its rate, time-stamped by the
// pipeline clock, each frame drawn by the painter. Frames are drawn as BGRx and converted inside
// the bin when the format asks for another layout.
// The caps say the fields and the pixel aspect the painter draws.
ElementPtr createPatternSource(const std::string& device, const VideoFormat& format,
                               std::unique_ptr<FramePainter> painter, const PictureFields& fields = {});

}  // namespace capture
