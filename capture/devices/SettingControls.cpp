#include "SettingControls.h"

#include <algorithm>
#include <cctype>
#include <limits>

namespace capture {
namespace {

// "BacklightCompensation" reads "Backlight Compensation".
std::string spaced(std::string_view name)
{
    std::string label;
    for (const char c : name) {
        if (std::isupper(static_cast<unsigned char>(c)) && !label.empty())
            label += ' ';
        label += c;
    }
    return label;
}

std::optional<Member> settingOf(std::uint32_t id)
{
    for (const Member property : cameraProperties)
        if (static_cast<std::uint32_t>(number(property)) == id)
            return property;
    return std::nullopt;
}

ControlWrite outcome(SettingWrite written)
{
    switch (written) {
    case SettingWrite::Applied:
        return ControlWrite::Applied;
    case SettingWrite::Busy:
        return ControlWrite::Busy;
    case SettingWrite::Unsupported:
        break;
    }
    return ControlWrite::Gone;
}

}  // namespace

SettingControls::SettingControls(CameraSettings& settings, std::string section)
    : m_settings(settings), m_section(std::move(section))
{
}

std::optional<DeviceControl> SettingControls::read(std::uint32_t id)
{
    const auto property = settingOf(id);
    if (!property)
        return std::nullopt;
    const SettingRange range = m_settings.range(*property);
    if (!range.supported)
        return std::nullopt;
    DeviceControl control;
    control.id = id;
    control.kind = ControlKind::Integer;
    control.name = spaced(memberName(*property));
    control.key = std::string(memberName(*property));
    control.section = m_section;
    control.minimum = range.min;
    control.maximum = range.max;
    control.step = static_cast<std::uint64_t>(std::max(1, range.step));
    control.defaultValue = range.defaultValue;
    control.value = range.value;
    control.hasValue = true;
    return control;
}

std::vector<DeviceControl> SettingControls::list()
{
    std::vector<DeviceControl> controls;
    for (const Member property : cameraProperties)
        if (auto control = read(static_cast<std::uint32_t>(number(property))))
            controls.push_back(std::move(*control));
    return controls;
}

ControlWrite SettingControls::write(std::uint32_t id, std::int64_t value)
{
    const auto property = settingOf(id);
    if (!property)
        return ControlWrite::Gone;
    // The settings clamp what they are given; a 64-bit request is brought into 32 bits first.
    const auto narrowed = static_cast<std::int32_t>(std::clamp<std::int64_t>(
        value, std::numeric_limits<std::int32_t>::min(), std::numeric_limits<std::int32_t>::max()));
    return outcome(m_settings.set(*property, narrowed));
}

ControlWrite SettingControls::writeText(std::uint32_t, const std::string&)
{
    return ControlWrite::OutOfRange;
}

std::vector<std::pair<std::uint32_t, ControlWrite>> SettingControls::resetToDefaults()
{
    std::vector<std::pair<std::uint32_t, ControlWrite>> refused;
    for (const DeviceControl& control : list())
        if (const ControlWrite result = write(control.id, control.defaultValue); result != ControlWrite::Applied)
            refused.emplace_back(control.id, result);
    return refused;
}

}  // namespace capture
