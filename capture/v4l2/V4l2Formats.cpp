#include "V4l2Formats.h"

#include "V4l2PixelFormats.h"

#include <linux/videodev2.h>

#include <algorithm>
#include <array>
#include <numeric>
#include <set>

namespace capture {
namespace {

// A driver that never ends an enumeration must not hang the program.
constexpr std::uint32_t enumerationLimit = 1024;

struct Size {
    std::uint32_t width;
    std::uint32_t height;
};

struct Rate {
    int numerator;
    int denominator;
};

bool isFullFrame525(const V4l2File& file)
{
    v4l2_std_id standard = 0;
    return file.ioctl(VIDIOC_G_STD, &standard) == 0 && (standard & V4L2_STD_525_60) && !(standard & V4L2_STD_625_50);
}

bool hasStandard(const V4l2File& file)
{
    v4l2_std_id standard = 0;
    return file.ioctl(VIDIOC_G_STD, &standard) == 0 && standard != 0;
}

// The size the driver makes of a request for this pixel format, or the request itself when
// the driver cannot try formats.
Size adjustedSize(const V4l2File& file, std::uint32_t fourcc, Size wanted)
{
    v4l2_format format{};
    format.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
    format.fmt.pix.pixelformat = fourcc;
    format.fmt.pix.width = wanted.width;
    format.fmt.pix.height = wanted.height;
    format.fmt.pix.field = V4L2_FIELD_ANY;
    if (file.ioctl(VIDIOC_TRY_FMT, &format) == 0 && format.fmt.pix.width && format.fmt.pix.height)
        return {format.fmt.pix.width, format.fmt.pix.height};
    return wanted;
}

Size unlistedSize(const V4l2File& file, std::uint32_t fourcc)
{
    if (hasStandard(file))
        return adjustedSize(file, fourcc, isFullFrame525(file) ? Size{640, 480} : Size{768, 576});
    v4l2_format current{};
    current.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
    if (file.ioctl(VIDIOC_G_FMT, &current) == 0 && current.fmt.pix.width && current.fmt.pix.height)
        return adjustedSize(file, fourcc, {current.fmt.pix.width, current.fmt.pix.height});
    return adjustedSize(file, fourcc, {640, 480});
}

bool fitsStepwise(const v4l2_frmsize_stepwise& range, Size size)
{
    const auto fits = [](std::uint32_t value, std::uint32_t low, std::uint32_t high, std::uint32_t step) {
        return value >= low && value <= high && (step <= 1 || (value - low) % step == 0);
    };
    return fits(size.width, range.min_width, range.max_width, range.step_width)
        && fits(size.height, range.min_height, range.max_height, range.step_height);
}

std::vector<Size> frameSizes(const V4l2File& file, std::uint32_t fourcc)
{
    std::vector<Size> sizes;
    for (std::uint32_t index = 0; index < enumerationLimit; ++index) {
        v4l2_frmsizeenum size{};
        size.index = index;
        size.pixel_format = fourcc;
        if (file.ioctl(VIDIOC_ENUM_FRAMESIZES, &size) != 0)
            break;
        if (size.type == V4L2_FRMSIZE_TYPE_DISCRETE) {
            sizes.push_back({size.discrete.width, size.discrete.height});
            continue;
        }
        // A range: offer its largest picture and the usual sizes it can make.
        const auto& range = size.stepwise;
        sizes.push_back({range.max_width, range.max_height});
        constexpr std::array<Size, 5> usual{{{1920, 1080}, {1280, 720}, {768, 576}, {640, 480}, {320, 240}}};
        for (const Size candidate : usual) {
            const bool isMax = candidate.width == range.max_width && candidate.height == range.max_height;
            if (!isMax && fitsStepwise(range, candidate))
                sizes.push_back(candidate);
        }
        break;
    }
    if (sizes.empty())
        sizes.push_back(unlistedSize(file, fourcc));
    return sizes;
}

Rate rateOf(const v4l2_fract& interval)
{
    // A frame interval is seconds per frame; the rate is its inverse.
    const std::uint32_t divisor = std::gcd(interval.numerator, interval.denominator);
    return {static_cast<int>(interval.denominator / divisor), static_cast<int>(interval.numerator / divisor)};
}

bool isUsable(const v4l2_fract& interval)
{
    return interval.numerator != 0 && interval.denominator != 0 && interval.numerator <= 0x7fffffff
        && interval.denominator <= 0x7fffffff;
}

std::vector<Rate> listedRates(const V4l2File& file, std::uint32_t fourcc, Size size)
{
    std::vector<Rate> rates;
    for (std::uint32_t index = 0; index < enumerationLimit; ++index) {
        v4l2_frmivalenum interval{};
        interval.index = index;
        interval.pixel_format = fourcc;
        interval.width = size.width;
        interval.height = size.height;
        if (file.ioctl(VIDIOC_ENUM_FRAMEINTERVALS, &interval) != 0)
            break;
        if (interval.type == V4L2_FRMIVAL_TYPE_DISCRETE) {
            if (isUsable(interval.discrete))
                rates.push_back(rateOf(interval.discrete));
            continue;
        }
        // A range of intervals: the fastest rate it allows.
        if (isUsable(interval.stepwise.min))
            rates.push_back(rateOf(interval.stepwise.min));
        break;
    }
    return rates;
}

Rate unlistedRate(const V4l2File& file)
{
    v4l2_streamparm parameters{};
    parameters.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
    if (file.ioctl(VIDIOC_G_PARM, &parameters) == 0 && isUsable(parameters.parm.capture.timeperframe))
        return rateOf(parameters.parm.capture.timeperframe);
    if (hasStandard(file))
        return isFullFrame525(file) ? Rate{30000, 1001} : Rate{25, 1};
    return {30, 1};
}

}  // namespace

std::vector<V4l2FormatChoice> enumerateFormats(const V4l2File& file)
{
    std::vector<V4l2FormatChoice> choices;
    std::set<std::string> named;
    for (std::uint32_t index = 0; index < enumerationLimit; ++index) {
        v4l2_fmtdesc description{};
        description.index = index;
        description.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
        if (file.ioctl(VIDIOC_ENUM_FMT, &description) != 0)
            break;
        const std::string name = gstFormatName(description.pixelformat);
        // Two V4L2 codes for one GStreamer format would list every entry twice.
        if (name.empty() || !named.insert(name).second)
            continue;

        for (const Size size : frameSizes(file, description.pixelformat)) {
            std::vector<Rate> rates = listedRates(file, description.pixelformat, size);
            const bool listed = !rates.empty();
            if (!listed)
                rates.push_back(unlistedRate(file));
            for (const Rate rate : rates) {
                V4l2FormatChoice choice;
                choice.format.pixelFormat = name;
                choice.format.width = static_cast<int>(size.width);
                choice.format.height = static_cast<int>(size.height);
                choice.format.fpsNumerator = rate.numerator;
                choice.format.fpsDenominator = rate.denominator;
                choice.format.converted = (description.flags & V4L2_FMT_FLAG_EMULATED) != 0;
                choice.fourcc = description.pixelformat;
                choice.rateListed = listed;
                choices.push_back(std::move(choice));
            }
        }
    }
    return choices;
}

}  // namespace capture
