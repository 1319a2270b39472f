#include "SettingProfile.h"

namespace capture {

namespace {

std::int32_t valueOf(const SettingValues& values, Member property)
{
    return values[settingIndex(property)];
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
    a.brightness = valueOf(v, Member::Brightness);
    a.contrast = valueOf(v, Member::Contrast) / 32.0;
    a.hueDegrees = valueOf(v, Member::Hue);
    a.saturation = valueOf(v, Member::Saturation) / 64.0;
    a.sharpness = (valueOf(v, Member::Sharpness) - 3) / 3.0;
    a.gamma = valueOf(v, Member::Gamma) / 100.0;
    a.colour = valueOf(v, Member::ColorEnable) != 0;
    a.whiteBalance = fromNeutral(valueOf(v, Member::WhiteBalance), 2800, 5000, 6500);
    a.backlight = valueOf(v, Member::BacklightCompensation) / 2.0;
    a.gain = 1 + valueOf(v, Member::Gain) / 50.0;
    return a;
}

PictureAdjustments decoderAdjustments(const SettingValues& v)
{
    PictureAdjustments a;
    a.brightness = (valueOf(v, Member::Brightness) - 128) / 2.0;
    a.contrast = valueOf(v, Member::Contrast) / 64.0;
    a.hueDegrees = valueOf(v, Member::Hue) * 180.0 / 128.0;
    a.saturation = valueOf(v, Member::Saturation) / 64.0;
    return a;
}

}  // namespace

SettingProfile webcamProfile()
{
    return {{
                {Member::Brightness, -64, 64, 1, 0},
                {Member::Contrast, 0, 64, 1, 32},
                {Member::Hue, -180, 180, 1, 0},
                {Member::Saturation, 0, 128, 1, 64},
                {Member::Sharpness, 0, 6, 1, 3},
                {Member::Gamma, 72, 500, 1, 100},
                {Member::ColorEnable, 0, 1, 1, 1},
                {Member::WhiteBalance, 2800, 6500, 10, 5000},  // colour temperature, kelvin
                {Member::BacklightCompensation, 0, 2, 1, 0},
                {Member::Gain, 0, 100, 1, 0},
            },
            webcamAdjustments};
}

SettingProfile tvDecoderProfile()
{
    return {{
                {Member::Brightness, 0, 255, 1, 128},
                {Member::Contrast, 0, 127, 1, 64},
                {Member::Hue, -128, 127, 1, 0},
                {Member::Saturation, 0, 127, 1, 64},
            },
            decoderAdjustments};
}

}  // namespace capture
