#pragma once

#include "FramePainter.h"

#include "capture/gst/GstHandle.h"

#include <memory>

namespace capture {

// A live source of raw pictures in these fixed caps, one every frame time of the pipeline
// clock from the first on, each drawn by the painter straight into its buffer. Its timestamps
// are final only on its pad: a live source's first frame moves them all to where it came.
ElementPtr createPaintedSource(GstCaps* caps, std::unique_ptr<FramePainter> painter);

}  // namespace capture
