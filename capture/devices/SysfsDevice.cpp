#include "SysfsDevice.h"

namespace capture {

namespace fs = std::filesystem;

std::string physicalDevice(const fs::path& classEntry)
{
    std::error_code error;
    fs::path device = fs::canonical(classEntry / "device", error);
    if (error)
        return {};
    // A USB interface is named "<device>:<configuration>.<interface>" inside its device.
    const std::string name = device.filename().string();
    const auto colon = name.find(':');
    if (colon != std::string::npos && device.parent_path().filename() == name.substr(0, colon))
        device = device.parent_path();
    return device.string();
}

std::string physicalDeviceOfVideoNode(const std::string& nodePath)
{
    std::error_code error;
    const fs::path node = fs::canonical(nodePath, error);
    if (error)
        return {};
    return physicalDevice(fs::path("/sys/class/video4linux") / node.filename());
}

std::string physicalDeviceOfSoundCard(int card)
{
    return physicalDevice(fs::path("/sys/class/sound") / ("card" + std::to_string(card)));
}

}  // namespace capture
