#include "DeviceControls.h"

#include <cctype>

namespace capture {

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
