#pragma once

#include "tests/support/kernel/FakeV4l2Device.h"

#include <cstdint>
#include <map>
#include <tuple>
#include <span>
#include <utility>
#include <vector>

namespace capture::emulated {

// The emulated camera's picture repeats every this many frames, so that its Motion JPEG frames
// are encoded once.
constexpr std::uint32_t cameraCycle = 30;

// Eight colour bars with a white block crossing them once per cycle, as packed YUYV.
// `lumaOffset` lifts or lowers the whole picture (the camera's brightness).
// Drawn as a TV camera takes it (firstFieldLines 0: the even lines, the top field, first; 1:
// the odd ones), each field shows the block where it is at that field's moment, half a frame
// after the first; progressive (-1) the whole frame shows one moment.
void drawBars(std::span<std::uint8_t> yuyv, std::uint32_t width, std::uint32_t height, std::uint32_t frame,
              int lumaOffset = 0, int firstFieldLines = -1);

// Frame `frame % cameraCycle` of the camera's Motion JPEG stream at that size: the bars encoded
// by libjpeg at quality 85, byte for byte what the emulated camera delivers; `marked`, with the
// sync box over them.
const std::vector<std::uint8_t>& cameraJpegFrame(std::uint32_t width, std::uint32_t height, std::uint32_t frame,
                                                 bool marked = false);

// Whether frame `sequence` of the device's stream carries the sync mark (capture/devices/virtual/
// SyncMark.h): its span of the monotonic clock, which the buffers' timestamps come from, holds a
// mark's moment. The built-in devices time theirs from the pipeline's running time instead.
bool carriesSyncMark(const FakeV4l2Device& device, std::uint32_t sequence);

// A camera: the bars in YUYV (brightness applies), Motion JPEG or raw Bayer (GRBG).
// Two environment settings make it misbehave as worn-out hardware does, read as it streams:
// - ORVEX_EMULATED_BROKEN_EVERY=N: every Nth Motion JPEG frame is broken, by turns cut short
//   (a lost USB packet) and garbage between the image's start and end markers (a frame with
//   the sync mark excepted);
// - ORVEX_EMULATED_STALL=FIRST+COUNT: frames FIRST to FIRST+COUNT-1 are not delivered at all
//   (a stalled sensor or a loose cable), in any format.
class CameraPicture final : public FakeV4l2Picture {
public:
    std::size_t draw(const FakeV4l2Device& device, std::uint32_t sequence, std::span<std::uint8_t> target) override;
    bool delivers(std::uint32_t sequence) const override;
    void prepare(const FakeV4l2Device& device) override;
};

// Frame `sequence` of a Motion JPEG stream in which every `every`th frame is broken (0: none),
// by turns cut short and garbage between its markers.
enum class JpegDamage { None, Truncated, Garbage };
JpegDamage jpegDamage(std::uint32_t sequence, std::uint32_t every);
// Breaks the whole JPEG picture in `frame` as `damage` says; answers its length afterwards.
std::size_t damageJpeg(std::span<std::uint8_t> frame, JpegDamage damage, std::uint32_t sequence);

// A TV card: the bars on a station, snow without one; YUYV or grey.
class TvPicture final : public FakeV4l2Picture {
public:
    std::size_t draw(const FakeV4l2Device& device, std::uint32_t sequence, std::span<std::uint8_t> target) override;

private:
    std::uint32_t m_noise = 0x9e3779b9u;
};

}  // namespace capture::emulated
