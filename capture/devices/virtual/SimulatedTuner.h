#pragma once

#include "Studio.h"

#include "capture/devices/Tuner.h"
#include "capture/tv/ChannelTables.h"

#include <memory>
#include <mutex>
#include <optional>

namespace capture {

// The virtual TV card's tuner. The air it listens to has a station on about a third of all
// vision carriers, chosen by frequency, so a channel that two tables share (E5 and R6 at
// 175.25 MHz) is alike in both. Until it is told a country it uses code 1's table.
class SimulatedTuner : public Tuner {
public:
    explicit SimulatedTuner(std::shared_ptr<Studio> studio);

    void setCountryCode(double code) override;
    std::vector<TunerChannel> channels() override;
    TunerWrite tune(double channel) override;
    TunerWrite setMute(bool muted) override;

    // The tuned channel's number when a station sends on it; nothing when there is no channel
    // tuned or only noise.
    std::optional<int> station() const;
    std::optional<int> tunedChannel() const;
    std::optional<tv::Standard> standard() const;

    static bool carriesStation(double frequencyMHz);

private:
    std::shared_ptr<Studio> m_studio;
    mutable std::mutex m_mutex;
    std::optional<tv::CountryChoice> m_country;
    const tv::Channel* m_tuned = nullptr;
};

}  // namespace capture
