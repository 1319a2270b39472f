#pragma once

#include "capture/devices/PictureFields.h"
#include "capture/devices/VideoFormat.h"

namespace capture {

// How the simulated tuner's pictures are taken, as an analog TV card's are: a full 525- or
// 625-line picture (480 or 576 lines and up) is two fields, the top one first at 25 frames a
// second (625 lines) and the bottom one first otherwise (525 lines); a smaller one is a single
// field's worth, progressive. A 720-wide picture is sampled as ITU-R BT.601 samples it, so its
// pixels are 59:54 (625 lines) or 10:11 (525 lines) as wide as high; others are square.
inline PictureFields tvPictureFieldsOf(const VideoFormat& format)
{
    PictureFields fields;
    const bool lines625 = format.fpsDenominator > 0 && format.fpsNumerator == 25 * format.fpsDenominator;
    fields.lines = lines625 ? TvLines::Lines625 : TvLines::Lines525;
    fields.topFieldFirst = lines625;
    if (format.height < 480)
        return fields;
    fields.layout = PictureFields::Layout::Interleaved;
    if (format.width == 720) {
        const auto aspect = bt601Aspect(fields.lines, 720, lines625 ? 576 : 480);
        fields.aspect = reducedAspect(aspect->numerator, aspect->denominator).value_or(PixelAspect{});
    }
    return fields;
}

}  // namespace capture
