#pragma once

#include "capture/devices/DeviceFailure.h"

#include <optional>
#include <string>
#include <vector>

namespace capture {

// The process other than this one that has the node at `path` open, found among the processes
// whose open files this user may read (a character device by its device number, any other file
// by its inode). Nothing when none is found: the holder runs as another user, or has let go.
// Reads `proc` (the proc filesystem's mount) only; meant for the error path.
std::optional<NodeHolder> findNodeHolder(const std::string& path, const std::string& proc = "/proc");
// Every such process, in the order of their process numbers as proc lists them.
std::vector<NodeHolder> findNodeHolders(const std::string& path, const std::string& proc = "/proc");

}  // namespace capture
