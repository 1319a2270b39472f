#pragma once

#include "capture/gst/GstHandle.h"

#include <string>

namespace capture {

// An encoder made for live capture into AVI on a small machine: each encoder the control
// knows gets settings that keep up with the camera and start giving pictures at once, and
// constant quality where it has it, so a still picture costs little. Null when the factory
// is not installed. The settings are only a starting point: the encoder's page shows them as
// its defaults, and what the user sets there goes over them.
ElementPtr makeLiveEncoder(const std::string& factory);

}  // namespace capture
