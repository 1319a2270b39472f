#include "V4l2Fields.h"

#include "V4l2Formats.h"

namespace capture {
namespace {

// Interlaced pictures without a standard (a capture chip's own timing) still say their line
// system by their height.
TvLines linesOf(TvLines standard, std::uint32_t height)
{
    if (standard != TvLines::Unknown)
        return standard;
    if (height == 480 || height == 240)
        return TvLines::Lines525;
    if (height == 576 || height == 288)
        return TvLines::Lines625;
    return TvLines::Unknown;
}

}  // namespace

std::uint64_t currentStandard(const V4l2File& file)
{
    v4l2_std_id standard = 0;
    return file.ioctl(VIDIOC_G_STD, &standard) == 0 ? standard : 0;
}

std::uint32_t fieldRequestFor(const V4l2InputInfo& input)
{
    return input.type == V4L2_INPUT_TYPE_TUNER || input.standards != 0 ? V4L2_FIELD_INTERLACED : V4L2_FIELD_ANY;
}

PictureFields fieldsOf(const V4l2File& file, std::uint32_t field, std::uint32_t width, std::uint32_t height)
{
    using Layout = PictureFields::Layout;
    PictureFields fields;
    // The standard is read once for the stream: the field order and the pixel aspect follow it.
    const TvLines standard = linesOfStandard(currentStandard(file));
    const TvLines lines = linesOf(standard, field == V4L2_FIELD_ALTERNATE ? height * 2 : height);
    fields.lines = lines;
    switch (field) {
    case V4L2_FIELD_INTERLACED_TB:
        fields.layout = Layout::Interleaved;
        fields.topFieldFirst = true;
        break;
    case V4L2_FIELD_INTERLACED_BT:
        fields.layout = Layout::Interleaved;
        fields.topFieldFirst = false;
        break;
    case V4L2_FIELD_SEQ_TB:
    case V4L2_FIELD_SEQ_BT:
        // The field stored first is the older one.
        fields.layout = Layout::Sequential;
        fields.topFieldFirst = field == V4L2_FIELD_SEQ_TB;
        break;
    case V4L2_FIELD_INTERLACED:
    case V4L2_FIELD_ALTERNATE:
        // The driver leaves the order to the standard: NTSC's bottom field comes first.
        fields.layout = field == V4L2_FIELD_ALTERNATE ? Layout::Alternate : Layout::Interleaved;
        fields.topFieldFirst = lines != TvLines::Lines525;
        break;
    default:
        break;
    }

    if (!width || !height)
        return fields;
    // The aspect of a pixel as the full frame is sampled: an alternate field is half its height.
    const std::uint64_t frameHeight = field == V4L2_FIELD_ALTERNATE ? std::uint64_t(height) * 2 : height;
    v4l2_cropcap crop{};
    crop.type = captureBufferType(file);
    if (file.ioctl(VIDIOC_CROPCAP, &crop) == 0 && crop.pixelaspect.numerator && crop.pixelaspect.denominator
        && crop.defrect.width && crop.defrect.height) {
        // y/x over the driver's default rectangle; a picture scaled from it has its pixels
        // widened by the rectangle's width over the picture's, heightened likewise.
        // A fraction GStreamer cannot hold is no use to anyone: the pixels stay square then.
        fields.aspect = reducedAspect(std::uint64_t(crop.pixelaspect.denominator) * crop.defrect.width * frameHeight,
                                      std::uint64_t(crop.pixelaspect.numerator) * width * crop.defrect.height)
                            .value_or(PixelAspect{});
        return fields;
    }
    // Only pictures of a TV standard have the standard's sampling.
    if (const auto aspect = bt601Aspect(standard, width, frameHeight))
        fields.aspect = reducedAspect(aspect->numerator, aspect->denominator).value_or(PixelAspect{});
    return fields;
}

}  // namespace capture
