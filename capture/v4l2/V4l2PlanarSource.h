#pragma once

#include "capture/devices/GstHandle.h"

#include <cstdint>
#include <string>

namespace capture {

// A live source element for a multi-planar capture node, where GStreamer 1.22's v4l2src drops
// every buffer whose plane starts after a data offset (its size check counts the offset in)
// and cannot stream through libv4l2's plugin. Memory-mapped streaming on the node itself; each
// picture is copied out from its data offset into a buffer of the caps' layout, stamped with
// the pipeline's running time of its capture. caps: one fixed format (raw video, or
// image/jpeg); a framerate in it is asked of the driver, and the driver's rate is what the
// caps then say. A failed ioctl or a vanished device is posted as an error naming the node.
ElementPtr createV4l2PlanarSource(const std::string& path, std::uint32_t fourcc, const GstCaps* caps);

}  // namespace capture
