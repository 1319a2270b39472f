#include "SimulatedTuner.h"

#include <cmath>
#include <cstdint>
#include <utility>

namespace capture {

SimulatedTuner::SimulatedTuner(std::shared_ptr<Studio> studio)
    : m_studio(std::move(studio)), m_country(tv::countryFor(1))
{
}

bool SimulatedTuner::carriesStation(double frequencyMHz)
{
    // A 64-bit mix of the carrier in kHz: stable across runs and machines.
    std::uint64_t x = std::uint64_t(std::llround(frequencyMHz * 1000));
    x ^= x >> 33;
    x *= 0xff51afd7ed558ccdull;
    x ^= x >> 33;
    x *= 0xc4ceb9fe1a85ec53ull;
    x ^= x >> 33;
    return x % 3 == 0;
}

void SimulatedTuner::setCountryCode(double code)
{
    std::lock_guard lock(m_mutex);
    const auto country = tv::countryFor(code);
    const tv::ChannelTable* oldTable = m_country ? m_country->table : nullptr;
    const tv::ChannelTable* newTable = country ? country->table : nullptr;
    m_country = country;
    // Putting the same country again (as a control does on every start) keeps the channel.
    if (newTable != oldTable)
        m_tuned = nullptr;
}

std::vector<TunerChannel> SimulatedTuner::channels()
{
    std::lock_guard lock(m_mutex);
    std::vector<TunerChannel> list;
    if (!m_country)
        return list;
    for (const tv::Channel& channel : m_country->table->channels)
        list.push_back(TunerChannel{channel.name, double(channel.number), carriesStation(channel.frequencyMHz)});
    return list;
}

TunerWrite SimulatedTuner::tune(double channel)
{
    std::lock_guard lock(m_mutex);
    if (!m_country)
        return TunerWrite::Done;
    if (const tv::Channel* found = tv::findChannel(*m_country->table, channel))
        m_tuned = found;
    return TunerWrite::Done;
}

TunerWrite SimulatedTuner::setMute(bool muted)
{
    m_studio->setMuted(muted);
    return TunerWrite::Done;
}

std::optional<int> SimulatedTuner::station() const
{
    std::lock_guard lock(m_mutex);
    if (m_tuned && carriesStation(m_tuned->frequencyMHz))
        return m_tuned->number;
    return std::nullopt;
}

std::optional<int> SimulatedTuner::tunedChannel() const
{
    std::lock_guard lock(m_mutex);
    if (m_tuned)
        return m_tuned->number;
    return std::nullopt;
}

std::optional<tv::Standard> SimulatedTuner::standard() const
{
    std::lock_guard lock(m_mutex);
    if (m_country)
        return m_country->standard;
    return std::nullopt;
}

}  // namespace capture
