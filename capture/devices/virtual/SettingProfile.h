#pragma once

#include "PictureAdjustments.h"

#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace capture {

// One control as a kind of device offers it: the kernel's id and name, range, step and default.
struct SettingDescription {
    std::uint32_t id;
    std::string name;
    std::int32_t min;
    std::int32_t max;
    std::int32_t step;
    std::int32_t neutral;  // the default: leaves the picture as it is
};

// Current values by control id.
using SettingValues = std::map<std::uint32_t, std::int32_t>;

// The controls a kind of device offers, with its own ranges, and what their values do to the
// picture.
struct SettingProfile {
    std::vector<SettingDescription> settings;
    PictureAdjustments (*adjustments)(const SettingValues& values);
};

// A webcam's picture controls in the ranges a typical USB camera reports.
SettingProfile webcamProfile();
// A TV card's video decoder: brightness, contrast, hue and saturation only.
SettingProfile tvDecoderProfile();

}  // namespace capture
