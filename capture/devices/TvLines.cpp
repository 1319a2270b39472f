#include "TvLines.h"

#include <linux/videodev2.h>

#include <numeric>

namespace capture {

TvLines linesOfStandard(std::uint64_t standard)
{
    if ((standard & V4L2_STD_525_60) && !(standard & V4L2_STD_625_50))
        return TvLines::Lines525;
    if (standard & V4L2_STD_625_50)
        return TvLines::Lines625;
    return TvLines::Unknown;
}

std::optional<PixelAspect> bt601Aspect(TvLines lines, std::uint64_t width, std::uint64_t frameHeight)
{
    if (!width || !frameHeight || lines == TvLines::Unknown)
        return std::nullopt;
    PixelAspect aspect = lines == TvLines::Lines625 ? PixelAspect{59ull * 720 * frameHeight, 54ull * width * 576}
                                                    : PixelAspect{10ull * 720 * frameHeight, 11ull * width * 480};
    const std::uint64_t divisor = std::gcd(aspect.numerator, aspect.denominator);
    aspect.numerator /= divisor;
    aspect.denominator /= divisor;
    return aspect;
}

}  // namespace capture
