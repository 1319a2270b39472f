#pragma once

#include "CameraSettings.h"
#include "DeviceControls.h"

namespace capture {

// The picture settings of a device that has nothing more (the built-in devices), offered as
// its controls: one integer control per supported setting, in member order, under one
// section. Only this object changes them while the page is open, so there is nothing to watch.
class SettingControls final : public DeviceControls {
public:
    SettingControls(CameraSettings& settings, std::string section);

    std::vector<DeviceControl> list() override;
    std::optional<DeviceControl> read(std::uint32_t id) override;
    ControlWrite write(std::uint32_t id, std::int64_t value) override;
    ControlWrite writeText(std::uint32_t id, const std::string& text) override;
    int watch(const std::vector<std::uint32_t>&) override { return -1; }
    void unwatch() override {}
    std::vector<std::uint32_t> changes() override { return {}; }
    std::vector<std::pair<std::uint32_t, ControlWrite>> resetToDefaults() override;

private:
    CameraSettings& m_settings;
    const std::string m_section;
};

}  // namespace capture
