#include "V4l2Devices.h"

#include "V4l2VideoDevice.h"

#include <algorithm>
#include <charconv>
#include <cstdlib>
#include <filesystem>
#include <string_view>
#include <utility>

namespace capture {

std::string v4l2NodeDirectory()
{
    const char* directory = std::getenv("ORVEX_V4L2_DIR");
    return directory && *directory ? directory : "/dev";
}

std::optional<unsigned> videoNodeNumber(const std::string& fileName)
{
    constexpr std::string_view prefix = "video";
    if (fileName.size() <= prefix.size() || fileName.compare(0, prefix.size(), prefix) != 0)
        return std::nullopt;
    unsigned number = 0;
    const char* begin = fileName.data() + prefix.size();
    const char* end = fileName.data() + fileName.size();
    const auto [next, error] = std::from_chars(begin, end, number);
    if (error != std::errc() || next != end)
        return std::nullopt;
    return number;
}

std::vector<std::string> videoNodePaths(const std::string& directory)
{
    std::vector<std::pair<unsigned, std::string>> nodes;
    std::error_code error;
    for (std::filesystem::directory_iterator entry(directory, error), end; !error && entry != end; entry.increment(error)) {
        if (const auto number = videoNodeNumber(entry->path().filename().string()))
            nodes.emplace_back(*number, entry->path().string());
    }
    std::sort(nodes.begin(), nodes.end());
    std::vector<std::string> paths;
    for (auto& node : nodes)
        paths.push_back(std::move(node.second));
    return paths;
}

std::vector<std::unique_ptr<VideoDevice>> openV4l2VideoDevices(const std::shared_ptr<V4l2Io>& io,
                                                               const std::string& directory)
{
    std::vector<std::unique_ptr<VideoDevice>> devices;
    for (const auto& path : videoNodePaths(directory))
        if (auto device = V4l2VideoDevice::open(io, path, {}))
            devices.push_back(std::move(device));
    return devices;
}

}  // namespace capture
