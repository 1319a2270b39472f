#pragma once

#include "V4l2File.h"
#include "capture/devices/VideoFormat.h"

#include <cstdint>
#include <vector>

namespace capture {

// One way the device can deliver pictures, with the V4L2 code behind its GStreamer name.
struct V4l2FormatChoice {
    VideoFormat format;
    std::uint32_t fourcc = 0;
    // False when the driver does not list frame intervals and the rate was taken from the
    // streaming parameters or the TV standard; the source then leaves the rate to the driver.
    bool rateListed = true;
};

// Every pixel format x frame size x frame interval that the device lists, in the driver's
// order, the formats libv4l2 converts to included (marked converted). Formats without a GStreamer name are left out. Drivers that list no frame sizes (most
// TV cards) give the full picture of the current standard, as the driver adjusts it.
std::vector<V4l2FormatChoice> enumerateFormats(const V4l2File& file);

}  // namespace capture
