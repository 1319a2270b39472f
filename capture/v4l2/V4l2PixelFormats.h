#pragma once

#include <cstdint>
#include <string>

namespace capture {

// GStreamer's name for a V4L2 pixel format ("YUY2" for YUYV, "MJPG" for Motion JPEG); empty
// for formats this program cannot take (compressed streams other than JPEG, vendor formats).
std::string gstFormatName(std::uint32_t fourcc);

}  // namespace capture
