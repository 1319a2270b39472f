#pragma once

// What the webcam tells the host it is: a composite high-speed device of a UVC 1.0 camera
// (interfaces 0 and 1) and a USB Audio 2.0 microphone (interfaces 2 and 3).

#include <array>
#include <cstdint>
#include <vector>

namespace usbwebcam {

inline constexpr std::uint8_t videoControlInterface = 0, videoStreamingInterface = 1;
inline constexpr std::uint8_t audioControlInterface = 2, audioStreamingInterface = 3;
inline constexpr std::uint8_t videoEndpoint = 1, audioEndpoint = 2;  // both IN

// The camera's units, as wIndex's high byte names them.
inline constexpr std::uint8_t cameraTerminalId = 1, processingUnitId = 2, videoOutputTerminalId = 3;
// The microphone's.
inline constexpr std::uint8_t micInputTerminalId = 1, micOutputTerminalId = 3, clockSourceId = 10;

inline constexpr std::uint32_t sampleRate = 48000;
inline constexpr std::uint8_t audioChannels = 2;

struct FrameSize {
    std::uint16_t width, height;
};
struct VideoFormat {
    bool mjpeg;
    std::array<FrameSize, 2> frames;  // bFrameIndex 1 and 2
};
// bFormatIndex 1 and 2. 1280x720 YUYV at 30 fps would not fit a high-speed bus.
inline constexpr std::array<VideoFormat, 2> videoFormats{{{false, {{{640, 480}, {320, 240}}}},
                                                          {true, {{{1280, 720}, {640, 480}}}}}};
// 30, 15 and 10 fps in 100 ns units, fastest (the default) first.
inline constexpr std::array<std::uint32_t, 3> frameIntervals{333333, 666667, 1000000};
// The streaming interface's alternate settings 1.. : bytes per microframe of their endpoint.
inline constexpr std::array<std::uint16_t, 5> videoPacketSizes{128, 512, 1024, 2048, 3072};
// A millisecond's frames and half as many again, the most snd-usb-audio asks a packet for: room
// to catch up after the host was late.
inline constexpr std::uint16_t audioPacketSize = sampleRate / 1000 * 3 / 2 * audioChannels * 2;

std::uint32_t maxFrameBytes(FrameSize size);

std::vector<std::uint8_t> deviceDescriptor();
std::vector<std::uint8_t> configurationDescriptor();
// String `index` (0: the languages), or nothing when there is none.
std::vector<std::uint8_t> stringDescriptor(std::uint8_t index);

}  // namespace usbwebcam
