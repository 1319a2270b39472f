#pragma once

#include "capture/contract/Member.h"

namespace mirrane::testing {

// The ten sliders by the camera setting each one writes.
struct SliderRow {
    capture::Member property;
    const char* name;
};

inline constexpr SliderRow sliderRows[] = {
    {capture::Member::Brightness, "BrightnessSlider1"},
    {capture::Member::Contrast, "ContrastSlider1"},
    {capture::Member::Hue, "HueSlider1"},
    {capture::Member::Saturation, "SaturationSlider1"},
    {capture::Member::Sharpness, "SharpnessSlider1"},
    {capture::Member::Gamma, "GammaSlider1"},
    {capture::Member::ColorEnable, "ColorEnableSlider1"},
    {capture::Member::WhiteBalance, "WhiteBalanceSlider1"},
    {capture::Member::BacklightCompensation, "BacklightCompensationSlider1"},
    {capture::Member::Gain, "GainSlider1"},
};

}  // namespace mirrane::testing
