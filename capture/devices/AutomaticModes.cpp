#include "AutomaticModes.h"

#include <linux/videodev2.h>

namespace capture {
namespace {

// Control ids are the kernel's for every device, the built-in ones too.
constexpr AutomaticMode automaticModes[] = {
    {V4L2_CID_AUTOGAIN, V4L2_CID_GAIN, 0},
    {V4L2_CID_AUTO_WHITE_BALANCE, V4L2_CID_WHITE_BALANCE_TEMPERATURE, 0},
    {V4L2_CID_AUTO_N_PRESET_WHITE_BALANCE, 0, V4L2_WHITE_BALANCE_MANUAL},
    {V4L2_CID_EXPOSURE_AUTO, V4L2_CID_EXPOSURE_ABSOLUTE, V4L2_EXPOSURE_MANUAL},
    {V4L2_CID_FOCUS_AUTO, V4L2_CID_FOCUS_ABSOLUTE, 0},
    {V4L2_CID_HUE_AUTO, V4L2_CID_HUE, 0},
    {V4L2_CID_AUTOBRIGHTNESS, V4L2_CID_BRIGHTNESS, 0},
    {V4L2_CID_ISO_SENSITIVITY_AUTO, V4L2_CID_ISO_SENSITIVITY, V4L2_ISO_SENSITIVITY_MANUAL},
    {V4L2_CID_CHROMA_AGC, V4L2_CID_CHROMA_GAIN, 0},
};

}  // namespace

bool isAutomaticMode(std::uint32_t id)
{
    for (const AutomaticMode& known : automaticModes)
        if (known.mode == id)
            return true;
    return false;
}

std::optional<AutomaticMode> automaticModeOf(std::uint32_t manual)
{
    for (const AutomaticMode& known : automaticModes)
        if (manual != 0 && known.manual == manual)
            return known;
    return std::nullopt;
}

}  // namespace capture
