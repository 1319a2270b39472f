#pragma once

#include <string>

namespace capture {

// One way a device can deliver pictures on one input.
struct VideoFormat {
    std::string pixelFormat;  // GStreamer's name: "YUY2", "BGRx", "I420"; "MJPG" for Motion JPEG
    int width = 0;
    int height = 0;
    int fpsNumerator = 30;
    int fpsDenominator = 1;
    // Made in software from another format the device delivers (libv4l2's conversion of a
    // Bayer or vendor format), rather than delivered by the device itself.
    bool converted = false;

    // "YUY2 640x480 30 fps", "NV12 1920x1080 29.97 fps": the name the control lists.
    std::string name() const;

    bool operator==(const VideoFormat&) const = default;
};

}  // namespace capture
