#pragma once

#include "capture/contract/Member.h"

#include <cstdint>

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

// The ten picture settings of one video device (members 8 to 17).
class CameraSettings {
public:
    virtual ~CameraSettings() = default;
    // The setting's range and current value, read from the device now.
    virtual SettingRange range(Member property) = 0;
    // Clamped to the range and aligned to its step, then one write to the device, applied while
    // the picture streams. Never raises for a value out of range.
    virtual SettingWrite set(Member property, std::int32_t value) = 0;
};

}  // namespace capture
