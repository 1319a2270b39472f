#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace capture {

struct TunerChannel {
    std::string name;  // begins with the number that tunes it
    double number = 0;
    bool available = true;  // carries a station (virtual tuner), has a signal now (the one a card is on) or in a scan
};

// How a tuner write ended that the card may refuse for the moment.
enum class TunerWrite {
    Done,  // applied, or nothing to do (a channel the table lacks)
    Busy,  // another program holds the card or its sound just now; nothing changed
};

// An analog TV tuner.
class Tuner {
public:
    virtual ~Tuner() = default;
    // Picks the channel table and the TV standard by telephone dialling code; a code without a
    // table gives an empty channel list.
    virtual void setCountryCode(double code) = 0;
    virtual std::vector<TunerChannel> channels() = 0;
    // Tunes to the channel of that number; a number the table lacks is ignored. A card that
    // another program holds for the moment answers Busy, so that a click does not end the
    // program; other failures raise.
    virtual TunerWrite tune(double channel) = 0;
    virtual TunerWrite setMute(bool muted) = 0;

    // Called after each channel of a scan; answering false stops the scan.
    using ScanProgress = std::function<bool(int done, int total)>;
    // Whether the tuner learns which channels carry a station by scanning them (a real card);
    // until it has, every channel but the one it is on counts as available.
    virtual bool canScan() const { return false; }
    // Tunes every channel of the table and marks those with a signal, as channels() then
    // answers. Takes seconds: run it off the GUI thread, never inside a start. A scan that is
    // stopped changes nothing.
    virtual void scan(const ScanProgress& progress) { (void)progress; }

    // The position, among the device's inputs, of the input this tuner feeds; nothing when the
    // tuner does not say (its device's first input, then).
    virtual std::optional<int> input() const { return std::nullopt; }
};

}  // namespace capture
