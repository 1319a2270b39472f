#pragma once

#include "PictureAdjustments.h"

#include <cstdint>

namespace capture {

// Applies the colour part of the picture adjustments (all but sharpness) to one pixel. Pixels
// are 32-bit words 0xffRRGGBB, which is BGRx in memory on the little-endian machines this runs on.
// The neutral adjustments give back every pixel unchanged.
class ColourProcessor {
public:
    explicit ColourProcessor(const PictureAdjustments& adjustments);

    std::uint32_t apply(std::uint32_t pixel) const;

private:
    PictureAdjustments m_adjustments;
    double m_cos;
    double m_sin;
};

constexpr std::uint32_t rgbPixel(int r, int g, int b)
{
    return 0xff000000u | (std::uint32_t(r) << 16) | (std::uint32_t(g) << 8) | std::uint32_t(b);
}

constexpr int redOf(std::uint32_t pixel) { return int((pixel >> 16) & 0xff); }
constexpr int greenOf(std::uint32_t pixel) { return int((pixel >> 8) & 0xff); }
constexpr int blueOf(std::uint32_t pixel) { return int(pixel & 0xff); }

}  // namespace capture
