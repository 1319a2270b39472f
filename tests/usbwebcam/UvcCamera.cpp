#include "UvcCamera.h"

#include "capture/devices/virtual/SyncMark.h"
#include "tests/support/emulator/EmulatedPictures.h"

#include <algorithm>
#include <bit>
#include <cstdlib>
#include <string_view>

namespace usbwebcam {

namespace {

enum Request : std::uint8_t {
    setCur = 0x01, getCur = 0x81, getMin = 0x82, getMax = 0x83, getRes = 0x84, getLen = 0x85, getInfo = 0x86,
    getDef = 0x87
};
// The request error codes a camera leaves in its VC_REQUEST_ERROR_CODE_CONTROL.
enum ErrorCode : std::uint8_t {
    noError = 0, wrongState = 2, outOfRange = 4, invalidUnit = 5, invalidControl = 6, invalidRequest = 7,
    invalidValue = 8
};
constexpr std::uint8_t requestErrorCodeControl = 0x02;
constexpr std::uint8_t probeControl = 0x01, commitControl = 0x02;
constexpr std::size_t probeSize = 26;  // UVC 1.0 (bcdUVC 0x0100)
constexpr std::uint8_t headerLength = 2;
constexpr std::uint8_t endOfHeader = 0x80, errorBit = 0x40, endOfFrame = 0x02;

// Processing unit and camera terminal selectors.
constexpr std::uint8_t puBrightness = 0x02, puWhiteBalanceTemperature = 0x0a, puWhiteBalanceAuto = 0x0b;
constexpr std::uint8_t ctAutoExposureMode = 0x02, ctExposureAbsolute = 0x04, ctFocusAbsolute = 0x06,
                       ctFocusAuto = 0x08;
constexpr std::int32_t aeManual = 0x01, aeAperturePriority = 0x08;

std::vector<std::uint8_t> little(std::int64_t value, std::size_t size)
{
    std::vector<std::uint8_t> out(size);
    for (std::size_t i = 0; i < size; ++i)
        out[i] = std::uint8_t(std::uint64_t(value) >> (8 * i));
    return out;
}

std::uint32_t readLe(std::span<const std::uint8_t> data, std::size_t at, std::size_t size)
{
    std::uint32_t value = 0;
    for (std::size_t i = 0; i < size; ++i)
        value |= std::uint32_t(data[at + i]) << (8 * i);
    return value;
}

// The streaming alternate setting whose packets carry what the format needs each microframe
// (Motion JPEG frames are taken as a fifth of the raw size).
std::uint32_t payloadTransferSize(const VideoFormat& format, FrameSize size, std::uint32_t interval)
{
    const std::uint64_t bytes = maxFrameBytes(size) / (format.mjpeg ? 5 : 1);
    const std::uint64_t perMicroframe = bytes * 10'000'000 / interval / 8000 + headerLength;
    for (const std::uint16_t packet : videoPacketSizes)
        if (packet >= perMicroframe)
            return packet;
    return videoPacketSizes.back();
}

}  // namespace

Setup Setup::of(const std::array<std::uint8_t, 8>& raw)
{
    return {raw[0], raw[1], std::uint16_t(raw[2] | raw[3] << 8), std::uint16_t(raw[4] | raw[5] << 8),
            std::uint16_t(raw[6] | raw[7] << 8)};
}

UvcCamera::UvcCamera(unsigned errorEvery)
    : m_errorEvery(errorEvery), m_brokenEvery(std::uint32_t(std::strtoul(std::getenv("ORVEX_USB_WEBCAM_BROKEN_EVERY") ?: "0", nullptr, 10))),
      m_resetsExposure(std::string_view(std::getenv("ORVEX_USB_WEBCAM_RESET_EXPOSURE") ?: "") == "1")
{
    constexpr std::uint8_t pu = processingUnitId, ct = cameraTerminalId;
    // entity, selector, size, signed, min, max, res, default, current
    m_controls = {
        {pu, 0x01, 2, false, 0, 2, 1, 1, 1},                // backlight compensation
        {pu, puBrightness, 2, true, -64, 64, 1, 0, 0},
        {pu, 0x03, 2, false, 0, 64, 1, 32, 32},             // contrast
        {pu, 0x04, 2, false, 0, 100, 1, 0, 0},              // gain
        {pu, 0x05, 1, false, 0, 2, 1, 1, 1},                // power line frequency: off, 50 Hz, 60 Hz
        {pu, 0x06, 2, true, -40, 40, 1, 0, 0},              // hue
        {pu, 0x07, 2, false, 0, 128, 1, 64, 64},            // saturation
        {pu, 0x08, 2, false, 0, 6, 1, 3, 3},                // sharpness
        {pu, 0x09, 2, false, 72, 500, 1, 100, 100},         // gamma
        {pu, puWhiteBalanceTemperature, 2, false, 2800, 6500, 10, 4600, 4600},
        {pu, puWhiteBalanceAuto, 1, false, 0, 1, 1, 1, 1},
        {ct, ctAutoExposureMode, 1, false, 0, 0, aeManual | aeAperturePriority, aeAperturePriority,
         aeAperturePriority, true},
        {ct, 0x03, 1, false, 0, 1, 1, 0, 0},                // auto-exposure priority
        {ct, ctExposureAbsolute, 4, false, 3, 2047, 1, 156, 156},  // 100 us units
        {ct, ctFocusAbsolute, 2, false, 0, 250, 5, 0, 0},
        {ct, ctFocusAuto, 1, false, 0, 1, 1, 1, 1},
    };
}

UvcCamera::Control* UvcCamera::find(std::uint8_t entity, std::uint8_t selector)
{
    const auto found = std::ranges::find_if(m_controls, [&](const Control& control) {
        return control.entity == entity && control.selector == selector;
    });
    return found == m_controls.end() ? nullptr : &*found;
}

std::int32_t UvcCamera::value(std::uint8_t entity, std::uint8_t selector) const
{
    return const_cast<UvcCamera*>(this)->find(entity, selector)->cur;
}

// A manual setting whose automatic partner is on belongs to the camera, as on real ones.
bool UvcCamera::refusedInAutomaticMode(const Control& control) const
{
    if (control.entity == processingUnitId && control.selector == puWhiteBalanceTemperature)
        return value(processingUnitId, puWhiteBalanceAuto) != 0;
    if (control.entity == cameraTerminalId && control.selector == ctExposureAbsolute)
        return value(cameraTerminalId, ctAutoExposureMode) != aeManual;
    if (control.entity == cameraTerminalId && control.selector == ctFocusAbsolute)
        return value(cameraTerminalId, ctFocusAuto) != 0;
    return false;
}

std::optional<std::vector<std::uint8_t>> UvcCamera::request(const Setup& setup, std::span<const std::uint8_t> data)
{
    const auto interface = std::uint8_t(setup.index & 0xff);
    auto answer = interface == videoControlInterface ? controlRequest(setup, data)
                                                     : streamingRequest(setup, data);
    if (answer && answer->size() > setup.length)
        answer->resize(setup.length);
    return answer;
}

std::optional<std::vector<std::uint8_t>> UvcCamera::controlRequest(const Setup& setup,
                                                                   std::span<const std::uint8_t> data)
{
    const auto entity = std::uint8_t(setup.index >> 8);
    const auto selector = std::uint8_t(setup.value >> 8);
    if (entity == 0) {
        // Reading the code is itself a request that succeeds.
        const std::uint8_t code = std::exchange(m_errorCode, noError);
        if (selector == requestErrorCodeControl && setup.request == getCur)
            return std::vector<std::uint8_t>{code};
        if (selector == requestErrorCodeControl && setup.request == getInfo)
            return std::vector<std::uint8_t>{0x01};
        m_errorCode = invalidControl;
        return std::nullopt;
    }
    Control* control = find(entity, selector);
    if (!control) {
        const bool unit = entity == cameraTerminalId || entity == processingUnitId;
        m_errorCode = unit ? invalidControl : invalidUnit;
        return std::nullopt;
    }
    auto refuse = [this](ErrorCode code) -> std::optional<std::vector<std::uint8_t>> {
        m_errorCode = code;
        return std::nullopt;
    };
    m_errorCode = noError;
    switch (setup.request) {
    case getCur:
        return little(control->cur, control->size);
    case getMin:
    case getMax:
        // A mode bitmap has no range; its GET_RES lists the modes.
        if (control->bitmap)
            return refuse(invalidRequest);
        return little(setup.request == getMin ? control->min : control->max, control->size);
    case getRes:
        return little(control->res, control->size);
    case getDef:
        return little(control->def, control->size);
    case getLen:
        return little(control->size, 2);
    case getInfo:
        // GET and SET; "disabled by an automatic mode" while its partner is automatic; "changes
        // by itself" for the exposure time of a camera that puts it back as it starts streaming.
        return std::vector<std::uint8_t>{std::uint8_t(0x03 | (refusedInAutomaticMode(*control) ? 0x04 : 0)
                                                      | (m_resetsExposure && selector == ctExposureAbsolute
                                                                 && entity == cameraTerminalId ? 0x08 : 0))};
    case setCur: {
        if (data.size() < control->size)
            return refuse(invalidRequest);
        std::int64_t value = readLe(data, 0, control->size);
        if (control->isSigned && control->size < 4 && value >= (std::int64_t(1) << (8 * control->size - 1)))
            value -= std::int64_t(1) << (8 * control->size);
        else if (control->isSigned)
            value = std::int32_t(value);
        if (refusedInAutomaticMode(*control))
            return refuse(wrongState);
        if (control->bitmap) {
            if (std::popcount(std::uint32_t(value)) != 1 || (value & control->res) == 0)
                return refuse(outOfRange);
        } else if (value < control->min || value > control->max) {
            return refuse(outOfRange);
        } else if ((value - control->min) % control->res != 0) {
            return refuse(invalidValue);
        }
        control->cur = std::int32_t(value);
        return std::vector<std::uint8_t>{};
    }
    default:
        return refuse(invalidRequest);
    }
}

std::vector<std::uint8_t> UvcCamera::probeBlock(const Streaming& streaming) const
{
    const VideoFormat& format = videoFormats[streaming.format - 1];
    const FrameSize size = format.frames[streaming.frame - 1];
    std::vector<std::uint8_t> out(probeSize, 0);
    out[2] = streaming.format;
    out[3] = streaming.frame;
    std::ranges::copy(little(streaming.interval, 4), out.begin() + 4);
    std::ranges::copy(little(maxFrameBytes(size), 4), out.begin() + 18);
    std::ranges::copy(little(payloadTransferSize(format, size, streaming.interval), 4), out.begin() + 22);
    return out;
}

std::optional<std::vector<std::uint8_t>> UvcCamera::streamingRequest(const Setup& setup,
                                                                     std::span<const std::uint8_t> data)
{
    const auto selector = std::uint8_t(setup.value >> 8);
    if (setup.index >> 8 != 0 || (selector != probeControl && selector != commitControl))
        return std::nullopt;
    Streaming& target = selector == probeControl ? m_probe : m_committed;
    switch (setup.request) {
    case getInfo:
        return std::vector<std::uint8_t>{0x03};
    case getLen:
        return little(probeSize, 2);
    case getCur:
    case getMin:
    case getMax:
        return probeBlock(target);
    case getDef:
        return probeBlock(Streaming{});
    case setCur: {
        if (data.size() < probeSize)
            return std::nullopt;
        // Negotiation: an unknown format or frame falls back to the first, an interval to the
        // nearest one offered; a commit must name what the probe can give.
        Streaming asked{data[2], data[3], readLe(data, 4, 4)};
        const bool known = asked.format >= 1 && asked.format <= videoFormats.size() && asked.frame >= 1
                           && asked.frame <= videoFormats[0].frames.size();
        if (!known && selector == commitControl)
            return std::nullopt;
        if (!known)
            asked.format = asked.frame = 1;
        asked.interval = *std::ranges::min_element(frameIntervals, {}, [&](std::uint32_t offered) {
            return std::abs(std::int64_t(offered) - std::int64_t(asked.interval));
        });
        target = asked;
        return std::vector<std::uint8_t>{};
    }
    default:
        return std::nullopt;
    }
}

bool UvcCamera::setAlternate(std::uint8_t alternate, std::uint64_t nowNs)
{
    if (alternate > videoPacketSizes.size())
        return false;
    if (alternate != 0 && m_alternate == 0) {
        if (m_resetsExposure) {
            Control* exposure = find(cameraTerminalId, ctExposureAbsolute);
            exposure->cur = exposure->def;
        }
        m_inFrame = false;
        m_nextFrameNs = nowNs;
        m_nextMarkNs = (nowNs + capture::syncMarkPeriodNs - 1) / capture::syncMarkPeriodNs * capture::syncMarkPeriodNs;
    }
    m_alternate = alternate;
    return true;
}

std::uint64_t UvcCamera::nextDataNs(std::uint64_t nowNs) const
{
    return m_alternate == 0 || m_inFrame ? nowNs : std::max(nowNs, m_nextFrameNs);
}

std::span<const std::uint8_t> UvcCamera::jpegFrame(FrameSize size, bool marked, std::uint64_t framesToMark)
{
    if (!m_jpeg || m_jpeg->size().width != size.width || m_jpeg->size().height != size.height) {
        m_jpeg = std::make_unique<JpegFrames>(size);
        m_lastJpeg = nullptr;
    }
    // The frame that will carry the next mark is encoded first.
    m_jpeg->want(std::uint32_t((m_frameCount + framesToMark) % capture::emulated::cameraCycle), true);
    const std::vector<std::uint8_t>* frame = m_jpeg->find(m_frameCount, marked);
    // While the cycle is being encoded a mark goes out on a marked frame nearby, other frames
    // repeat the last plain one (never the box, or it would stay on until the next mark); the
    // very first is the cycle's first, encoded before the camera was plugged in.
    if (!frame && marked)
        frame = m_jpeg->nearestMarked(m_frameCount);
    if (!frame && !marked && m_lastJpeg)
        frame = m_lastJpeg;
    if (!frame)
        frame = &capture::emulated::cameraJpegFrame(size.width, size.height, 0, marked);
    if (!marked)
        m_lastJpeg = frame;
    return *frame;
}

void UvcCamera::startFrame(std::uint64_t sentNs)
{
    const FrameSize size = videoFormats[m_committed.format - 1].frames[m_committed.frame - 1];
    const std::uint64_t intervalNs = std::uint64_t(m_committed.interval) * 100;
    // The frame whose span, from when its first packet leaves, holds a mark carries the box;
    // a mark that fell between two spans goes to the next frame.
    const bool marked = sentNs + intervalNs > m_nextMarkNs;
    if (marked)
        m_nextMarkNs = (sentNs + intervalNs + capture::syncMarkPeriodNs - 1) / capture::syncMarkPeriodNs
                       * capture::syncMarkPeriodNs;
    if (videoFormats[m_committed.format - 1].mjpeg) {
        m_frame = jpegFrame(size, marked, (m_nextMarkNs - sentNs) / intervalNs);
        const auto damage = capture::emulated::jpegDamage(m_frameCount, marked ? 0 : m_brokenEvery);
        if (damage != capture::emulated::JpegDamage::None) {
            m_broken.assign(m_frame.begin(), m_frame.end());
            m_broken.resize(capture::emulated::damageJpeg(m_broken, damage, m_frameCount));
            m_frame = m_broken;
        }
    } else {
        m_yuyv.resize(maxFrameBytes(size));
        capture::emulated::drawBars(m_yuyv, size.width, size.height, m_frameCount,
                                    value(processingUnitId, puBrightness));
        if (marked) {
            const capture::SyncBox box = capture::syncBoxOf(size.width, size.height);
            for (int y = box.y; y < box.y + box.size; ++y)
                for (int x = box.x; x < box.x + box.size; ++x) {
                    m_yuyv[(std::size_t(y) * size.width + x) * 2] = 235;
                    m_yuyv[(std::size_t(y) * size.width + x) * 2 + 1] = 128;
                }
        }
        m_frame = m_yuyv;
    }
    m_errorFrame = m_errorEvery != 0 && m_frameCount % m_errorEvery == m_errorEvery - 1;
    ++m_frameCount;
    m_sent = 0;
    m_inFrame = true;
    m_nextFrameNs += intervalNs;
    if (m_nextFrameNs <= sentNs)  // fell behind: keep the rate from now on
        m_nextFrameNs = sentNs + intervalNs;
}

std::uint32_t UvcCamera::fill(std::vector<IsoPacket>& packets, std::vector<std::uint8_t>& data, std::uint64_t sentNs)
{
    data.clear();
    const std::size_t maxPacket = m_alternate == 0 ? 0 : videoPacketSizes[m_alternate - 1];
    for (IsoPacket& packet : packets) {
        packet.actualLength = 0;
        packet.status = 0;
        const std::size_t room = std::min<std::size_t>(packet.length, maxPacket);
        if (room <= headerLength)
            continue;
        if (!m_inFrame && sentNs >= m_nextFrameNs)
            startFrame(sentNs);
        if (!m_inFrame)
            continue;  // between frames a camera's packets are empty
        const std::size_t chunk = std::min(room - headerLength, m_frame.size() - m_sent);
        const bool last = m_sent + chunk == m_frame.size();
        const bool error = m_errorFrame && m_sent == 0;
        data.push_back(headerLength);
        data.push_back(std::uint8_t(endOfHeader | m_fid | (last ? endOfFrame : 0) | (error ? errorBit : 0)));
        data.insert(data.end(), m_frame.begin() + std::ptrdiff_t(m_sent), m_frame.begin() + std::ptrdiff_t(m_sent + chunk));
        packet.actualLength = std::uint32_t(headerLength + chunk);
        m_sent += chunk;
        if (last) {
            m_inFrame = false;
            m_fid ^= 1;
        }
    }
    return std::uint32_t(data.size());
}

}  // namespace usbwebcam
