#pragma once

#include "V4l2MappedStream.h"
#include "capture/gst/GstHandle.h"

#include <cstdint>
#include <optional>
#include <string>

namespace capture {

// A live source element that streams a node with memory-mapped buffers itself (V4l2MappedStream),
// where GStreamer 1.22's v4l2src cannot:
// - a multi-planar node (Api::MultiPlanar, straight to the kernel): v4l2src drops every buffer
//   whose plane starts after a data offset (its size check counts the offset in) and cannot
//   stream through libv4l2's plugin;
// - a format only libv4l2's conversion makes (Api::SinglePlanar, through libv4l2): v4l2src
//   goes through libv4l2 only when the process environment says so as it is made.
// Each picture is copied out from its data offset into a buffer of the caps' layout, stamped
// with the pipeline's running time of its capture. caps: one fixed format (raw video, or
// image/jpeg); a framerate in it is asked of the driver, and the driver's rate is what the caps
// then say. field: the layout of the fields to ask the driver for (enum v4l2_field). Fields
// that come in buffers of their own are woven into frames in the order the caps' field-order
// names; fields stored one after the other in one buffer (raw packed formats only; others are
// refused) as the layout the driver took says. A failed ioctl or a vanished device is posted as an error naming the node, its
// step and errno in the message's details (see streamFailureOf).
ElementPtr createV4l2MappedSource(const std::string& path, V4l2MappedStream::Api api, std::uint32_t fourcc,
                                  const GstCaps* caps, std::uint32_t field = V4L2_FIELD_ANY);

// The refusal an error message of this element carries in its details; nothing for any other
// element's.
std::optional<DeviceFailure> streamFailureOf(const GstStructure* details);

}  // namespace capture
