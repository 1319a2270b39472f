#pragma once

#include "V4l2Io.h"
#include "capture/devices/VideoDevice.h"

#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace capture {

// The directory whose video<N> nodes are the machine's V4L2 devices: the one ORVEX_V4L2_DIR
// names, else /dev.
std::string v4l2NodeDirectory();

// The node number of "video12", or nothing for other names ("video", "video0p", "vbi0").
std::optional<unsigned> videoNodeNumber(const std::string& fileName);

// The video<N> nodes of a directory in number order (video2 before video10); none when the
// directory is missing.
std::vector<std::string> videoNodePaths(const std::string& directory);

// Every node of the directory that captures video, opened and named by its card, in node
// order. Nodes that cannot be opened or do not capture video are passed over.
std::vector<std::unique_ptr<VideoDevice>> openV4l2VideoDevices(const std::shared_ptr<V4l2Io>& io,
                                                               const std::string& directory);

}  // namespace capture
