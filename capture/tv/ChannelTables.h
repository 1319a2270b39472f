#pragma once

#include <optional>
#include <string>
#include <vector>

namespace capture::tv {

// Analog TV standards the tables are used with.
enum class Standard { NtscM, NtscMJapan, NtscMKorea, PalBG, PalI, PalDK, PalM, PalNc, SecamL, SecamDK };

struct Channel {
    int number;             // what the list name begins with and what tunes it; unique per table
    std::string label;      // the channel's own name in its band plan: "E5", "21", "SE1"
    double frequencyMHz;    // vision carrier
    std::string name;       // as the control lists it; begins with `number`
};

struct ChannelTable {
    std::string id;  // "europe-west"
    std::vector<Channel> channels;
};

struct CountryChoice {
    const ChannelTable* table;
    Standard standard;
};

// The table and standard for a telephone dialling code; nothing for a code without a table.
std::optional<CountryChoice> countryFor(double dialCode);

// Every table by id ("us-bcast", "europe-west"...; "europe-west-uhf" is the UK's choice of
// UHF 21-69 only); nullptr for an unknown id.
const ChannelTable* tableById(const std::string& id);
std::vector<std::string> tableIds();

// The channel of the table that this number tunes; nullptr when the table lacks it (a number
// that is not whole tunes nothing).
const Channel* findChannel(const ChannelTable& table, double number);

// "PAL-B/G", "NTSC-M"...: for lists and messages.
const char* standardName(Standard standard);

}  // namespace capture::tv
