#include "V4l2Devices.h"

#include "V4l2File.h"
#include "V4l2Inputs.h"
#include "V4l2VideoDevice.h"

#include <linux/videodev2.h>

#include <algorithm>
#include <charconv>
#include <filesystem>
#include <map>
#include <optional>
#include <string_view>
#include <utility>

namespace capture {
namespace {

// The node number of "video12", or nothing for other names ("video", "video0p", "vbi0").
std::optional<unsigned> nodeNumber(const std::string& name)
{
    constexpr std::string_view prefix = "video";
    if (name.size() <= prefix.size() || name.compare(0, prefix.size(), prefix) != 0)
        return std::nullopt;
    unsigned number = 0;
    const char* begin = name.data() + prefix.size();
    const char* end = name.data() + name.size();
    const auto [next, error] = std::from_chars(begin, end, number);
    if (error != std::errc() || next != end)
        return std::nullopt;
    return number;
}

}  // namespace

std::vector<std::string> videoNodePaths(const std::string& directory)
{
    std::vector<std::pair<unsigned, std::string>> nodes;
    std::error_code error;
    for (std::filesystem::directory_iterator entry(directory, error), end; !error && entry != end; entry.increment(error)) {
        const std::string name = entry->path().filename().string();
        if (const auto number = nodeNumber(name))
            nodes.emplace_back(*number, entry->path().string());
    }
    std::sort(nodes.begin(), nodes.end());
    std::vector<std::string> paths;
    for (auto& node : nodes)
        paths.push_back(std::move(node.second));
    return paths;
}

std::vector<V4l2Node> findV4l2Devices(const std::shared_ptr<V4l2Io>& io, const std::vector<std::string>& paths)
{
    std::vector<V4l2Node> nodes;
    std::map<std::string, int> seen;
    for (const auto& path : paths) {
        const V4l2File file(io, path);
        if (!file.isOpen() || !(deviceCapabilities(file) & V4L2_CAP_VIDEO_CAPTURE))
            continue;
        std::string name = cardName(file);
        if (name.empty())
            name = path;
        const int count = ++seen[name];
        if (count > 1)
            name += " #" + std::to_string(count);
        nodes.push_back({path, std::move(name)});
    }
    return nodes;
}

std::unique_ptr<VideoDevice> openV4l2VideoDevice(const std::string& path, const std::string& displayName)
{
    return openV4l2VideoDevice(systemV4l2Io(), path, displayName);
}

std::unique_ptr<VideoDevice> openV4l2VideoDevice(std::shared_ptr<V4l2Io> io, const std::string& path,
                                                 const std::string& displayName)
{
    return V4l2VideoDevice::open(std::move(io), path, displayName);
}

std::vector<std::unique_ptr<VideoDevice>> openV4l2VideoDevices(std::shared_ptr<V4l2Io> io, const std::string& directory)
{
    std::vector<std::unique_ptr<VideoDevice>> devices;
    for (const auto& node : findV4l2Devices(io, videoNodePaths(directory)))
        if (auto device = openV4l2VideoDevice(io, node.path, node.name))
            devices.push_back(std::move(device));
    return devices;
}

}  // namespace capture
