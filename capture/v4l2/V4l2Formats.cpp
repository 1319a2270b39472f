#include "V4l2Formats.h"

#include "V4l2Inputs.h"
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
    return linesOfStandard(currentStandard(file)) == TvLines::Lines525;
}

bool hasStandard(const V4l2File& file)
{
    return currentStandard(file) != 0;
}

// The size the driver makes of a request for this pixel format, or the request itself when
// the driver cannot try formats.
struct Current {
    std::uint32_t fourcc = 0;
    Size size{0, 0};
};

// The frame's size: fields in buffers of their own are woven into frames of twice their height.
Size sizeIn(const v4l2_format& format)
{
    const bool planes = format.type == V4L2_BUF_TYPE_VIDEO_CAPTURE_MPLANE;
    const std::uint32_t field = planes ? format.fmt.pix_mp.field : format.fmt.pix.field;
    const std::uint32_t lines = field == V4L2_FIELD_ALTERNATE ? 2 : 1;
    if (planes)
        return {format.fmt.pix_mp.width, format.fmt.pix_mp.height * lines};
    return {format.fmt.pix.width, format.fmt.pix.height * lines};
}

std::optional<Current> readFormat(const V4l2File& file, std::uint32_t type)
{
    v4l2_format format{};
    format.type = type;
    if (file.ioctl(VIDIOC_G_FMT, &format) != 0)
        return std::nullopt;
    const std::uint32_t fourcc = type == V4L2_BUF_TYPE_VIDEO_CAPTURE_MPLANE ? format.fmt.pix_mp.pixelformat
                                                                             : format.fmt.pix.pixelformat;
    return Current{fourcc, sizeIn(format)};
}

Size adjustedSize(const V4l2File& file, std::uint32_t type, std::uint32_t fourcc, Size wanted)
{
    v4l2_format format = formatRequest(type, fourcc, wanted.width, wanted.height);
    if (file.ioctl(VIDIOC_TRY_FMT, &format) == 0) {
        Size made = sizeIn(format);
        // A driver that scales its fields answers each as high as the frame asked for, and
        // takes half that height for them when streaming (see V4l2MappedStream).
        const std::uint32_t field = format.type == V4L2_BUF_TYPE_VIDEO_CAPTURE_MPLANE ? format.fmt.pix_mp.field
                                                                                     : format.fmt.pix.field;
        if (field == V4L2_FIELD_ALTERNATE && made.height == 2 * wanted.height)
            made.height = wanted.height;
        if (made.width && made.height)
            return made;
    }
    return wanted;
}

Size unlistedSize(const V4l2File& file, std::uint32_t type, std::uint32_t fourcc)
{
    if (hasStandard(file))
        return adjustedSize(file, type, fourcc, isFullFrame525(file) ? Size{640, 480} : Size{768, 576});
    const auto current = readFormat(file, type);
    if (current && current->size.width && current->size.height)
        return adjustedSize(file, type, fourcc, current->size);
    return adjustedSize(file, type, fourcc, {640, 480});
}

bool fitsStepwise(const v4l2_frmsize_stepwise& range, Size size)
{
    const auto fits = [](std::uint32_t value, std::uint32_t low, std::uint32_t high, std::uint32_t step) {
        return value >= low && value <= high && (step <= 1 || (value - low) % step == 0);
    };
    return fits(size.width, range.min_width, range.max_width, range.step_width)
        && fits(size.height, range.min_height, range.max_height, range.step_height);
}

std::vector<Size> frameSizes(const V4l2File& file, std::uint32_t type, std::uint32_t fourcc)
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
        // A range: offer its largest picture and the usual sizes it can make. A range is what
        // the scaler allows in general; the driver's answer to each size says what it makes of
        // it now (a TV input's range outgrows what its standard's picture can be scaled to).
        const auto& range = size.stepwise;
        const auto add = [&](Size candidate) {
            const Size made = adjustedSize(file, type, fourcc, candidate);
            if (std::none_of(sizes.begin(), sizes.end(), [&](Size kept) { return kept.width == made.width && kept.height == made.height; }))
                sizes.push_back(made);
        };
        add({range.max_width, range.max_height});
        // An analog input's whole picture, 720 samples of each of its standard's lines: else it
        // is listed only in the pixel format the node was left in.
        if (const Size whole{720, isFullFrame525(file) ? 480u : 576u}; hasStandard(file) && fitsStepwise(range, whole))
            add(whole);
        constexpr std::array<Size, 5> usual{{{1920, 1080}, {1280, 720}, {768, 576}, {640, 480}, {320, 240}}};
        for (const Size candidate : usual)
            if (fitsStepwise(range, candidate))
                add(candidate);
        break;
    }
    if (sizes.empty())
        sizes.push_back(unlistedSize(file, type, fourcc));
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

Rate unlistedRate(const V4l2File& file, std::uint32_t type)
{
    v4l2_streamparm parameters{};
    parameters.type = type;
    if (file.ioctl(VIDIOC_G_PARM, &parameters) == 0 && isUsable(parameters.parm.capture.timeperframe))
        return rateOf(parameters.parm.capture.timeperframe);
    if (hasStandard(file))
        return isFullFrame525(file) ? Rate{30000, 1001} : Rate{25, 1};
    return {30, 1};
}

double fps(const VideoFormat& format)
{
    return format.fpsDenominator ? double(format.fpsNumerator) / format.fpsDenominator : 0;
}

bool sameMode(const VideoFormat& a, const VideoFormat& b)
{
    return a.pixelFormat == b.pixelFormat && a.width == b.width && a.height == b.height && a.converted == b.converted;
}

bool isCommonRate(const VideoFormat& format)
{
    return format.fpsDenominator == 1 && (format.fpsNumerator == 30 || format.fpsNumerator == 25);
}

}  // namespace

v4l2_format formatRequest(std::uint32_t type, std::uint32_t fourcc, std::uint32_t width, std::uint32_t height)
{
    v4l2_format format{};
    format.type = type;
    if (type == V4L2_BUF_TYPE_VIDEO_CAPTURE_MPLANE) {
        format.fmt.pix_mp.pixelformat = fourcc;
        format.fmt.pix_mp.width = width;
        format.fmt.pix_mp.height = height;
        format.fmt.pix_mp.field = V4L2_FIELD_ANY;
    } else {
        format.fmt.pix.pixelformat = fourcc;
        format.fmt.pix.width = width;
        format.fmt.pix.height = height;
        format.fmt.pix.field = V4L2_FIELD_ANY;
    }
    return format;
}

std::uint32_t captureBufferType(const V4l2File& file)
{
    const std::uint32_t capabilities = deviceCapabilities(file);
    return !(capabilities & V4L2_CAP_VIDEO_CAPTURE) && (capabilities & V4L2_CAP_VIDEO_CAPTURE_MPLANE)
        ? V4L2_BUF_TYPE_VIDEO_CAPTURE_MPLANE
        : V4L2_BUF_TYPE_VIDEO_CAPTURE;
}

std::vector<V4l2FormatChoice> enumerateFormats(const V4l2File& file)
{
    const std::uint32_t type = captureBufferType(file);
    std::vector<V4l2FormatChoice> choices;
    std::set<std::string> named;
    for (std::uint32_t index = 0; index < enumerationLimit; ++index) {
        v4l2_fmtdesc description{};
        description.index = index;
        description.type = type;
        if (file.ioctl(VIDIOC_ENUM_FMT, &description) != 0)
            break;
        const std::string name = gstFormatName(description.pixelformat);
        // Two V4L2 codes for one GStreamer format would list every entry twice.
        if (name.empty() || !named.insert(name).second)
            continue;

        for (const Size size : frameSizes(file, type, description.pixelformat)) {
            std::vector<Rate> rates = listedRates(file, description.pixelformat, size);
            const bool listed = !rates.empty();
            if (!listed)
                rates.push_back(unlistedRate(file, type));
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

namespace {

std::optional<V4l2FormatChoice> currentIn(const V4l2File& file, const std::vector<V4l2FormatChoice>& choices)
{
    const std::uint32_t type = captureBufferType(file);
    const auto current = readFormat(file, type);
    if (!current)
        return std::nullopt;
    V4l2FormatChoice choice;
    choice.fourcc = current->fourcc;
    choice.format.pixelFormat = gstFormatName(current->fourcc);
    choice.format.width = static_cast<int>(current->size.width);
    choice.format.height = static_cast<int>(current->size.height);
    const Rate rate = unlistedRate(file, type);
    choice.format.fpsNumerator = rate.numerator;
    choice.format.fpsDenominator = rate.denominator;
    if (choice.format.pixelFormat.empty() || !choice.format.width || !choice.format.height)
        return std::nullopt;
    // As listed, when it is: the entry knows whether the format is converted.
    for (const auto& listed : choices)
        if (listed.fourcc == choice.fourcc && listed.format.width == choice.format.width
            && listed.format.height == choice.format.height && fps(listed.format) == fps(choice.format))
            return listed;
    // A rate the driver did not list is its own to keep.
    choice.rateListed = false;
    return choice;
}

}  // namespace

std::optional<V4l2FormatChoice> currentFormat(const V4l2File& file)
{
    return currentIn(file, enumerateFormats(file));
}

std::vector<V4l2FormatChoice> listedFormats(const V4l2File& file)
{
    auto choices = enumerateFormats(file);
    const auto current = currentIn(file, choices);
    // The device's own formats before the converted ones, the current pixel format first.
    const auto rank = [&](const V4l2FormatChoice& choice) {
        return 2 * int(choice.format.converted) + int(!current || choice.format.pixelFormat != current->format.pixelFormat);
    };
    std::stable_sort(choices.begin(), choices.end(), [&](const auto& a, const auto& b) { return rank(a) < rank(b); });

    std::vector<V4l2FormatChoice> listed;
    const auto add = [&](const V4l2FormatChoice& choice) {
        if (std::none_of(listed.begin(), listed.end(), [&](const auto& kept) { return kept.format == choice.format; }))
            listed.push_back(choice);
    };
    if (current)
        add(*current);
    // Each pixel format and size once at its fastest rate, and at the usual rates if it has them.
    for (auto mode = choices.begin(); mode != choices.end(); ++mode) {
        if (std::any_of(choices.begin(), mode, [&](const auto& seen) { return sameMode(seen.format, mode->format); }))
            continue;
        const V4l2FormatChoice* fastest = &*mode;
        for (auto other = mode; other != choices.end(); ++other)
            if (sameMode(other->format, mode->format) && fps(other->format) > fps(fastest->format))
                fastest = &*other;
        add(*fastest);
        for (auto other = mode; other != choices.end(); ++other)
            if (sameMode(other->format, mode->format) && isCommonRate(other->format))
                add(*other);
    }
    return listed;
}

std::optional<V4l2FormatChoice> offeredFormat(const V4l2File& file, const VideoFormat& format)
{
    const auto choices = enumerateFormats(file);
    for (const auto& choice : choices)
        if (choice.format == format)
            return choice;
    if (auto current = currentIn(file, choices); current && current->format == format)
        return current;
    return std::nullopt;
}

}  // namespace capture
