#pragma once

#include "capture/devices/VideoFormat.h"
#include "capture/gst/GstHandle.h"

#include <optional>
#include <string>
#include <vector>

namespace capture {

// A camera that a PipeWire session manager (WirePlumber's V4L2 monitor) publishes as a
// Video/Source node: every program that takes the camera through it gets the same pictures at
// once, while a direct open is refused as long as one of them streams.
struct PipeWireCamera {
    std::string v4l2Node;  // the V4L2 node it wraps ("/dev/video0")
    std::string target;    // what pipewiresrc's target-object takes: the node's serial
    GstHandle<GstDevice> device;  // GStreamer's entry for it: its formats, and its source
};

// The cameras a PipeWire session manages now, asked of GStreamer's PipeWire device provider.
// Empty without PipeWire: no plugin, no daemon, or no camera nodes (a daemon without a session
// manager publishes none). Takes a few milliseconds; blocks while the daemon answers.
std::vector<PipeWireCamera> findPipeWireCameras();

// The node that wraps this V4L2 node, when PipeWire manages it.
std::optional<PipeWireCamera> pipeWireCameraOf(const std::string& v4l2Node);

// Whether PipeWire carries the camera's pictures in this format (its node lists it).
bool carries(const PipeWireCamera& camera, const VideoFormat& format);

// A bin with one "src" pad that delivers the camera's pictures through PipeWire in exactly this
// format, live, each stamped with the time the camera took it. The format must be named: left
// open, PipeWire 0.3.65 settles on the first rate it lists, 1 fps on most cameras. While
// another program streams the camera, PipeWire keeps the format that program chose, and a
// different one is not negotiated.
ElementPtr createPipeWireSource(const PipeWireCamera& camera, const VideoFormat& format);

}  // namespace capture
