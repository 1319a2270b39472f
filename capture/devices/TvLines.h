#pragma once

#include <cstdint>
#include <optional>

namespace capture {

// The line system of a TV standard: what decides the order of its fields and the shape of its
// pixels.
enum class TvLines { Unknown, Lines525, Lines625 };

// From a V4L2 standard set (v4l2_std_id): one that holds only 525-line standards is 525 lines.
TvLines linesOfStandard(std::uint64_t standard);

// A pixel's width over its height.
struct PixelAspect {
    std::uint64_t numerator = 1;
    std::uint64_t denominator = 1;
};

// ITU-R BT.601 sampling: 720 samples a line, pixels 59:54 for 625 lines and 10:11 for 525,
// scaled to a picture of this width and frame height. Nothing without a line system: a
// camera's 640x480 is square.
std::optional<PixelAspect> bt601Aspect(TvLines lines, std::uint64_t width, std::uint64_t frameHeight);

}  // namespace capture
