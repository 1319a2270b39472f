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

// Every table by id ("us-bcast", "europe-west"...); nullptr for an unknown id.
const ChannelTable* tableById(const std::string& id);
std::vector<std::string> tableIds();

// The channel of the table that this number tunes; nullptr when the table lacks it.
const Channel* findChannel(const ChannelTable& table, double number);

}  // namespace capture::tv
