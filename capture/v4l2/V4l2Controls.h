#pragma once

#include "V4l2File.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace capture {

// What the driver says about one control.
struct V4l2ControlInfo {
    std::uint32_t id = 0;
    std::uint32_t type = 0;
    std::string name;
    std::int64_t minimum = 0;
    std::int64_t maximum = 0;
    std::uint64_t step = 1;
    std::int64_t defaultValue = 0;
    std::uint32_t flags = 0;

    // Disabled and read-only controls cannot be set by us at all.
    bool writable() const;
};

// The control's description, or nothing when the device lacks it. Uses VIDIOC_QUERY_EXT_CTRL
// and falls back to VIDIOC_QUERYCTRL on kernels without it.
std::optional<V4l2ControlInfo> queryControl(const V4l2File& file, std::uint32_t id);

// Every control of the device in id order (NEXT_CTRL enumeration).
std::vector<V4l2ControlInfo> listControls(const V4l2File& file);

// Whether a menu control offers this entry (drivers skip unsupported entries).
bool hasMenuEntry(const V4l2File& file, std::uint32_t id, std::uint32_t index);

// 0 or errno.
int readControl(const V4l2File& file, std::uint32_t id, std::int32_t& value);
int writeControl(const V4l2File& file, std::uint32_t id, std::int32_t value);

// The value the control takes for a request: clamped to minimum..maximum, then the nearest
// point of the step grid from the minimum that lies within the range. The driver then stores
// it unchanged.
std::int32_t alignToControl(const V4l2ControlInfo& info, std::int64_t requested);

}  // namespace capture
