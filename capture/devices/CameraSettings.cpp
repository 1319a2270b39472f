#include "CameraSettings.h"

#include <linux/videodev2.h>

#include <algorithm>
#include <limits>

namespace capture {
namespace {

std::uint32_t plainControl(Member property)
{
    switch (property) {
    case Member::Brightness: return V4L2_CID_BRIGHTNESS;
    case Member::Contrast: return V4L2_CID_CONTRAST;
    case Member::Hue: return V4L2_CID_HUE;
    case Member::Saturation: return V4L2_CID_SATURATION;
    case Member::Sharpness: return V4L2_CID_SHARPNESS;
    case Member::Gamma: return V4L2_CID_GAMMA;
    case Member::WhiteBalance: return V4L2_CID_WHITE_BALANCE_TEMPERATURE;
    case Member::BacklightCompensation: return V4L2_CID_BACKLIGHT_COMPENSATION;
    case Member::Gain: return V4L2_CID_GAIN;
    default: return 0;
    }
}

bool settable(const DeviceControl& control)
{
    switch (control.kind) {
    case ControlKind::Integer:
    case ControlKind::Boolean:
    case ControlKind::Menu:
    case ControlKind::IntegerMenu:
        return control.writable() && control.hasValue;
    default:
        return false;
    }
}

bool offers(const DeviceControl& control, std::int64_t entry)
{
    return std::any_of(control.menu.begin(), control.menu.end(),
                       [entry](const ControlMenuEntry& offered) { return offered.index == entry; });
}

std::int32_t toInt32(std::int64_t value)
{
    return static_cast<std::int32_t>(std::clamp<std::int64_t>(value, std::numeric_limits<std::int32_t>::min(),
                                                              std::numeric_limits<std::int32_t>::max()));
}

SettingWrite outcome(ControlWrite written)
{
    switch (written) {
    case ControlWrite::Applied: return SettingWrite::Applied;
    case ControlWrite::Busy: return SettingWrite::Busy;
    default: return SettingWrite::Unsupported;
    }
}

}  // namespace

std::optional<CameraSettings::Binding> CameraSettings::bind(Member property)
{
    if (property != Member::ColorEnable) {
        const std::uint32_t id = plainControl(property);
        auto control = id ? m_controls.read(id) : std::nullopt;
        if (!control || !settable(*control))
            return std::nullopt;
        Binding binding{Meaning::Plain, std::move(*control), automaticModeOf(id)};
        if (binding.automatic) {
            const auto mode = m_controls.read(binding.automatic->mode);
            if (!mode || !mode->writable())
                binding.automatic.reset();
        }
        return binding;
    }
    // Colour on and off as a colour effect where its menu has both, else as the inverse of
    // the colour killer.
    auto effect = m_controls.read(V4L2_CID_COLORFX);
    if (effect && settable(*effect) && effect->kind == ControlKind::Menu && offers(*effect, V4L2_COLORFX_NONE)
        && offers(*effect, V4L2_COLORFX_BW))
        return Binding{Meaning::ColourEffect, std::move(*effect), std::nullopt};
    auto killer = m_controls.read(V4L2_CID_COLOR_KILLER);
    if (killer && settable(*killer))
        return Binding{Meaning::ColourKiller, std::move(*killer), std::nullopt};
    return std::nullopt;
}

SettingRange CameraSettings::range(Member property)
{
    m_bindings.erase(property);
    const auto binding = bind(property);
    if (!binding)
        return {};
    m_bindings[property] = *binding;
    const DeviceControl& control = binding->control;
    SettingRange range;
    range.supported = true;
    switch (binding->meaning) {
    case Meaning::Plain:
        range.min = toInt32(control.minimum);
        range.max = toInt32(control.maximum);
        range.step = std::max<std::int32_t>(1, toInt32(static_cast<std::int64_t>(std::min<std::uint64_t>(control.step, 1u << 30))));
        range.value = toInt32(control.value);
        range.defaultValue = toInt32(control.defaultValue);
        break;
    case Meaning::ColourEffect:
        range.max = 1;
        range.value = control.value == V4L2_COLORFX_BW ? 0 : 1;
        range.defaultValue = control.defaultValue == V4L2_COLORFX_BW ? 0 : 1;
        break;
    case Meaning::ColourKiller:
        range.max = 1;
        range.value = control.value ? 0 : 1;
        range.defaultValue = control.defaultValue ? 0 : 1;
        break;
    }
    return range;
}

SettingWrite CameraSettings::set(Member property, std::int32_t value)
{
    auto known = m_bindings.find(property);
    if (known == m_bindings.end()) {
        auto binding = bind(property);
        if (!binding)
            return SettingWrite::Unsupported;
        known = m_bindings.emplace(property, std::move(*binding)).first;
    }
    const Binding& binding = known->second;
    const bool colour = value > 0;
    SettingWrite written = SettingWrite::Unsupported;
    switch (binding.meaning) {
    case Meaning::Plain:
        written = writePlain(binding, value);
        break;
    case Meaning::ColourEffect:
        written = outcome(m_controls.write(binding.control.id, colour ? V4L2_COLORFX_NONE : V4L2_COLORFX_BW));
        break;
    case Meaning::ColourKiller:
        written = outcome(m_controls.write(binding.control.id, colour ? 0 : 1));
        break;
    }
    // A refusal may mean the control changed since it was read (disabled, made read-only, or
    // the device came back): look again on the next put.
    if (written == SettingWrite::Unsupported)
        m_bindings.erase(property);
    return written;
}

SettingWrite CameraSettings::writePlain(const Binding& binding, std::int32_t value)
{
    // While its automatic mode is on, the device overrides whatever is written.
    const auto& automatic = binding.automatic;
    const auto mode = automatic ? m_controls.value(automatic->mode) : std::nullopt;
    const bool modeWasOn = mode && *mode != automatic->manualValue;
    if (modeWasOn && m_controls.write(automatic->mode, automatic->manualValue) == ControlWrite::Busy)
        return SettingWrite::Busy;

    const SettingWrite written = outcome(m_controls.write(binding.control.id, alignToStep(std::max<std::int64_t>(binding.control.minimum, std::numeric_limits<std::int32_t>::min()),
                                                                  std::min<std::int64_t>(binding.control.maximum, std::numeric_limits<std::int32_t>::max()),
                                                                  binding.control.step, value)));
    // Nothing may change when the put does not: the automatic mode goes back on.
    if (written != SettingWrite::Applied && modeWasOn)
        m_controls.write(automatic->mode, *mode);
    return written;
}

}  // namespace capture
