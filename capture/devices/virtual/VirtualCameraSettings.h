#pragma once

#include "SettingProfile.h"

#include "capture/devices/CameraSettings.h"

#include <atomic>
#include <mutex>

namespace capture {

// The picture settings of a virtual device. Written on the GUI thread, read by the streaming
// thread that renders: a write is visible to the next frame rendered after it returns.
class VirtualCameraSettings : public CameraSettings {
public:
    explicit VirtualCameraSettings(SettingProfile profile);

    SettingRange range(Member property) override;
    SettingWrite set(Member property, std::int32_t value) override;

    struct Snapshot {
        std::uint64_t generation;
        PictureAdjustments adjustments;
    };
    // Changes whenever a value does; cheap enough to read every frame.
    std::uint64_t generation() const { return m_generation.load(std::memory_order_acquire); }
    Snapshot snapshot() const;

private:
    const SettingDescription* settingFor(Member property) const;

    const SettingProfile m_profile;
    mutable std::mutex m_mutex;
    SettingValues m_values{};
    std::atomic<std::uint64_t> m_generation{1};
};

}  // namespace capture
