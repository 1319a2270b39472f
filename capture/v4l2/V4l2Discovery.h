#pragma once

#include "capture/devices/DeviceCatalogue.h"
#include "capture/devices/DeviceWatch.h"

#include <memory>

namespace capture {

// What the machine has now: the capture nodes of v4l2NodeDirectory() in node order, the audio
// sources, then the built-in devices.
DeviceCatalogue discoverDevices();

// Hot-plug of the capture nodes of v4l2NodeDirectory(), told on the calling (GUI) thread.
std::unique_ptr<DeviceWatch> watchV4l2Nodes();

}  // namespace capture
