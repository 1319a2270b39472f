#include "ColourProcessor.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <numbers>

static_assert(std::endian::native == std::endian::little, "pixels are written as BGRx words");

namespace capture {

namespace {

// Full-range BT.601 luma and the scale of its colour-difference signals.
constexpr double kr = 0.299;
constexpr double kb = 0.114;
constexpr double kg = 1 - kr - kb;
constexpr double cbScale = 0.5 / (1 - kb);
constexpr double crScale = 0.5 / (1 - kr);

double clampLevel(double v)
{
    return std::clamp(v, 0.0, 255.0);
}

}  // namespace

ColourProcessor::ColourProcessor(const PictureAdjustments& adjustments)
    : m_adjustments(adjustments),
      m_cos(std::cos(adjustments.hueDegrees * std::numbers::pi / 180)),
      m_sin(std::sin(adjustments.hueDegrees * std::numbers::pi / 180))
{
}

std::uint32_t ColourProcessor::apply(std::uint32_t pixel) const
{
    const PictureAdjustments& a = m_adjustments;
    // White balance: a warm setting lets more red through and less blue, as a camera does when
    // it is told the light is bluer than it is.
    double r = redOf(pixel) * (1 + 0.3 * a.whiteBalance) * a.gain;
    double g = greenOf(pixel) * a.gain;
    double b = blueOf(pixel) * (1 - 0.3 * a.whiteBalance) * a.gain;

    double y = kr * r + kg * g + kb * b;
    double cb = (b - y) * cbScale;
    double cr = (r - y) * crScale;
    const double chroma = a.colour ? a.saturation * a.contrast : 0.0;
    const double rotatedCb = (cb * m_cos - cr * m_sin) * chroma;
    const double rotatedCr = (cb * m_sin + cr * m_cos) * chroma;
    y = (y - 128) * a.contrast + 128 + a.brightness;

    r = y + rotatedCr / crScale;
    b = y + rotatedCb / cbScale;
    g = (y - kr * r - kb * b) / kg;

    const auto finish = [&a](double v) {
        v = clampLevel(v);
        if (a.gamma != 1)
            v = 255 * std::pow(v / 255, 1 / a.gamma);
        if (a.backlight != 0)
            v += a.backlight * 0.4 * (255 - v) * (255 - v) / 255;
        return static_cast<int>(std::lround(clampLevel(v)));
    };
    return rgbPixel(finish(r), finish(g), finish(b));
}

}  // namespace capture
