#pragma once

#include "DeviceControls.h"
#include "VideoFormat.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace capture {

// One control's value as a person set it, by the kernel's id (names change between kernel
// versions); the key only helps a person reading the file.
struct KeptControl {
    std::uint32_t id = 0;
    ControlKind kind = ControlKind::Integer;
    std::int64_t value = 0;
    std::string text;  // a String control's value
    std::string key;

    bool operator==(const KeptControl&) const = default;
};

// What one camera keeps: its controls, and the input, TV standard (by the country code that
// chose it) and format it was used with.
struct KeptSettings {
    std::string camera;  // its identity (CameraIdentity.h)
    std::string name;    // what it was listed as, for a person
    bool keeping = true; // false: kept, but neither applied nor added to
    std::optional<int> input;
    std::optional<double> countryCode;
    std::optional<VideoFormat> format;
    std::vector<KeptControl> controls;  // in the order they were first set

    // Keeps this value of its control, replacing the one kept before.
    void keep(const KeptControl& control);
    bool operator==(const KeptSettings&) const = default;
};

// The file's text: a line per setting, readable and editable by a person.
std::string keptSettingsText(const KeptSettings& settings);

// What a file holds, and a sentence for each line that could not be read. Every good line is
// read, whatever comes before or after it; a file cut short says so.
struct KeptSettingsRead {
    KeptSettings settings;
    std::vector<std::string> problems;
};
KeptSettingsRead readKeptSettings(std::string_view text);

}  // namespace capture
