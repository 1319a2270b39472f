#pragma once

#include "ChannelTables.h"

#include <string>
#include <string_view>

namespace capture::tv {

// Writes a channel table from its band plan: runs of channels whose vision carriers follow one
// formula, and the odd channel that follows none. Every channel gets its list name here, so that
// all tables name their channels alike.
class ChannelTableBuilder {
public:
    explicit ChannelTableBuilder(std::string id);

    // Channels prefix+N for N = first..last at stepMHz * N + offsetMHz, tuned by numberBase + N.
    // labelDigits pads N with zeros in the label ("S01", "001").
    ChannelTableBuilder& band(std::string_view prefix, int first, int last, int numberBase, double stepMHz,
                              double offsetMHz, int labelDigits = 0);
    ChannelTableBuilder& channel(std::string label, int number, double frequencyMHz);
    ChannelTableBuilder& append(const ChannelTable& other);

    ChannelTable build();

private:
    ChannelTable m_table;
};

// "21 (471.25 MHz)" for a channel tuned by its own label, "5 (E5) 175.25 MHz" for the others.
// Programs read the number from the start of the name skipping blanks and accepting a decimal
// point and an exponent, so what follows the number must open with something that cannot
// continue it: a parenthesis.
std::string channelListName(int number, const std::string& label, double frequencyMHz);

}  // namespace capture::tv
