#pragma once

#include <cstdint>
#include <optional>

namespace capture {

// A control whose value decides whether a manual partner takes effect, and the value that
// hands the picture back to the manual one.
struct AutomaticMode {
    std::uint32_t mode;
    std::uint32_t manual;       // the partner it overrides; 0 when it overrides several
    std::int32_t manualValue;   // the mode's value that leaves the partner in effect
};

// Whether a control is an automatic mode (a driver may also mark its own with FLAG_UPDATE).
bool isAutomaticMode(std::uint32_t id);
// The automatic mode that overrides this manual control, if any.
std::optional<AutomaticMode> automaticModeOf(std::uint32_t manual);

}  // namespace capture
