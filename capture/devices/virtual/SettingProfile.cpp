#include "SettingProfile.h"

#include <linux/videodev2.h>

namespace capture {

namespace {

std::int32_t valueOf(const SettingValues& values, std::uint32_t id)
{
    const auto known = values.find(id);
    return known == values.end() ? 0 : known->second;
}

// A value's distance from neutral, as -1..0 below it and 0..1 above it.
double fromNeutral(std::int32_t value, std::int32_t min, std::int32_t neutral, std::int32_t max)
{
    if (value >= neutral)
        return max == neutral ? 0.0 : double(value - neutral) / (max - neutral);
    return neutral == min ? 0.0 : double(value - neutral) / (neutral - min);
}

PictureAdjustments webcamAdjustments(const SettingValues& v)
{
    PictureAdjustments a;
    a.brightness = valueOf(v, V4L2_CID_BRIGHTNESS);
    a.contrast = valueOf(v, V4L2_CID_CONTRAST) / 32.0;
    a.hueDegrees = valueOf(v, V4L2_CID_HUE);
    a.saturation = valueOf(v, V4L2_CID_SATURATION) / 64.0;
    a.sharpness = (valueOf(v, V4L2_CID_SHARPNESS) - 3) / 3.0;
    a.gamma = valueOf(v, V4L2_CID_GAMMA) / 100.0;
    a.colour = valueOf(v, V4L2_CID_COLOR_KILLER) == 0;
    a.whiteBalance = fromNeutral(valueOf(v, V4L2_CID_WHITE_BALANCE_TEMPERATURE), 2800, 5000, 6500);
    a.backlight = valueOf(v, V4L2_CID_BACKLIGHT_COMPENSATION) / 2.0;
    a.gain = 1 + valueOf(v, V4L2_CID_GAIN) / 50.0;
    return a;
}

PictureAdjustments decoderAdjustments(const SettingValues& v)
{
    PictureAdjustments a;
    a.brightness = (valueOf(v, V4L2_CID_BRIGHTNESS) - 128) / 2.0;
    a.contrast = valueOf(v, V4L2_CID_CONTRAST) / 64.0;
    a.hueDegrees = valueOf(v, V4L2_CID_HUE) * 180.0 / 128.0;
    a.saturation = valueOf(v, V4L2_CID_SATURATION) / 64.0;
    return a;
}

}  // namespace

SettingProfile webcamProfile()
{
    return {{
                {V4L2_CID_BRIGHTNESS, "Brightness", -64, 64, 1, 0},
                {V4L2_CID_CONTRAST, "Contrast", 0, 64, 1, 32},
                {V4L2_CID_HUE, "Hue", -180, 180, 1, 0},
                {V4L2_CID_SATURATION, "Saturation", 0, 128, 1, 64},
                {V4L2_CID_SHARPNESS, "Sharpness", 0, 6, 1, 3},
                {V4L2_CID_GAMMA, "Gamma", 72, 500, 1, 100},
                {V4L2_CID_COLOR_KILLER, "Color Killer", 0, 1, 1, 0},
                {V4L2_CID_WHITE_BALANCE_TEMPERATURE, "White Balance Temperature", 2800, 6500, 10, 5000},  // colour temperature, kelvin
                {V4L2_CID_BACKLIGHT_COMPENSATION, "Backlight Compensation", 0, 2, 1, 0},
                {V4L2_CID_GAIN, "Gain", 0, 100, 1, 0},
            },
            webcamAdjustments};
}

SettingProfile tvDecoderProfile()
{
    return {{
                {V4L2_CID_BRIGHTNESS, "Brightness", 0, 255, 1, 128},
                {V4L2_CID_CONTRAST, "Contrast", 0, 127, 1, 64},
                {V4L2_CID_HUE, "Hue", -128, 127, 1, 0},
                {V4L2_CID_SATURATION, "Saturation", 0, 127, 1, 64},
            },
            decoderAdjustments};
}

}  // namespace capture
