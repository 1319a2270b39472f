#pragma once

#include "V4l2Fields.h"
#include "V4l2File.h"
#include "capture/devices/VideoFormat.h"

#include <linux/videodev2.h>

#include <cstdint>
#include <optional>
#include <vector>

namespace capture {

// One way the device can deliver pictures, with the V4L2 code behind its GStreamer name.
struct V4l2FormatChoice {
    VideoFormat format;
    std::uint32_t fourcc = 0;
    // False when the driver does not list frame intervals and the rate was taken from the
    // streaming parameters or the TV standard; the source then leaves the rate to the driver.
    bool rateListed = true;
    // Known once the device has taken the format (V4l2VideoDevice::prepareStreaming): the
    // driver's layout of the fields (enum v4l2_field), which the stream asks for again as it
    // starts, and what it means.
    std::uint32_t driverField = V4L2_FIELD_ANY;
    PictureFields fields;
};

// The buffer type the node captures with: the multi-planar one only on a node that lacks the
// single-planar API (libv4l2's plugin gives an mplane-only node the single-planar one).
std::uint32_t captureBufferType(const V4l2File& file);

// A request for VIDIOC_S_FMT or _TRY_FMT in the buffer type's own layout (pix or pix_mp).
v4l2_format formatRequest(std::uint32_t type, std::uint32_t fourcc, std::uint32_t width, std::uint32_t height);

// Every pixel format x frame size x frame interval that the device lists for its current input
// and standard, in the driver's order, the formats libv4l2 converts to included (marked
// converted). Formats without a GStreamer name are left out. Drivers that list no frame sizes
// (most TV cards) give the full picture of the current standard, as the driver adjusts it.
std::vector<V4l2FormatChoice> enumerateFormats(const V4l2File& file);

// The format the driver has set now (VIDIOC_G_FMT and VIDIOC_G_PARM): what the device sends
// when nobody chose. Nothing when it cannot say or has no GStreamer name for it.
std::optional<V4l2FormatChoice> currentFormat(const V4l2File& file);

// The list a person chooses from: the current format first; then, for each pixel format (the
// current one first, the device's own before the converted ones, otherwise in the driver's
// order) and each of its sizes in the driver's order, the fastest rate and 30 and 25 fps where
// the driver lists them too. A range of sizes gives what the driver makes of each size asked.
std::vector<V4l2FormatChoice> listedFormats(const V4l2File& file);

// The choice behind a format taken from either list; nothing when the device does not offer it now.
std::optional<V4l2FormatChoice> offeredFormat(const V4l2File& file, const VideoFormat& format);

}  // namespace capture
