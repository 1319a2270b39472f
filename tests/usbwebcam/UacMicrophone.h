#pragma once

// The microphone function (USB Audio 2.0): its clock's class requests and a steady 1 kHz tone
// that turns into a 3 kHz beep of the same level for 100 ms at each sync mark.

#include "UsbIpLink.h"
#include "UvcCamera.h"  // Setup

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace usbwebcam {

// Its samples are taken on CLOCK_MONOTONIC, sample k of a stream at start + k / rate, and wait
// in the device until the host asks for them; a host that falls more than `maxBacklogNs` behind
// loses the oldest, as a device's buffer overflows.
//
// The host keeps a dozen one-millisecond transfers queued. Under emulation every round trip of
// one costs more than a millisecond, so the queued ones go back together once `batchNs` of sound
// is waiting, and the host picks them up in one go.
class UacMicrophone {
public:
    static constexpr std::uint64_t batchNs = 8'000'000;
    static constexpr std::uint64_t maxBacklogNs = 60'000'000;

    std::optional<std::vector<std::uint8_t>> request(const Setup& setup, std::span<const std::uint8_t> data);
    bool setAlternate(std::uint8_t alternate, std::uint64_t nowNs);
    std::uint8_t alternate() const { return m_alternate; }

    // When the transfers queued, `packets` packets each `packetNs` long, should go back.
    std::uint64_t nextDataNs(std::size_t packets, std::uint64_t packetNs, std::uint64_t nowNs) const;
    // Fills the packets of an isochronous IN transfer leaving at `nowNs` with samples waiting,
    // spread over them and the `packetsAfter` packets of the transfers going back with it; `data`
    // receives them back to back. Answers the bytes used.
    std::uint32_t fill(std::vector<IsoPacket>& packets, std::vector<std::uint8_t>& data, std::uint64_t nowNs,
                       std::size_t packetsAfter);

private:
    std::uint64_t takenBy(std::uint64_t nowNs) const;

    std::uint8_t m_alternate = 0;
    std::uint64_t m_startNs = 0;
    std::uint64_t m_sent = 0;  // samples of this stream sent so far
    double m_phase = 0;        // in turns, kept across transfers so the tone has no clicks
};

}  // namespace usbwebcam
