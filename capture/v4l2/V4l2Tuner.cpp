#include "V4l2Tuner.h"

#include "V4l2Controls.h"
#include "V4l2Standards.h"
#include "capture/devices/DeviceFailure.h"

#include <linux/videodev2.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <limits>
#include <thread>

namespace capture {
namespace {

// Drivers report 0 to 65535, many of them only the two ends; a quarter of the scale is a
// picture worth listing.
constexpr int stationSignal = 16384;

// A device that has gone away is reported by the stream; a tuning click must not add to it.
bool isGone(int error)
{
    return error == ENODEV;
}

void raiseTuneFailure(int error, const std::string& label)
{
    if (error != 0 && !isGone(error))
        throw DeviceError({.kind = DeviceFailure::Kind::TuneRefused, .value = label, .error = error});
}

void raiseMuteFailure(int error, bool muted)
{
    if (error != 0 && !isGone(error))
        throw DeviceError({.kind = DeviceFailure::Kind::MuteRefused, .error = error, .muted = muted});
}

}  // namespace

std::unique_ptr<V4l2Tuner> V4l2Tuner::find(const V4l2File& file, const std::vector<V4l2InputInfo>& inputs, Sleep sleep)
{
    if (!(deviceCapabilities(file) & V4L2_CAP_TUNER))
        return nullptr;
    for (const auto& input : inputs) {
        if (input.type != V4L2_INPUT_TYPE_TUNER)
            continue;
        v4l2_tuner tuner{};
        tuner.index = input.tuner;
        if (file.ioctl(VIDIOC_G_TUNER, &tuner) == 0 && tuner.type == V4L2_TUNER_ANALOG_TV) {
            if (!sleep)
                sleep = [](std::chrono::milliseconds delay) { std::this_thread::sleep_for(delay); };
            return std::unique_ptr<V4l2Tuner>(new V4l2Tuner(file, input.index, input.tuner, std::move(sleep)));
        }
    }
    return nullptr;
}

V4l2Tuner::V4l2Tuner(const V4l2File& file, std::uint32_t input, std::uint32_t tuner, Sleep sleep)
    : m_file(file), m_input(input), m_tuner(tuner), m_sleep(std::move(sleep))
{
}

std::uint32_t V4l2Tuner::toUnits(double megahertz, bool lowUnits)
{
    const double units = std::round(megahertz * (lowUnits ? 16000.0 : 16.0));
    return static_cast<std::uint32_t>(std::clamp(units, 0.0, double(std::numeric_limits<std::uint32_t>::max())));
}

void V4l2Tuner::setCountryCode(double code)
{
    const auto choice = tv::countryFor(code);
    std::lock_guard lock(m_mutex);
    if (!choice) {
        m_table = nullptr;
        m_standard.reset();
        return;
    }
    m_table = choice->table;
    m_standard = choice->standard;
    // While the device streams the driver refuses (EBUSY); the standard is set again before
    // the next stream starts. A card that lacks the standard keeps its own.
    applyStandardLocked();
}

std::vector<TunerChannel> V4l2Tuner::channels()
{
    std::lock_guard lock(m_mutex);
    std::vector<TunerChannel> channels;
    if (!m_table)
        return channels;
    const auto found = m_found.find(m_table->id);
    const std::optional<Reception> reception = receptionLocked();
    for (const auto& channel : m_table->channels) {
        TunerChannel entry;
        entry.name = channel.name;
        entry.number = channel.number;
        if (found != m_found.end()) {
            const auto result = found->second.find(channel.number);
            entry.available = result != found->second.end() && result->second;
        }
        // What the tuner receives now outweighs what a scan found there earlier. Unclamped: a
        // channel beyond the tuner's reach is not the one at the edge of its range.
        if (reception
            && toUnits(channel.frequencyMHz, reception->range.capability & V4L2_TUNER_CAP_LOW) == reception->units)
            entry.available = reception->station;
        channels.push_back(std::move(entry));
    }
    return channels;
}

std::optional<V4l2Tuner::Reception> V4l2Tuner::receptionLocked()
{
    // The signal a driver reports is the current input's: on the card's Composite input it
    // says nothing about the tuner.
    int current = -1;
    if (m_file.ioctl(VIDIOC_G_INPUT, &current) != 0 || current != static_cast<int>(m_input))
        return std::nullopt;
    const std::optional<std::uint32_t> units = readFrequency();
    if (!units)
        return std::nullopt;
    // Only right after a tune: the wait is one settle delay at most, never a scan.
    if (m_tunedAt) {
        const auto since = std::chrono::steady_clock::now() - *m_tunedAt;
        if (since < m_settle)
            m_sleep(std::chrono::ceil<std::chrono::milliseconds>(m_settle - since));
    }
    v4l2_tuner tuner{};
    tuner.index = m_tuner;
    if (m_file.ioctl(VIDIOC_G_TUNER, &tuner) != 0)
        return std::nullopt;
    Reception reception;
    reception.units = *units;
    reception.range = {tuner.capability, tuner.rangelow, tuner.rangehigh};
    reception.station = static_cast<int>(tuner.signal) >= stationSignal;
    return reception;
}

std::uint32_t V4l2Tuner::unitsOf(const tv::Channel& channel, const Range& range) const
{
    const std::uint32_t units = toUnits(channel.frequencyMHz, range.capability & V4L2_TUNER_CAP_LOW);
    return std::clamp(units, range.low, std::max(range.low, range.high));
}

TunerWrite V4l2Tuner::tune(double channel)
{
    std::lock_guard lock(m_mutex);
    std::string label;
    const int error = tuneLocked(channel, label);
    if (error == EBUSY)
        return TunerWrite::Busy;
    raiseTuneFailure(error, label);
    return TunerWrite::Done;
}

int V4l2Tuner::tuneLocked(double channel, std::string& label)
{
    if (!m_table)
        return 0;
    const tv::Channel* wanted = tv::findChannel(*m_table, channel);
    if (!wanted)
        return 0;
    label = wanted->label;

    Range range;
    int error = readRange(range);
    if (error == 0)
        error = setFrequency(unitsOf(*wanted, range));
    return error;
}

TunerWrite V4l2Tuner::setMute(bool muted)
{
    std::lock_guard lock(m_mutex);
    const int error = muteLocked(muted);
    if (error == EBUSY)
        return TunerWrite::Busy;
    raiseMuteFailure(error, muted);
    return TunerWrite::Done;
}

int V4l2Tuner::muteLocked(bool muted)
{
    // A card without an audio mute has nothing to mute.
    if (!hasControl(m_file, V4L2_CID_AUDIO_MUTE))
        return 0;
    return writeControl(m_file, V4L2_CID_AUDIO_MUTE, muted ? 1 : 0);
}

void V4l2Tuner::scan(const ScanProgress& progress)
{
    const tv::ChannelTable* table;
    Range range;
    int error;
    std::optional<std::uint32_t> before;
    std::chrono::milliseconds settle;
    {
        std::lock_guard lock(m_mutex);
        table = m_table;
        error = readRange(range);
        before = readFrequency();
        settle = m_settle;
    }
    if (!table || error != 0)
        return;

    const auto restore = [&] {
        std::lock_guard lock(m_mutex);
        if (before)
            setFrequency(*before);
    };

    std::map<int, bool> found;
    const int total = static_cast<int>(table->channels.size());
    int done = 0;
    for (const auto& channel : table->channels) {
        const std::uint32_t units = toUnits(channel.frequencyMHz, range.capability & V4L2_TUNER_CAP_LOW);
        // A channel the tuner cannot reach would be measured at the edge of its range.
        const bool reachable = units >= range.low && units <= range.high;
        bool tuned = false;
        if (reachable) {
            std::lock_guard lock(m_mutex);
            tuned = setFrequency(units) == 0;
        }
        if (tuned) {
            m_sleep(settle);
            std::lock_guard lock(m_mutex);
            found[channel.number] = signal() >= stationSignal;
        } else {
            found[channel.number] = false;
        }
        ++done;
        if (progress && !progress(done, total)) {
            restore();
            return;
        }
    }

    restore();
    std::lock_guard lock(m_mutex);
    m_found[table->id] = std::move(found);
}

void V4l2Tuner::setSettleDelay(std::chrono::milliseconds delay)
{
    std::lock_guard lock(m_mutex);
    m_settle = delay;
}

bool V4l2Tuner::usesLowUnits() const
{
    Range range;
    return readRange(range) == 0 && (range.capability & V4L2_TUNER_CAP_LOW);
}

std::optional<std::uint64_t> V4l2Tuner::standard() const
{
    std::lock_guard lock(m_mutex);
    if (!m_standard)
        return std::nullopt;
    return v4l2Standard(*m_standard);
}

int V4l2Tuner::applyStandard()
{
    std::lock_guard lock(m_mutex);
    return applyStandardLocked();
}

int V4l2Tuner::applyStandardLocked()
{
    if (!m_standard)
        return 0;
    v4l2_std_id id = v4l2Standard(*m_standard);
    int error = m_file.ioctl(VIDIOC_S_STD, &id);
    if (error == EINVAL) {
        if (v4l2_std_id wider = v4l2StandardFallback(*m_standard)) {
            id = wider;
            error = m_file.ioctl(VIDIOC_S_STD, &id);
        }
    }
    return error;
}

std::optional<double> V4l2Tuner::frequencyMHz() const
{
    Range range;
    const auto units = readFrequency();
    if (readRange(range) != 0 || !units)
        return std::nullopt;
    return *units / ((range.capability & V4L2_TUNER_CAP_LOW) ? 16000.0 : 16.0);
}

int V4l2Tuner::signal() const
{
    v4l2_tuner tuner{};
    tuner.index = m_tuner;
    if (m_file.ioctl(VIDIOC_G_TUNER, &tuner) != 0)
        return -1;
    return tuner.signal;
}

int V4l2Tuner::readRange(Range& range) const
{
    v4l2_tuner tuner{};
    tuner.index = m_tuner;
    const int error = m_file.ioctl(VIDIOC_G_TUNER, &tuner);
    if (error == 0)
        range = {tuner.capability, tuner.rangelow, tuner.rangehigh};
    return error;
}

int V4l2Tuner::setFrequency(std::uint32_t units)
{
    v4l2_frequency frequency{};
    frequency.tuner = m_tuner;
    frequency.type = V4L2_TUNER_ANALOG_TV;
    frequency.frequency = units;
    const int error = m_file.ioctl(VIDIOC_S_FREQUENCY, &frequency);
    if (error == 0)
        m_tunedAt = std::chrono::steady_clock::now();
    return error;
}

std::optional<std::uint32_t> V4l2Tuner::readFrequency() const
{
    v4l2_frequency frequency{};
    frequency.tuner = m_tuner;
    if (m_file.ioctl(VIDIOC_G_FREQUENCY, &frequency) != 0)
        return std::nullopt;
    return frequency.frequency;
}

}  // namespace capture
