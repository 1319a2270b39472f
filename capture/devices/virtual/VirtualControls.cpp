#include "VirtualControls.h"

#include <algorithm>
#include <utility>

namespace capture {

VirtualControls::VirtualControls(SettingProfile profile) : m_profile(std::move(profile))
{
    for (const SettingDescription& s : m_profile.settings)
        m_values[s.id] = s.neutral;
}

const SettingDescription* VirtualControls::describe(std::uint32_t id) const
{
    for (const SettingDescription& s : m_profile.settings)
        if (s.id == id)
            return &s;
    return nullptr;
}

std::optional<DeviceControl> VirtualControls::read(std::uint32_t id)
{
    const SettingDescription* s = describe(id);
    if (!s)
        return std::nullopt;
    DeviceControl control;
    control.id = id;
    control.kind = s->min == 0 && s->max == 1 ? ControlKind::Boolean : ControlKind::Integer;
    control.name = s->name;
    control.key = controlKey(s->name);
    control.section = "User Controls";
    control.minimum = s->min;
    control.maximum = s->max;
    control.step = static_cast<std::uint64_t>(s->step);
    control.defaultValue = s->neutral;
    std::lock_guard lock(m_mutex);
    control.value = m_values.at(id);
    control.hasValue = true;
    return control;
}

std::vector<DeviceControl> VirtualControls::list()
{
    std::vector<DeviceControl> controls;
    for (const SettingDescription& s : m_profile.settings)
        controls.push_back(*read(s.id));
    return controls;
}

std::optional<std::int64_t> VirtualControls::value(std::uint32_t id)
{
    std::lock_guard lock(m_mutex);
    const auto known = m_values.find(id);
    if (known == m_values.end())
        return std::nullopt;
    return known->second;
}

ControlWrite VirtualControls::write(std::uint32_t id, std::int64_t value)
{
    const SettingDescription* s = describe(id);
    if (!s)
        return ControlWrite::Gone;
    const std::int64_t aligned = alignToStep(s->min, s->max, static_cast<std::uint64_t>(s->step), value);

    std::lock_guard lock(m_mutex);
    std::int32_t& current = m_values.at(id);
    if (current != aligned) {
        current = static_cast<std::int32_t>(aligned);
        m_generation.fetch_add(1, std::memory_order_acq_rel);
    }
    return ControlWrite::Applied;
}

ControlWrite VirtualControls::writeText(std::uint32_t id, const std::string&)
{
    return describe(id) ? ControlWrite::OutOfRange : ControlWrite::Gone;
}

std::vector<std::pair<std::uint32_t, ControlWrite>> VirtualControls::resetToDefaults()
{
    for (const SettingDescription& s : m_profile.settings)
        write(s.id, s.neutral);
    return {};
}

VirtualControls::Snapshot VirtualControls::snapshot() const
{
    std::lock_guard lock(m_mutex);
    return Snapshot{m_generation.load(std::memory_order_acquire), m_profile.adjustments(m_values)};
}

}  // namespace capture
