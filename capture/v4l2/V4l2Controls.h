#pragma once

#include "V4l2File.h"

#include <linux/videodev2.h>

#include <cstdint>

namespace capture {

// The one query of a control's description: VIDIOC_QUERY_EXT_CTRL, widened from
// VIDIOC_QUERYCTRL on kernels without it (no compound controls there). `id` may carry
// V4L2_CTRL_FLAG_NEXT_CTRL and NEXT_COMPOUND. 0 or errno.
int queryControl(const V4l2File& file, std::uint32_t id, v4l2_query_ext_ctrl& query);
// Whether the device has this very control (a driver that ignores flag bits in the id could
// answer another one).
bool hasControl(const V4l2File& file, std::uint32_t id);

// 0 or errno.
int readControl(const V4l2File& file, std::uint32_t id, std::int32_t& value);
int writeControl(const V4l2File& file, std::uint32_t id, std::int32_t value);

}  // namespace capture
