#pragma once

#include "V4l2Io.h"
#include "capture/devices/VideoDevice.h"

#include <memory>
#include <string>
#include <vector>

namespace capture {

struct V4l2Node {
    std::string path;
    std::string name;  // the card's name, made unique among the nodes found
};

// The video<N> nodes of a directory in number order (video2 before video10); none when the
// directory is missing.
std::vector<std::string> videoNodePaths(const std::string& directory = "/dev");

// The nodes that capture video, named by their cards. Two cards of one name are told apart
// ("USB Camera", "USB Camera #2"), since a choice travels back to the control by name.
std::vector<V4l2Node> findV4l2Devices(const std::shared_ptr<V4l2Io>& io, const std::vector<std::string>& paths);

// What the catalogue calls for one node; nothing when it cannot be opened or does not
// capture video.
std::unique_ptr<VideoDevice> openV4l2VideoDevice(const std::string& path, const std::string& displayName);
std::unique_ptr<VideoDevice> openV4l2VideoDevice(std::shared_ptr<V4l2Io> io, const std::string& path,
                                                 const std::string& displayName);

// Every capture node of the directory, opened and named.
std::vector<std::unique_ptr<VideoDevice>> openV4l2VideoDevices(std::shared_ptr<V4l2Io> io,
                                                               const std::string& directory = "/dev");

}  // namespace capture
