#pragma once

#include "AutomaticModes.h"
#include "DeviceControls.h"
#include "capture/contract/Member.h"

#include <cstdint>
#include <map>

namespace capture {

struct SettingRange {
    bool supported = false;
    std::int32_t min = 0;
    std::int32_t max = 0;
    std::int32_t step = 1;
    std::int32_t value = 0;
    std::int32_t defaultValue = 0;  // what the device starts with
};

enum class SettingWrite {
    Applied,
    Busy,         // the device refuses for the moment (another program holds it); nothing changed
    Unsupported,  // the device lacks the setting; nothing changed
};

// The ten picture settings (members 8 to 17) as controls of a device: each name maps to the
// control that holds it. A put is clamped to the control's range and aligned to its step, and
// turns that setting's automatic mode off first so that it takes effect; nothing here raises.
// A range is read from the device afresh (another program may have changed or grabbed a
// control); how a setting maps is kept from then on, so that a slider's stream of puts costs
// one write each, until the device refuses one.
class CameraSettings {
public:
    explicit CameraSettings(DeviceControls& controls) : m_controls(controls) {}

    SettingRange range(Member property);
    SettingWrite set(Member property, std::int32_t value);

private:
    // How a setting reaches the device: straight, or colour on and off through a control
    // whose value means the opposite or a colour effect.
    enum class Meaning { Plain, ColourEffect, ColourKiller };
    struct Binding {
        Meaning meaning = Meaning::Plain;
        DeviceControl control;
        std::optional<AutomaticMode> automatic;  // only a mode the device has and lets be set
    };
    std::optional<Binding> bind(Member property);
    SettingWrite writePlain(const Binding& binding, std::int32_t value);

    DeviceControls& m_controls;
    std::map<Member, Binding> m_bindings;
};

}  // namespace capture
