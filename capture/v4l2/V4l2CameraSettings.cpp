#include "V4l2CameraSettings.h"

#include <linux/videodev2.h>

#include <algorithm>
#include <cerrno>
#include <limits>

namespace capture {
namespace {

struct PlainMapping {
    Member property;
    std::uint32_t id;
    std::uint32_t autoId;
};

constexpr PlainMapping plainMappings[] = {
    {Member::Brightness, V4L2_CID_BRIGHTNESS, 0},
    {Member::Contrast, V4L2_CID_CONTRAST, 0},
    {Member::Hue, V4L2_CID_HUE, V4L2_CID_HUE_AUTO},
    {Member::Saturation, V4L2_CID_SATURATION, 0},
    {Member::Sharpness, V4L2_CID_SHARPNESS, 0},
    {Member::Gamma, V4L2_CID_GAMMA, 0},
    {Member::WhiteBalance, V4L2_CID_WHITE_BALANCE_TEMPERATURE, V4L2_CID_AUTO_WHITE_BALANCE},
    {Member::BacklightCompensation, V4L2_CID_BACKLIGHT_COMPENSATION, 0},
    {Member::Gain, V4L2_CID_GAIN, V4L2_CID_AUTOGAIN},
};

bool isSettable(const V4l2ControlInfo& info)
{
    switch (info.type) {
    case V4L2_CTRL_TYPE_INTEGER:
    case V4L2_CTRL_TYPE_BOOLEAN:
    case V4L2_CTRL_TYPE_MENU:
    case V4L2_CTRL_TYPE_INTEGER_MENU:
        return info.writable();
    default:
        return false;
    }
}

std::int32_t toInt32(std::int64_t value)
{
    return static_cast<std::int32_t>(
        std::clamp<std::int64_t>(value, std::numeric_limits<std::int32_t>::min(), std::numeric_limits<std::int32_t>::max()));
}

}  // namespace

V4l2CameraSettings::V4l2CameraSettings(const V4l2File& file) : m_file(file) {}

V4l2CameraSettings::Binding V4l2CameraSettings::bind(Member property) const
{
    Binding binding;
    if (property == Member::ColorEnable) {
        // Colour on and off as a colour effect when the menu has both, else as the inverse of
        // the colour killer.
        const auto effect = queryControl(m_file, V4L2_CID_COLORFX);
        if (effect && isSettable(*effect) && effect->type == V4L2_CTRL_TYPE_MENU
            && effect->minimum <= V4L2_COLORFX_NONE && effect->maximum >= V4L2_COLORFX_BW
            && hasMenuEntry(m_file, V4L2_CID_COLORFX, V4L2_COLORFX_NONE)
            && hasMenuEntry(m_file, V4L2_CID_COLORFX, V4L2_COLORFX_BW)) {
            binding.kind = Binding::ColourEffect;
            binding.control = *effect;
            return binding;
        }
        const auto killer = queryControl(m_file, V4L2_CID_COLOR_KILLER);
        if (killer && isSettable(*killer)) {
            binding.kind = Binding::ColourKiller;
            binding.control = *killer;
        }
        return binding;
    }

    for (const auto& mapping : plainMappings) {
        if (mapping.property != property)
            continue;
        const auto control = queryControl(m_file, mapping.id);
        if (control && isSettable(*control)) {
            binding.kind = Binding::Plain;
            binding.control = *control;
            // Only a mode the device has costs a read on each put.
            if (mapping.autoId) {
                const auto autoMode = queryControl(m_file, mapping.autoId);
                if (autoMode && autoMode->writable())
                    binding.autoId = mapping.autoId;
            }
        }
    }
    return binding;
}

const V4l2CameraSettings::Binding& V4l2CameraSettings::bindingFor(Member property)
{
    auto known = m_bindings.find(property);
    if (known == m_bindings.end())
        known = m_bindings.emplace(property, bind(property)).first;
    return known->second;
}

SettingRange V4l2CameraSettings::range(Member property)
{
    // Read afresh: another program may have grabbed, disabled or changed the control.
    const Binding& binding = m_bindings[property] = bind(property);
    SettingRange range;
    if (binding.kind == Binding::None)
        return range;

    std::int32_t current = 0;
    if (readControl(m_file, binding.control.id, current) != 0)
        return range;

    range.supported = true;
    switch (binding.kind) {
    case Binding::Plain:
        range.min = toInt32(binding.control.minimum);
        range.max = toInt32(binding.control.maximum);
        range.step = std::max<std::int32_t>(1, toInt32(static_cast<std::int64_t>(std::min<std::uint64_t>(binding.control.step, 1u << 30))));
        range.value = current;
        range.defaultValue = toInt32(binding.control.defaultValue);
        break;
    case Binding::ColourEffect:
        range.max = 1;
        range.value = current == V4L2_COLORFX_BW ? 0 : 1;
        break;
    case Binding::ColourKiller:
        range.max = 1;
        range.value = current ? 0 : 1;
        break;
    case Binding::None:
        break;
    }
    return range;
}

SettingWrite V4l2CameraSettings::set(Member property, std::int32_t value)
{
    const Binding binding = bindingFor(property);
    SettingWrite result = SettingWrite::Unsupported;
    switch (binding.kind) {
    case Binding::Plain:
        result = writePlain(binding, value);
        break;
    case Binding::ColourEffect:
    case Binding::ColourKiller:
        result = writeColour(binding, value);
        break;
    case Binding::None:
        break;
    }
    // A refusal may mean the control changed since it was read (disabled, made read-only, or
    // the device came back): look again on the next put.
    if (result == SettingWrite::Unsupported)
        m_bindings.erase(property);
    return result;
}

SettingWrite V4l2CameraSettings::writePlain(const Binding& binding, std::int32_t value)
{
    // While the automatic mode is on, the device overrides whatever is written.
    std::int32_t autoMode = 0;
    const bool autoWasOn = binding.autoId && readControl(m_file, binding.autoId, autoMode) == 0 && autoMode != 0;
    if (autoWasOn) {
        const int error = writeControl(m_file, binding.autoId, 0);
        if (error == EBUSY)
            return SettingWrite::Busy;
    }

    const int error = writeControl(m_file, binding.control.id, alignToControl(binding.control, value));
    if (error == 0)
        return SettingWrite::Applied;

    // Nothing may change when the put does not: give the automatic mode back.
    if (autoWasOn)
        writeControl(m_file, binding.autoId, autoMode);
    return error == EBUSY ? SettingWrite::Busy : SettingWrite::Unsupported;
}

SettingWrite V4l2CameraSettings::writeColour(const Binding& binding, std::int32_t value)
{
    const bool colour = value > 0;
    std::int32_t written;
    if (binding.kind == Binding::ColourEffect)
        written = colour ? V4L2_COLORFX_NONE : V4L2_COLORFX_BW;
    else
        written = colour ? 0 : 1;

    const int error = writeControl(m_file, binding.control.id, written);
    if (error == 0)
        return SettingWrite::Applied;
    return error == EBUSY ? SettingWrite::Busy : SettingWrite::Unsupported;
}

}  // namespace capture
