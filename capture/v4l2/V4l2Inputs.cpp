#include "V4l2Inputs.h"

#include "capture/devices/SysfsDevice.h"

#include <linux/videodev2.h>

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>

namespace capture {
namespace {

std::string text(const __u8* field, std::size_t size)
{
    const auto* chars = reinterpret_cast<const char*>(field);
    return std::string(chars, strnlen(chars, size));
}

constexpr std::uint32_t enumerationLimit = 256;

bool queryCapabilities(const V4l2File& file, v4l2_capability& capability)
{
    capability = {};
    return file.ioctl(VIDIOC_QUERYCAP, &capability) == 0;
}

// Whether v4l2loopback was loaded to show the virtual camera's capture and output sides only in
// turn (exclusive_caps, a list in its parameters by the device's number, which ends its bus
// information: "platform:v4l2loopback-000"). Taken for yes where it cannot be read.
bool exclusiveCaps(const V4l2File& file)
{
    v4l2_capability capability;
    if (!queryCapabilities(file, capability))
        return true;
    const std::string bus = text(capability.bus_info, sizeof capability.bus_info);
    const auto dash = bus.rfind('-');
    std::ifstream parameter("/sys/module/v4l2loopback/parameters/exclusive_caps");
    std::string list;
    if (dash == std::string::npos || !std::getline(parameter, list))
        return true;
    const int number = std::atoi(bus.c_str() + dash + 1);
    std::stringstream entries(list);
    std::string entry;
    for (int index = 0; std::getline(entries, entry, ','); ++index)
        if (index == number)
            return entry != "N";
    return true;
}

}  // namespace

std::vector<V4l2InputInfo> enumerateInputs(const V4l2File& file)
{
    std::vector<V4l2InputInfo> inputs;
    for (std::uint32_t index = 0; index < enumerationLimit; ++index) {
        v4l2_input input{};
        input.index = index;
        if (file.ioctl(VIDIOC_ENUMINPUT, &input) != 0)
            break;
        V4l2InputInfo info;
        info.index = input.index;
        info.name = text(input.name, sizeof input.name);
        info.type = input.type;
        info.tuner = input.tuner;
        info.standards = input.std;
        info.capabilities = input.capabilities;
        inputs.push_back(std::move(info));
    }
    return inputs;
}

std::uint32_t deviceCapabilities(const V4l2File& file)
{
    v4l2_capability capability;
    if (!queryCapabilities(file, capability))
        return 0;
    // Without device_caps the capabilities are those of the whole card, which may include
    // nodes other than this one.
    return (capability.capabilities & V4L2_CAP_DEVICE_CAPS) ? capability.device_caps : capability.capabilities;
}

bool isMultiPlanarOnly(const V4l2File& file)
{
    const std::uint32_t capabilities = deviceCapabilities(file);
    return (capabilities & V4L2_CAP_VIDEO_CAPTURE_MPLANE) && !(capabilities & V4L2_CAP_VIDEO_CAPTURE);
}

bool isVirtualCamera(const V4l2File& file)
{
    v4l2_capability capability;
    return queryCapabilities(file, capability)
        && text(capability.driver, sizeof capability.driver) == "v4l2 loopback";
}


bool virtualCameraFed(const V4l2File& file)
{
    const std::uint32_t capabilities = deviceCapabilities(file);
    if (!(capabilities & V4L2_CAP_VIDEO_CAPTURE))
        return false;
    if (!(capabilities & V4L2_CAP_VIDEO_OUTPUT))
        return true;
    // Both: an exclusive node whose program left, or one that announces both always. Only the
    // second keeps saying both while a program feeds it: its announcement is in its parameters.
    return !exclusiveCaps(file);
}

NodeDescription nodeDescription(const V4l2File& file)
{
    NodeDescription node;
    node.physicalDevice = physicalDeviceOfVideoNode(file.path());
    node.nodeIndex = nodeIndexOf(file.path());
    v4l2_capability capability;
    if (queryCapabilities(file, capability)) {
        node.driver = text(capability.driver, sizeof capability.driver);
        node.card = text(capability.card, sizeof capability.card);
        node.busInfo = text(capability.bus_info, sizeof capability.bus_info);
    }
    return node;
}

std::string cardName(const V4l2File& file)
{
    v4l2_capability capability;
    if (!queryCapabilities(file, capability))
        return {};
    return text(capability.card, sizeof capability.card);
}

}  // namespace capture
