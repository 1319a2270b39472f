#pragma once

#include "capture/devices/DeviceCatalogue.h"

namespace capture {

// The device object for a V4L2 node that the device monitor found: the full V4L2 device
// (inputs, picture settings, tuner) when the node can be opened, else the monitor's own view
// of it. Pass it to DeviceCatalogue::discover.
std::unique_ptr<VideoDevice> makeV4l2CatalogueDevice(GstHandle<GstDevice> device);

}  // namespace capture
