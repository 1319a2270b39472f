#pragma once

#include "V4l2Controls.h"
#include "capture/devices/CameraSettings.h"

#include <map>

namespace capture {

// The ten picture settings on a V4L2 device's controls. A put is one write of a clamped,
// step-aligned value while the picture streams; a setting whose automatic mode is on has that
// mode switched off first so the put takes effect. Nothing here raises: a control the device
// refuses for the moment answers Busy, one it lacks or refuses outright Unsupported.
class V4l2CameraSettings final : public CameraSettings {
public:
    explicit V4l2CameraSettings(const V4l2File& file);

    SettingRange range(Member property) override;
    SettingWrite set(Member property, std::int32_t value) override;

private:
    // How a setting reaches the device.
    struct Binding {
        enum Kind { None, Plain, ColourEffect, ColourKiller } kind = None;
        V4l2ControlInfo control;
        std::uint32_t autoId = 0;  // the setting's automatic mode, 0 when it has none
    };

    Binding bind(Member property) const;
    const Binding& bindingFor(Member property);
    SettingWrite writePlain(const Binding& binding, std::int32_t value);
    SettingWrite writeColour(const Binding& binding, std::int32_t value);

    const V4l2File& m_file;
    // Filled when a range is read, so that a slider's stream of puts costs one write each.
    std::map<Member, Binding> m_bindings;
};

}  // namespace capture
