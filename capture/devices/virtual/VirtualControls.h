#pragma once

#include "SettingProfile.h"

#include "capture/devices/DeviceControls.h"

#include <atomic>
#include <mutex>

namespace capture {

// The controls of a built-in device, as its profile offers them. Written on the GUI thread,
// read by the streaming thread that renders: a write is visible to the next frame rendered
// after it returns. Only this object changes them, so there is nothing to watch.
class VirtualControls final : public DeviceControls {
public:
    explicit VirtualControls(SettingProfile profile);

    std::vector<DeviceControl> list() override;
    std::optional<DeviceControl> read(std::uint32_t id) override;
    std::optional<std::int64_t> value(std::uint32_t id) override;
    ControlWrite write(std::uint32_t id, std::int64_t value) override;
    ControlWrite writeText(std::uint32_t id, const std::string& text) override;
    int watch(const std::vector<std::uint32_t>&) override { return -1; }
    void unwatch() override {}
    std::vector<std::uint32_t> changes() override { return {}; }
    std::vector<std::pair<std::uint32_t, ControlWrite>> resetToDefaults() override;

    struct Snapshot {
        std::uint64_t generation;
        PictureAdjustments adjustments;
    };
    // Changes whenever a value does; cheap enough to read every frame.
    std::uint64_t generation() const { return m_generation.load(std::memory_order_acquire); }
    Snapshot snapshot() const;

private:
    const SettingDescription* describe(std::uint32_t id) const;

    const SettingProfile m_profile;
    mutable std::mutex m_mutex;
    SettingValues m_values;
    std::atomic<std::uint64_t> m_generation{1};
};

}  // namespace capture
