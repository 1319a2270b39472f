#pragma once

#include "capture/devices/VideoDevice.h"

#include <memory>

namespace capture {

// The built-in devices, listed after the real ones so that every program runs on any machine:
// "Test Pattern Camera", "Test Pattern TV Tuner" and "Test Tone", the tuner's sound.
struct VirtualDevices {
    std::unique_ptr<VideoDevice> camera;
    std::unique_ptr<VideoDevice> tuner;
    std::unique_ptr<AudioDevice> tone;
};

VirtualDevices createVirtualDevices();

}  // namespace capture
