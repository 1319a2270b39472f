#pragma once

#include "CameraSettings.h"
#include "GstHandle.h"
#include "Tuner.h"
#include "VideoFormat.h"

#include <string>
#include <vector>

namespace capture {

// A source of pictures: a V4L2 node or one of the built-in virtual devices.
class VideoDevice {
public:
    virtual ~VideoDevice() = default;

    virtual std::string name() const = 0;
    virtual std::vector<std::string> inputs() = 0;
    virtual std::vector<VideoFormat> formats(int input) = 0;
    virtual CameraSettings& settings() = 0;
    virtual Tuner* tuner() = 0;  // nullptr when the device has none

    // A new element (usually a bin) with one "src" pad that delivers raw video, or image/jpeg
    // for an "MJPG" format, as the format says, live and time-stamped. The input, format and
    // TV standard are set on the device before it streams. Raises CaptureError when the device
    // cannot be opened.
    virtual ElementPtr createSource(int input, const VideoFormat& format) = 0;
};

class AudioDevice {
public:
    virtual ~AudioDevice() = default;
    virtual std::string name() const = 0;
    // A new live element with one "src" pad of raw audio.
    virtual ElementPtr createSource() = 0;
};

}  // namespace capture
