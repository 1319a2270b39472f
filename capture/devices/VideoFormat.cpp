#include "VideoFormat.h"

#include <cmath>
#include <cstdio>

namespace capture {

std::string VideoFormat::name() const
{
    char rate[32];
    const double fps = fpsDenominator ? static_cast<double>(fpsNumerator) / fpsDenominator : 0.0;
    if (std::fabs(fps - std::round(fps)) < 1e-9)
        std::snprintf(rate, sizeof rate, "%.0f", fps);
    else
        std::snprintf(rate, sizeof rate, "%.2f", fps);
    return pixelFormat + " " + std::to_string(width) + "x" + std::to_string(height) + " " + rate + " fps";
}

}  // namespace capture
