#pragma once

#include "V4l2File.h"
#include "V4l2Inputs.h"
#include "capture/devices/Tuner.h"
#include "capture/tv/ChannelTables.h"

#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

namespace capture {

// The analog TV tuner of a V4L2 card, on the same channel tables as the virtual tuner.
// Frequencies go to the driver in its unit (62.5 kHz, or 62.5 Hz for a tuner with
// V4L2_TUNER_CAP_LOW), rounded to the nearest unit and clamped to the tuner's range.
//
// The channel the tuner is on is available when the driver reports a signal there (read when
// the channels are asked for, once the tuner has settled after a tune); the others count as
// available until scan() has looked for stations. The members may be called from two threads (a scan on a worker, the window's tuning on the
// GUI thread); each ioctl sequence is serialised.
class V4l2Tuner final : public Tuner {
public:
    using Sleep = std::function<void(std::chrono::milliseconds)>;

    // The tuner of the first analog-TV tuner input, or nothing when the node has none.
    static std::unique_ptr<V4l2Tuner> find(const V4l2File& file, const std::vector<V4l2InputInfo>& inputs,
                                           Sleep sleep = {});

    void setCountryCode(double code) override;
    std::vector<TunerChannel> channels() override;
    TunerWrite tune(double channel) override;
    TunerWrite setMute(bool muted) override;
    // ENUMINPUT numbers the inputs from 0 without gaps, so the index is the position.
    std::optional<int> input() const override { return static_cast<int>(m_input); }

    // Tunes every channel of the table in turn, waits for the tuner to settle and marks the
    // channels that report a signal; then tunes back to where it was. A scan takes seconds:
    // run it from a page the user opened, never while the window waits on a start. A scan
    // that is stopped leaves the channels as they were.
    bool canScan() const override { return true; }
    void scan(const ScanProgress& progress = {}) override;
    void setSettleDelay(std::chrono::milliseconds delay);

    std::uint32_t inputIndex() const { return m_input; }
    std::uint32_t tunerIndex() const { return m_tuner; }
    bool usesLowUnits() const;

    // The standard chosen by the country code, to be set before the device streams; nothing
    // before a country with a table was chosen.
    std::optional<std::uint64_t> standard() const;
    // Sets the chosen standard now; 0, or the errno of the failure (EBUSY while streaming).
    int applyStandard();

    // The frequency the driver reports, in MHz; nothing when it cannot be read.
    std::optional<double> frequencyMHz() const;
    // 0 to 65535 as the driver reports it; -1 when it cannot be read.
    int signal() const;

    // Exposed for the unit arithmetic's own test.
    static std::uint32_t toUnits(double megahertz, bool lowUnits);

private:
    V4l2Tuner(const V4l2File& file, std::uint32_t input, std::uint32_t tuner, Sleep sleep);

    struct Range {
        std::uint32_t capability = 0;
        std::uint32_t low = 0;
        std::uint32_t high = 0;
    };
    // Where the tuner is and whether a station is there; nothing when it cannot be told (the
    // device is on another input, or does not answer).
    struct Reception {
        std::uint32_t units = 0;
        Range range;
        bool station = false;
    };
    std::optional<Reception> receptionLocked();
    std::uint32_t unitsOf(const tv::Channel& channel, const Range& range) const;
    // 0 or errno; the channel's name for a message.
    int tuneLocked(double channel, std::string& label);
    int muteLocked(bool muted);
    int readRange(Range& range) const;  // 0 or errno
    int setFrequency(std::uint32_t units);
    std::optional<std::uint32_t> readFrequency() const;
    int applyStandardLocked();

    const V4l2File& m_file;
    const std::uint32_t m_input;
    const std::uint32_t m_tuner;
    Sleep m_sleep;

    mutable std::mutex m_mutex;
    std::chrono::milliseconds m_settle{150};
    const tv::ChannelTable* m_table = nullptr;
    std::optional<tv::Standard> m_standard;
    // When the frequency was last set: a tuner's signal means little before it has settled.
    std::optional<std::chrono::steady_clock::time_point> m_tunedAt;
    // Scan results per table: channel number to whether it carries a station.
    std::map<std::string, std::map<int, bool>> m_found;
};

}  // namespace capture
