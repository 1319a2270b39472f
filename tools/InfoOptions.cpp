#include "InfoOptions.h"

#include <charconv>
#include <cmath>
#include <cstdlib>
#include <optional>

namespace capture::info {
namespace {

const char* const helpHint = " Run orvex-info --help for the options.";

std::optional<int> wholeNumber(const std::string& text)
{
    int value = 0;
    const char* end = text.data() + text.size();
    const auto [next, error] = std::from_chars(text.data(), end, value);
    if (text.empty() || error != std::errc() || next != end || value < 0)
        return std::nullopt;
    return value;
}

std::optional<double> countryCode(const std::string& text)
{
    if (text.empty() || text.find_first_of(" \t\n") != std::string::npos)
        return std::nullopt;
    char* end = nullptr;
    const double value = std::strtod(text.c_str(), &end);
    if (end != text.c_str() + text.size() || !std::isfinite(value) || value < 0)
        return std::nullopt;
    return value;
}

}  // namespace

std::variant<InfoOptions, std::string> parseInfoOptions(const std::vector<std::string>& arguments)
{
    InfoOptions options;
    if (arguments.empty())
        return options;

    std::string option = arguments[0];
    std::optional<std::string> value;
    if (const auto equals = option.find('='); option.rfind("--", 0) == 0 && equals != std::string::npos) {
        value = option.substr(equals + 1);
        option.resize(equals);
    }
    const std::size_t used = value ? 1 : 2;

    if ((option == "--help" || option == "-h") && !value && arguments.size() == 1) {
        options.mode = InfoOptions::Mode::Help;
        return options;
    }
    if (option == "--kept" && !value && arguments.size() == 1) {
        options.mode = InfoOptions::Mode::KeptCameras;
        return options;
    }
    if (option != "--device" && option != "--channels")
        return "orvex-info: unknown option \"" + arguments[0] + "\"." + helpHint;
    if (!value && arguments.size() >= 2)
        value = arguments[1];
    if (!value)
        return "orvex-info: " + option + " needs a value." + helpHint;
    if (arguments.size() > used)
        return "orvex-info: unexpected argument \"" + arguments[used] + "\"." + helpHint;

    if (option == "--device") {
        const auto number = wholeNumber(*value);
        if (!number)
            return "orvex-info: --device needs a device number (0, 1, ...), not \"" + *value + "\"." + helpHint;
        options.mode = InfoOptions::Mode::Device;
        options.device = *number;
        return options;
    }
    const auto code = countryCode(*value);
    if (!code)
        return "orvex-info: --channels needs a country's telephone dialling code such as 49, not \"" + *value
            + "\"." + helpHint;
    options.mode = InfoOptions::Mode::Channels;
    options.countryCode = *code;
    return options;
}

std::string usageText()
{
    return "Usage: orvex-info [--device N | --channels CODE | --kept]\n"
           "\n"
           "Without options: the video devices with their inputs and formats, the audio devices\n"
           "and the encoders that recordings can use, and the cameras that keep settings.\n"
           "  --device N        the ten picture settings of video device N (as numbered in the list)\n"
           "                    and whether it has a TV tuner\n"
           "  --channels CODE   the TV channels for a country's telephone dialling code (1, 44, 49...):\n"
           "                    each channel's name as the programs list it, and its frequency in MHz\n"
           "  --kept            only the cameras that keep settings, and what each keeps\n"
           "  --help            this text\n";
}

}  // namespace capture::info
