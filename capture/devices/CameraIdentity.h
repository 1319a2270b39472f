#pragma once

#include <filesystem>
#include <string>

namespace capture {

// What a capture device is reached through, as the kernel describes it.
struct NodeDescription {
    std::filesystem::path physicalDevice;  // see SysfsDevice.h; empty when unknown
    int nodeIndex = 0;                     // which of its device's nodes (sysfs "index")
    std::string driver;                    // VIDIOC_QUERYCAP's driver, card and bus_info
    std::string card;
    std::string busInfo;
};

// Which camera a device is, the same after it is unplugged and plugged in again and whatever
// /dev/video number it gets: for USB, vendor and product id with the serial number, or the port
// when the camera has no serial (two identical cameras on two ports are two cameras); for a
// PCI card, its slot; for anything else, driver, card and bus. A device with more than one
// capture node names the node too.
std::string cameraIdentity(const NodeDescription& node);

// The identity of a built-in device.
std::string builtInIdentity(const std::string& name);

// The sysfs "index" of a V4L2 node (/dev/video3): which of its device's nodes it is.
int nodeIndexOf(const std::string& nodePath);

}  // namespace capture
