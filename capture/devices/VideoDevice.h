#pragma once

#include "CameraIdentity.h"
#include "DeviceControls.h"
#include "capture/gst/GstHandle.h"
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
    // Every control the device has: its page shows them, the ten picture settings are a map
    // over them (CameraSettings).
    virtual DeviceControls& controls() = 0;
    virtual Tuner* tuner() = 0;  // nullptr when the device has none

    // A new element (usually a bin) with one "src" pad that delivers raw video, or image/jpeg
    // for an "MJPG" format, as the format says, live and time-stamped. The input, format and
    // TV standard are set on the device before it streams. Raises CaptureError when the device
    // cannot be opened.
    virtual ElementPtr createSource(int input, const VideoFormat& format) = 0;

    // The physical device this one belongs to (see SysfsDevice.h); an audio device with the
    // same answer is this device's own sound, as a TV card's sound is. Empty when unknown.
    virtual std::string physicalDevice() const { return {}; }
    // The kernel node the device is reached through ("/dev/video2"): its identity for as long
    // as it is plugged in. Empty for a device without one (the built-in devices).
    virtual std::string node() const { return {}; }
    // Which camera this is, the same after re-plugging (CameraIdentity.h): what its kept
    // settings are filed under.
    virtual std::string identity() const { return builtInIdentity(name()); }
    // A virtual camera (v4l2loopback): its pictures are another program's, while it runs.
    virtual bool isVirtualCamera() const { return false; }
    // A camera whose pictures come through PipeWire, which shares them with other programs.
    virtual bool sharedThroughPipeWire() const { return false; }
    // False once a device with a node was pulled out while it was listed.
    virtual bool connected() const { return true; }
};

class AudioDevice {
public:
    virtual ~AudioDevice() = default;
    virtual std::string name() const = 0;
    // A new live element with one "src" pad of raw audio.
    virtual ElementPtr createSource() = 0;

    // See VideoDevice::physicalDevice.
    virtual std::string physicalDevice() const { return {}; }
    // A microphone is never played back: its sound would come round again through the speakers.
    virtual bool isMicrophone() const { return false; }
};

}  // namespace capture
