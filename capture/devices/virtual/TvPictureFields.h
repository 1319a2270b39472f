#pragma once

#include "capture/devices/TvLines.h"
#include "capture/devices/VideoFormat.h"

namespace capture {

// How the simulated tuner's pictures are taken, as an analog TV card's are: a full 525- or
// 625-line picture (480 or 576 lines and up) is two fields, the top one first at 25 frames a
// second (625 lines) and the bottom one first otherwise (525 lines); a smaller one is a single
// field's worth, progressive. A 720-wide picture is sampled as ITU-R BT.601 samples it, so its
// pixels are 59:54 (625 lines) or 10:11 (525 lines) as wide as high; others are square.
struct TvPictureFields {
    bool interlaced = false;
    bool topFieldFirst = true;
    int aspectNumerator = 1;
    int aspectDenominator = 1;
};

inline TvPictureFields tvPictureFieldsOf(const VideoFormat& format)
{
    TvPictureFields fields;
    const bool lines625 = format.fpsDenominator > 0 && format.fpsNumerator == 25 * format.fpsDenominator;
    fields.interlaced = format.height >= 480;
    fields.topFieldFirst = lines625;
    if (format.width == 720 && fields.interlaced) {
        const auto aspect = bt601Aspect(lines625 ? TvLines::Lines625 : TvLines::Lines525, 720, lines625 ? 576 : 480);
        fields.aspectNumerator = int(aspect->numerator);
        fields.aspectDenominator = int(aspect->denominator);
    }
    return fields;
}

}  // namespace capture
