#include "DeviceControls.h"

#include <algorithm>
#include <cctype>

namespace capture {

std::int64_t alignToStep(std::int64_t minimum, std::int64_t maximum, std::uint64_t step, std::int64_t requested)
{
    const std::int64_t high = std::max(minimum, maximum);
    // A step past a billion moves nothing a person sets; capped so no sum below overflows.
    const std::int64_t grid = step == 0 ? 1 : static_cast<std::int64_t>(std::min<std::uint64_t>(step, 1u << 30));
    const std::int64_t clamped = std::clamp(requested, minimum, high);
    const std::int64_t lastOffset = (high - minimum) / grid * grid;
    return minimum + std::min((clamped - minimum + grid / 2) / grid * grid, lastOffset);
}

std::string controlKey(const std::string& name)
{
    std::string key;
    bool gap = false;
    for (const char c : name) {
        const auto byte = static_cast<unsigned char>(c);
        if (std::isalnum(byte)) {
            if (gap)
                key += '_';
            gap = false;
            key += static_cast<char>(std::tolower(byte));
        } else if (!key.empty()) {
            gap = true;
        }
    }
    return key;
}

}  // namespace capture
