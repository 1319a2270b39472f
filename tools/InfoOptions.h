#pragma once

#include <string>
#include <variant>
#include <vector>

namespace capture::info {

struct InfoOptions {
    enum class Mode { Overview, Device, Channels, KeptCameras, Help };
    Mode mode = Mode::Overview;
    int device = 0;           // --device N
    double countryCode = 0;   // --channels CODE
};

// The options of the command line (without the program's name), or the one line that says
// what is wrong with it.
std::variant<InfoOptions, std::string> parseInfoOptions(const std::vector<std::string>& arguments);

std::string usageText();

}  // namespace capture::info
