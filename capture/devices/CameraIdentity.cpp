#include "CameraIdentity.h"

#include <fstream>

namespace capture {

namespace fs = std::filesystem;

namespace {

// A sysfs attribute's first line; empty when the device has none.
std::string attribute(const fs::path& device, const char* name)
{
    std::ifstream file(device / name);
    std::string line;
    std::getline(file, line);
    while (!line.empty() && (line.back() == ' ' || line.back() == '\n'))
        line.pop_back();
    return line;
}

std::string busOf(const fs::path& device)
{
    std::error_code error;
    const fs::path subsystem = fs::read_symlink(device / "subsystem", error);
    return error ? std::string() : subsystem.filename().string();
}

std::string withNode(std::string identity, int nodeIndex)
{
    return nodeIndex > 0 ? identity + " node " + std::to_string(nodeIndex) : identity;
}

}  // namespace

std::string cameraIdentity(const NodeDescription& node)
{
    const fs::path& device = node.physicalDevice;
    if (!device.empty()) {
        const std::string vendor = attribute(device, "idVendor");
        const std::string product = attribute(device, "idProduct");
        if (!vendor.empty() && !product.empty()) {
            const std::string serial = attribute(device, "serial");
            // The port path ("2-1.3") is where the camera is plugged, not its bus number.
            const std::string where = serial.empty() ? "port " + device.filename().string() : "serial " + serial;
            return withNode("usb " + vendor + ":" + product + " " + where, node.nodeIndex);
        }
        if (busOf(device) == "pci")
            return withNode("pci " + device.filename().string(), node.nodeIndex);
    }
    return withNode("v4l2 " + node.driver + " / " + node.card + " / " + node.busInfo, node.nodeIndex);
}

std::string builtInIdentity(const std::string& name)
{
    return "built-in " + name;
}

int nodeIndexOf(const std::string& nodePath)
{
    std::error_code error;
    const fs::path node = fs::canonical(nodePath, error);
    if (error)
        return 0;
    const std::string index = attribute(fs::path("/sys/class/video4linux") / node.filename(), "index");
    try {
        return index.empty() ? 0 : std::stoi(index);
    } catch (const std::exception&) {
        return 0;
    }
}

}  // namespace capture
