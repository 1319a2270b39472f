#pragma once

namespace capture {

// What the picture settings of a virtual device do to its picture, free of any one device's
// ranges. Every default is neutral: a picture rendered with the defaults is the pattern itself.
struct PictureAdjustments {
    double brightness = 0;    // added to luma, in 8-bit levels
    double contrast = 1;      // luma and chroma gain around mid grey; 0 gives flat grey
    double hueDegrees = 0;    // rotation of the chroma plane
    double saturation = 1;    // chroma gain; 0 gives grey
    double sharpness = 0;     // -1 softens edges, +1 crispens them with halos
    double gamma = 1;         // above 1 lifts the mid-tones, below 1 darkens them
    bool colour = true;       // false gives grey
    double whiteBalance = 0;  // -1 cool (bluer) .. +1 warm (redder)
    double backlight = 0;     // 0..1 lifts the shadows
    double gain = 1;          // signal gain before everything else

    bool operator==(const PictureAdjustments&) const = default;
};

}  // namespace capture
