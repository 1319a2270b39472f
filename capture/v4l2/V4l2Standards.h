#pragma once

#include "capture/tv/ChannelTables.h"

#include <cstdint>

namespace capture {

// The V4L2 standard for a broadcast standard.
std::uint64_t v4l2Standard(tv::Standard standard);

// A wider set to fall back on when a card lacks the exact variant: same lines, same colour
// system, possibly another sound carrier. 0 where no fallback keeps the picture right.
std::uint64_t v4l2StandardFallback(tv::Standard standard);

}  // namespace capture
