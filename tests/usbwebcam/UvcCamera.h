#pragma once

// The camera function: its controls and their class requests, the probe and commit of a
// format, and the frames cut into isochronous packets with UVC payload headers.

#include "Descriptors.h"
#include "JpegFrames.h"
#include "UsbIpLink.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <vector>

namespace usbwebcam {

struct Setup {
    std::uint8_t requestType, request;
    std::uint16_t value, index, length;
    static Setup of(const std::array<std::uint8_t, 8>& raw);
};

class UvcCamera {
public:
    // `errorEvery`: every so many frames, one packet carries the payload header's error bit (0: never).
    explicit UvcCamera(unsigned errorEvery = 0);

    // A class request to the control or streaming interface: the data to return (empty for a
    // SET), or nothing to stall it.
    std::optional<std::vector<std::uint8_t>> request(const Setup& setup, std::span<const std::uint8_t> data);
    // The streaming interface's alternate setting: 0 stops, others stream the committed format.
    bool setAlternate(std::uint8_t alternate, std::uint64_t nowNs);
    std::uint8_t alternate() const { return m_alternate; }

    // When the next transfer has something to carry: now while a frame is on its way out, else
    // when the next frame is due.
    std::uint64_t nextDataNs(std::uint64_t nowNs) const;
    // Fills the packets of an isochronous IN transfer leaving at `sentNs` (CLOCK_MONOTONIC);
    // `data` receives the packets back to back. Answers the bytes used.
    std::uint32_t fill(std::vector<IsoPacket>& packets, std::vector<std::uint8_t>& data, std::uint64_t sentNs);

private:
    struct Control {
        std::uint8_t entity, selector, size;
        bool isSigned;
        std::int32_t min, max, res, def, cur;
        bool bitmap = false;  // the value is one bit of res's bitmap (auto-exposure mode)
    };
    struct Streaming {
        std::uint8_t format = 1, frame = 1;
        std::uint32_t interval = frameIntervals[0];
    };
    Control* find(std::uint8_t entity, std::uint8_t selector);
    std::optional<std::vector<std::uint8_t>> controlRequest(const Setup& setup, std::span<const std::uint8_t> data);
    std::optional<std::vector<std::uint8_t>> streamingRequest(const Setup& setup, std::span<const std::uint8_t> data);
    std::vector<std::uint8_t> probeBlock(const Streaming& streaming) const;
    bool refusedInAutomaticMode(const Control& control) const;
    std::int32_t value(std::uint8_t entity, std::uint8_t selector) const;
    void startFrame(std::uint64_t sentNs);
    std::span<const std::uint8_t> jpegFrame(FrameSize size, bool marked, std::uint64_t framesToMark);

    std::vector<Control> m_controls;
    std::uint8_t m_errorCode = 0;
    unsigned m_errorEvery;
    // ORVEX_USB_WEBCAM_BROKEN_EVERY=N: every Nth Motion JPEG frame (one with the sync mark
    // excepted) is sent cut short or as garbage between its markers, with no error bit.
    std::uint32_t m_brokenEvery = 0;
    // ORVEX_USB_WEBCAM_RESET_EXPOSURE=1: the exposure time goes back to its default each time
    // streaming starts, as many real cameras do.
    bool m_resetsExposure = false;
    Streaming m_probe, m_committed;
    std::uint8_t m_alternate = 0;

    // The frame on its way out.
    std::unique_ptr<JpegFrames> m_jpeg;
    const std::vector<std::uint8_t>* m_lastJpeg = nullptr;  // the last plain frame sent, of m_jpeg's size
    std::vector<std::uint8_t> m_yuyv;
    std::span<const std::uint8_t> m_frame;
    std::vector<std::uint8_t> m_broken;  // a Motion JPEG frame broken on purpose
    std::size_t m_sent = 0;
    bool m_inFrame = false;
    bool m_errorFrame = false;
    std::uint8_t m_fid = 0;
    std::uint32_t m_frameCount = 0;
    std::uint64_t m_nextFrameNs = 0;
    std::uint64_t m_nextMarkNs = 0;
};

}  // namespace usbwebcam
