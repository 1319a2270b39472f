#include "ChannelTables.h"

#include "BandPlans.h"

#include <cmath>

namespace capture::tv {

const ChannelTable* tableById(const std::string& id)
{
    for (const ChannelTable& table : bandPlans()) {
        if (table.id == id)
            return &table;
    }
    return nullptr;
}

std::vector<std::string> tableIds()
{
    std::vector<std::string> ids;
    for (const ChannelTable& table : bandPlans())
        ids.push_back(table.id);
    return ids;
}

const Channel* findChannel(const ChannelTable& table, double number)
{
    // The number arrives as the double a program read from a list name; only a whole number
    // names a channel, so 21.5 tunes nothing rather than 21 or 22.
    if (!std::isfinite(number) || number != std::trunc(number))
        return nullptr;
    for (const Channel& channel : table.channels) {
        if (channel.number == number)
            return &channel;
    }
    return nullptr;
}

const char* standardName(Standard standard)
{
    switch (standard) {
    case Standard::NtscM: return "NTSC-M";
    case Standard::NtscMJapan: return "NTSC-M-JP";
    case Standard::NtscMKorea: return "NTSC-M-KR";
    case Standard::PalBG: return "PAL-B/G";
    case Standard::PalI: return "PAL-I";
    case Standard::PalDK: return "PAL-D/K";
    case Standard::PalM: return "PAL-M";
    case Standard::PalNc: return "PAL-Nc";
    case Standard::SecamL: return "SECAM-L";
    case Standard::SecamDK: return "SECAM-D/K";
    }
    return "?";
}

}  // namespace capture::tv
