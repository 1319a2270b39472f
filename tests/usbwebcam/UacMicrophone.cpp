#include "UacMicrophone.h"

#include "Descriptors.h"
#include "capture/devices/virtual/SyncMark.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace usbwebcam {

namespace {

constexpr std::uint8_t requestCur = 0x01, requestRange = 0x02;
constexpr std::uint8_t samplingFrequencyControl = 0x01, clockValidControl = 0x02;
constexpr double toneHz = 1000.0;
constexpr double level = 0.5;  // the built-in "Test Tone"'s
constexpr std::size_t bytesPerFrame = audioChannels * sizeof(std::int16_t);

std::vector<std::uint8_t> little32(std::uint32_t value)
{
    return {std::uint8_t(value), std::uint8_t(value >> 8), std::uint8_t(value >> 16), std::uint8_t(value >> 24)};
}

}  // namespace

std::optional<std::vector<std::uint8_t>> UacMicrophone::request(const Setup& setup, std::span<const std::uint8_t> data)
{
    const auto entity = std::uint8_t(setup.index >> 8);
    const auto selector = std::uint8_t(setup.value >> 8);
    const bool get = setup.requestType & 0x80;
    if (entity != clockSourceId || (setup.index & 0xff) != audioControlInterface)
        return std::nullopt;
    std::vector<std::uint8_t> answer;
    if (selector == samplingFrequencyControl && get && setup.request == requestCur) {
        answer = little32(sampleRate);
    } else if (selector == samplingFrequencyControl && get && setup.request == requestRange) {
        // One sub-range holding the one rate: wNumSubRanges, then dMIN, dMAX, dRES.
        answer = {1, 0};
        for (const std::uint32_t value : {sampleRate, sampleRate, 0u}) {
            const auto bytes = little32(value);
            answer.insert(answer.end(), bytes.begin(), bytes.end());
        }
    } else if (selector == samplingFrequencyControl && !get && setup.request == requestCur) {
        if (data.size() < 4 || (data[0] | data[1] << 8 | data[2] << 16 | std::uint32_t(data[3]) << 24) != sampleRate)
            return std::nullopt;
    } else if (selector == clockValidControl && get && setup.request == requestCur) {
        answer = {1};
    } else {
        return std::nullopt;
    }
    if (answer.size() > setup.length)
        answer.resize(setup.length);
    return answer;
}

bool UacMicrophone::setAlternate(std::uint8_t alternate, std::uint64_t nowNs)
{
    if (alternate > 1)
        return false;
    if (alternate == 1 && m_alternate == 0) {
        m_startNs = nowNs;
        m_sent = 0;
    }
    m_alternate = alternate;
    return true;
}

std::uint64_t UacMicrophone::takenBy(std::uint64_t nowNs) const
{
    return nowNs > m_startNs ? (nowNs - m_startNs) * sampleRate / 1'000'000'000 : 0;
}

std::uint64_t UacMicrophone::nextDataNs(std::size_t packets, std::uint64_t packetNs, std::uint64_t nowNs) const
{
    if (m_alternate == 0)
        return nowNs;
    const std::uint64_t wanted = m_sent + std::min(packets * packetNs, batchNs) * sampleRate / 1'000'000'000;
    return std::max(nowNs, m_startNs + (wanted * 1'000'000'000 + sampleRate - 1) / sampleRate);
}

std::uint32_t UacMicrophone::fill(std::vector<IsoPacket>& packets, std::vector<std::uint8_t>& data,
                                  std::uint64_t nowNs, std::size_t packetsAfter)
{
    data.clear();
    const std::uint64_t taken = m_alternate == 0 ? m_sent : takenBy(nowNs);
    const std::uint64_t maxBacklog = maxBacklogNs * sampleRate / 1'000'000'000;
    if (taken > m_sent + maxBacklog)
        m_sent = taken - maxBacklog;
    for (std::size_t p = 0; p < packets.size(); ++p) {
        IsoPacket& packet = packets[p];
        packet.status = 0;
        const std::uint64_t left = packets.size() - p + packetsAfter;
        const std::uint64_t count
            = std::min<std::uint64_t>((taken - m_sent + left - 1) / left, packet.length / bytesPerFrame);
        packet.actualLength = std::uint32_t(count * bytesPerFrame);
        for (std::uint64_t i = 0; i < count; ++i, ++m_sent) {
            const std::uint64_t at = m_startNs + m_sent * 1'000'000'000 / sampleRate;
            const bool beep = at % capture::syncMarkPeriodNs < capture::syncBeepNs;
            m_phase += (beep ? capture::syncBeepHz : toneHz) / sampleRate;
            m_phase -= std::floor(m_phase);
            const auto sample = std::uint16_t(std::lround(level * 32767.0 * std::sin(2 * std::numbers::pi * m_phase)));
            for (std::size_t c = 0; c < audioChannels; ++c) {
                data.push_back(std::uint8_t(sample));
                data.push_back(std::uint8_t(sample >> 8));
            }
        }
    }
    return std::uint32_t(data.size());
}

}  // namespace usbwebcam
