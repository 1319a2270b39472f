#include "BandPlans.h"

#include "ChannelTableBuilder.h"

namespace capture::tv {

// Channels named by letters get list numbers that no numeric channel of their table uses. The
// hundreds tell the band: 1xx the CCIR cable S channels (and the other lettered extras of a
// table), 2xx the CCIR SE channels, French H channels and US T channels, 3xx the OIRT R
// channels, 4xx the OIRT SR channels. The channel itself keeps its digits: S21 is 121, SR11 411.

namespace {

ChannelTable usBroadcast()
{
    return ChannelTableBuilder("us-bcast")
        .band("", 2, 4, 0, 6, 43.25)     // VHF low, 54-72 MHz
        .band("", 5, 6, 0, 6, 47.25)     // VHF low, 76-88 MHz
        .band("", 7, 13, 0, 6, 133.25)   // VHF high
        .band("", 14, 83, 0, 6, 387.25)  // UHF
        .build();
}

ChannelTable usCable()
{
    return ChannelTableBuilder("us-cable")
        .channel("1", 1, 73.25)
        .band("", 2, 4, 0, 6, 43.25)
        .band("", 5, 6, 0, 6, 47.25)
        .band("", 7, 13, 0, 6, 133.25)
        .band("", 14, 22, 0, 6, 37.25)   // midband A-I
        .band("", 23, 94, 0, 6, 79.25)   // superband and hyperband
        .band("", 95, 99, 0, 6, -478.75) // A-5..A-1, below channel 14
        .band("", 100, 125, 0, 6, 49.25)
        .band("T", 7, 14, 200, 6, -33.75) // sub-band return channels
        .build();
}

ChannelTable japanBroadcast()
{
    return ChannelTableBuilder("japan-bcast")
        .band("", 1, 3, 0, 6, 85.25)
        .band("", 4, 7, 0, 6, 147.25)
        .band("", 8, 12, 0, 6, 145.25)  // channel 8 overlaps 7 by 2 MHz
        .band("", 13, 62, 0, 6, 393.25)
        .build();
}

ChannelTable japanCable()
{
    return ChannelTableBuilder("japan-cable")
        .band("", 13, 21, 0, 6, 31.25)
        .channel("22", 22, 165.25)
        .channel("23", 23, 223.25)
        .channel("24", 24, 231.25)
        .band("", 25, 27, 0, 6, 87.25)
        .band("", 28, 63, 0, 6, 85.25)
        .build();
}

ChannelTable uhf21To69(const char* id)
{
    return ChannelTableBuilder(id).band("", 21, 69, 0, 8, 303.25).build();
}

ChannelTable europeWest()
{
    return ChannelTableBuilder("europe-west")
        .band("E", 2, 4, 0, 7, 34.25)
        .band("S", 1, 3, 100, 7, 62.25, 2)
        .band("E", 5, 12, 0, 7, 140.25)
        .band("SE", 1, 10, 200, 7, 98.25)
        .band("SE", 11, 20, 200, 7, 154.25)
        .band("S", 21, 41, 100, 8, 135.25)
        .append(uhf21To69("uhf"))
        .build();
}

ChannelTable europeEast()
{
    return ChannelTableBuilder("europe-east")
        .channel("R1", 301, 49.75)
        .channel("R2", 302, 59.25)
        .band("R", 3, 5, 300, 8, 53.25)
        .band("R", 6, 12, 300, 8, 127.25)
        .band("SR", 1, 8, 400, 8, 103.25)
        .band("SR", 11, 19, 400, 8, 143.25)  // SR9 and SR10 would fall on R6-R12
        .append(europeWest())
        .build();
}

ChannelTable italy()
{
    return ChannelTableBuilder("italy")
        .channel("A", 1, 53.75)
        .channel("B", 2, 62.25)
        .channel("C", 3, 82.25)
        .channel("D", 4, 175.25)
        .channel("E", 5, 183.75)
        .channel("F", 6, 192.25)
        .channel("G", 7, 201.25)
        .channel("H", 8, 210.25)
        .channel("H1", 9, 217.25)
        .channel("H2", 10, 224.25)
        .append(uhf21To69("uhf"))
        .build();
}

ChannelTable france()
{
    ChannelTableBuilder table("france");
    table.channel("K01", 1, 47.75)
        .channel("K02", 2, 55.75)
        .channel("K03", 3, 60.50)
        .channel("K04", 4, 63.75)
        .band("K", 5, 10, 0, 8, 136.00, 2);
    // Cable KB-KQ: numbered 100 + the letter's place in the alphabet.
    table.channel("KB", 102, 116.75).channel("KC", 103, 128.75).channel("KD", 104, 140.75);
    table.channel("KE", 105, 159.75).channel("KF", 106, 164.75);
    for (char letter = 'G'; letter <= 'Q'; ++letter)
        table.channel(std::string("K") + letter, 100 + (letter - 'A' + 1), 176.75 + 12.0 * (letter - 'G'));
    return table.band("H", 1, 19, 200, 8, 295.25, 2).append(uhf21To69("uhf")).build();
}

ChannelTable ireland()
{
    // A0-A36 interleave the Irish VHF channels (at .25 and .75) with the cable carriers.
    static constexpr double carriers[] = {
        45.75,  48.00,  53.75,  56.00,  61.75,  64.00,  175.25, 176.00, 183.25, 184.00,
        191.25, 192.00, 199.25, 200.00, 207.25, 208.00, 215.25, 216.00, 224.00, 232.00,
        248.00, 256.00, 264.00, 272.00, 280.00, 288.00, 296.00, 304.00, 312.00, 320.00,
        344.00, 352.00, 408.00, 416.00, 448.00, 480.00, 520.00,
    };
    ChannelTableBuilder table("ireland");
    int n = 0;
    for (double carrier : carriers) {
        table.channel("A" + std::to_string(n), 100 + n, carrier);
        ++n;
    }
    return table.append(uhf21To69("uhf")).build();
}

ChannelTable australia()
{
    // UHF 36-38 are not broadcast channels; every UHF entry follows 7N + 331.25.
    return ChannelTableBuilder("australia")
        .channel("0", 0, 46.25)
        .channel("1", 1, 57.25)
        .channel("2", 2, 64.25)
        .channel("3", 3, 86.25)
        .channel("4", 4, 95.25)
        .channel("5", 5, 102.25)
        .channel("5A", 105, 138.25)
        .band("", 6, 9, 0, 7, 133.25)
        .band("", 10, 12, 0, 7, 139.25)
        .band("", 28, 35, 0, 7, 331.25)
        .band("", 39, 69, 0, 7, 331.25)
        .build();
}

ChannelTable newZealand()
{
    return ChannelTableBuilder("newzealand")
        .channel("1", 1, 45.25)
        .channel("2", 2, 55.25)
        .channel("3", 3, 62.25)
        .band("", 4, 11, 0, 7, 147.25)
        .append(uhf21To69("uhf"))
        .build();
}

ChannelTable southAfrica()
{
    return ChannelTableBuilder("southafrica")
        .band("", 4, 13, 0, 8, 143.25)
        .append(uhf21To69("uhf"))
        .build();
}

ChannelTable chinaBroadcast()
{
    return ChannelTableBuilder("china-bcast")
        .band("", 1, 3, 0, 8, 41.75)
        .band("", 4, 5, 0, 8, 45.25)
        .band("", 6, 49, 0, 8, 64.25)
        .channel("50", 50, 463.25)  // squeezed in below UHF 471.25
        .band("", 51, 62, 0, 8, 63.25)
        .band("", 63, 94, 0, 8, 103.25)  // above the 566-606 MHz gap
        .build();
}

ChannelTable argentinaCable()
{
    // Argentine cable channel N sits 1 MHz above US cable channel N + 1.
    return ChannelTableBuilder("argentina")
        .band("", 1, 3, 0, 6, 50.25, 3)
        .band("", 4, 5, 0, 6, 54.25, 3)
        .band("", 6, 12, 0, 6, 140.25, 3)
        .band("", 13, 21, 0, 6, 44.25, 3)
        .band("", 22, 93, 0, 6, 86.25, 3)
        .build();
}

}  // namespace

const std::vector<ChannelTable>& bandPlans()
{
    static const std::vector<ChannelTable> tables = {
        usBroadcast(), usCable(),    japanBroadcast(), japanCable(),     europeWest(),
        europeEast(),  italy(),      france(),         ireland(),        australia(),
        newZealand(),  southAfrica(), chinaBroadcast(), argentinaCable(), uhf21To69("europe-west-uhf"),
    };
    return tables;
}

}  // namespace capture::tv
