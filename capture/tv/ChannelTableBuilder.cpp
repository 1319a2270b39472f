#include "ChannelTableBuilder.h"

#include <cstdio>
#include <utility>

namespace capture::tv {

ChannelTableBuilder::ChannelTableBuilder(std::string id)
{
    m_table.id = std::move(id);
}

ChannelTableBuilder& ChannelTableBuilder::band(std::string_view prefix, int first, int last, int numberBase,
                                               double stepMHz, double offsetMHz, int labelDigits)
{
    for (int n = first; n <= last; ++n) {
        char digits[16];
        std::snprintf(digits, sizeof digits, "%0*d", labelDigits, n);
        channel(std::string(prefix) + digits, numberBase + n, stepMHz * n + offsetMHz);
    }
    return *this;
}

ChannelTableBuilder& ChannelTableBuilder::channel(std::string label, int number, double frequencyMHz)
{
    std::string name = channelListName(number, label, frequencyMHz);
    m_table.channels.push_back(Channel{number, std::move(label), frequencyMHz, std::move(name)});
    return *this;
}

ChannelTableBuilder& ChannelTableBuilder::append(const ChannelTable& other)
{
    m_table.channels.insert(m_table.channels.end(), other.channels.begin(), other.channels.end());
    return *this;
}

ChannelTable ChannelTableBuilder::build()
{
    return std::move(m_table);
}

std::string channelListName(int number, const std::string& label, double frequencyMHz)
{
    char name[96];
    if (label == std::to_string(number))
        std::snprintf(name, sizeof name, "%d (%.2f MHz)", number, frequencyMHz);
    else
        std::snprintf(name, sizeof name, "%d (%s) %.2f MHz", number, label.c_str(), frequencyMHz);
    return name;
}

}  // namespace capture::tv
