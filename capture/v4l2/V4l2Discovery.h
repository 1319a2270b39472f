#pragma once

#include "capture/devices/DeviceCatalogue.h"

namespace capture {

// What the machine has now: the capture nodes of v4l2NodeDirectory() in node order, the audio
// sources, then the built-in devices.
DeviceCatalogue discoverDevices();

}  // namespace capture
