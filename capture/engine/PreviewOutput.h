#pragma once

#include "capture/gst/GstHandle.h"

#include <atomic>
#include <cstdint>
#include <functional>

namespace capture {

class FrameSink;

// The end of the preview branch: an appsink that wraps each BGRx sample in a QImage without
// copying (the image keeps the sample mapped until its last copy goes) and hands it to the
// FrameSink on the streaming thread. It keeps only the newest frame, so a slow view never
// holds up the capture.
//
// onFrame runs after each frame was handed over (counting, first-frame notice).
ElementPtr createPreviewOutput(FrameSink& sink, std::function<void()> onFrame);

}  // namespace capture
