#pragma once

#include <optional>
#include <string>
#include <vector>

namespace capture {

struct TunerChannel {
    std::string name;  // begins with the number that tunes it
    double number = 0;
    bool available = true;  // carries a station (virtual tuner) or found by a scan
};

// An analog TV tuner.
class Tuner {
public:
    virtual ~Tuner() = default;
    // Picks the channel table and the TV standard by telephone dialling code; a code without a
    // table gives an empty channel list.
    virtual void setCountryCode(double code) = 0;
    virtual std::vector<TunerChannel> channels() = 0;
    // Tunes to the channel of that number; a number the table lacks is ignored.
    virtual void tune(double channel) = 0;
    virtual void setMute(bool muted) = 0;

    // The position, among the device's inputs, of the input this tuner feeds; nothing when the
    // tuner does not say (its device's first input, then).
    virtual std::optional<int> input() const { return std::nullopt; }
};

}  // namespace capture
