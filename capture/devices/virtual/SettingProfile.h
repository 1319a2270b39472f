#pragma once

#include "PictureAdjustments.h"

#include "capture/contract/Member.h"

#include <array>
#include <cstdint>
#include <vector>

namespace capture {

// One setting as a kind of device offers it: its range, step and default.
struct SettingDescription {
    Member property;
    std::int32_t min;
    std::int32_t max;
    std::int32_t step;
    std::int32_t neutral;  // the default: leaves the picture as it is
};

// Current values of the ten settings, by member number - 8.
using SettingValues = std::array<std::int32_t, 10>;

constexpr std::size_t settingIndex(Member property)
{
    return std::size_t(number(property) - number(Member::Brightness));
}

// The settings a kind of device offers, with its own ranges, and what its values do to the picture.
struct SettingProfile {
    std::vector<SettingDescription> settings;
    PictureAdjustments (*adjustments)(const SettingValues& values);
};

// A webcam's ten settings in the ranges a typical USB camera reports.
SettingProfile webcamProfile();
// A TV card's video decoder: brightness, contrast, hue and saturation only.
SettingProfile tvDecoderProfile();

}  // namespace capture
