#pragma once

#include <filesystem>
#include <string>

namespace capture {

// The physical device (a PCI card, a USB device) that a kernel class entry such as
// /sys/class/video4linux/video0 or /sys/class/sound/card1 belongs to, as a sysfs path; empty
// when the entry does not say. A USB device's interfaces count as the device itself, so a
// USB TV stick's video node and its sound card meet, though the kernel binds them to
// different interfaces.
std::string physicalDevice(const std::filesystem::path& classEntry);

// The physical device of a V4L2 node (/dev/video0, or a link to it) and of ALSA card N.
std::string physicalDeviceOfVideoNode(const std::string& nodePath);
std::string physicalDeviceOfSoundCard(int card);

}  // namespace capture
