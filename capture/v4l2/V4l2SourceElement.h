#pragma once

#include "V4l2Formats.h"
#include "capture/gst/GstHandle.h"

#include <string>

namespace capture {

// A bin around the node's source for one format, with one "src" pad: raw video as the format
// names it, or image/jpeg for MJPG. The source is v4l2src, or the control's own
// (V4l2MappedSource.h) for a format libv4l2 converts, read through libv4l2, and on a node that
// captures only through the multi-planar API. Built element by element. Raises CaptureError
// when GStreamer's V4L2 plugin is missing.
//
// A virtual camera's raw pictures come from the control's own source, which lets go of the node
// while its program sends nothing and takes it again in whatever format the program feeds next;
// they are scaled and converted back to the chosen format, so a recording keeps its size.
ElementPtr createV4l2SourceElement(const std::string& path, const V4l2FormatChoice& choice, bool virtualCamera = false);

}  // namespace capture
