#include "VirtualCameraSettings.h"

#include <algorithm>
#include <cmath>
#include <utility>

namespace capture {

VirtualCameraSettings::VirtualCameraSettings(SettingProfile profile) : m_profile(std::move(profile))
{
    for (const SettingDescription& s : m_profile.settings)
        m_values[settingIndex(s.property)] = s.neutral;
}

const SettingDescription* VirtualCameraSettings::settingFor(Member property) const
{
    for (const SettingDescription& s : m_profile.settings) {
        if (s.property == property)
            return &s;
    }
    return nullptr;
}

SettingRange VirtualCameraSettings::range(Member property)
{
    const SettingDescription* s = settingFor(property);
    if (!s)
        return SettingRange{};
    std::lock_guard lock(m_mutex);
    return SettingRange{true, s->min, s->max, s->step, m_values[settingIndex(property)], s->neutral};
}

SettingWrite VirtualCameraSettings::set(Member property, std::int32_t value)
{
    const SettingDescription* s = settingFor(property);
    if (!s)
        return SettingWrite::Unsupported;
    // Clamp, then take the nearest step; a range whose top is off the step grid keeps the top
    // step below it. 64-bit, so values near the ends of int32 cannot overflow.
    const std::int64_t clamped = std::clamp<std::int64_t>(value, s->min, s->max);
    const std::int64_t steps = std::llround(double(clamped - s->min) / s->step);
    std::int64_t aligned = s->min + steps * s->step;
    if (aligned > s->max)
        aligned -= s->step;

    std::lock_guard lock(m_mutex);
    std::int32_t& current = m_values[settingIndex(property)];
    if (current != aligned) {
        current = std::int32_t(aligned);
        m_generation.fetch_add(1, std::memory_order_acq_rel);
    }
    return SettingWrite::Applied;
}

VirtualCameraSettings::Snapshot VirtualCameraSettings::snapshot() const
{
    std::lock_guard lock(m_mutex);
    return Snapshot{m_generation.load(std::memory_order_acquire), m_profile.adjustments(m_values)};
}

}  // namespace capture
