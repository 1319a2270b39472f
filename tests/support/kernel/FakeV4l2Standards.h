#pragma once

#include <linux/videodev2.h>

namespace capture {

// VIDIOC_ENUMSTD as the V4L2 core answers it from the standards an input supports: the
// colour systems first as a whole ("PAL"), then each variant group the set still holds
// ("PAL-BG" rather than "PAL-B" and "PAL-G"), each with its lines and frame period.
// ENODATA for an input without standards, EINVAL past the last entry.
int enumerateStandard(v4l2_std_id supported, v4l2_standard& standard);

}  // namespace capture
