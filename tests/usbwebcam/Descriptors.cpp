#include "Descriptors.h"

#include <initializer_list>
#include <string_view>

namespace usbwebcam {

namespace {

constexpr std::uint8_t interfaceType = 4, endpointType = 5, associationType = 11;
constexpr std::uint8_t csInterface = 0x24, csEndpoint = 0x25;
constexpr std::uint8_t videoClass = 0x0e, audioClass = 0x01, audio20 = 0x20;

struct Field {
    std::uint32_t value;
    int bytes;
};
constexpr Field b(std::uint32_t v) { return {v, 1}; }
constexpr Field w(std::uint32_t v) { return {v, 2}; }
constexpr Field t(std::uint32_t v) { return {v, 3}; }
constexpr Field d(std::uint32_t v) { return {v, 4}; }

// Appends one descriptor, its length filled in; answers where it starts.
std::size_t add(std::vector<std::uint8_t>& out, std::uint8_t type, std::initializer_list<Field> fields)
{
    const std::size_t start = out.size();
    out.push_back(0);
    out.push_back(type);
    for (const Field& field : fields)
        for (int i = 0; i < field.bytes; ++i)
            out.push_back(std::uint8_t(field.value >> (8 * i)));
    out[start] = std::uint8_t(out.size() - start);
    return start;
}

void putLe16(std::vector<std::uint8_t>& out, std::size_t at, std::size_t value)
{
    out[at] = std::uint8_t(value);
    out[at + 1] = std::uint8_t(value >> 8);
}

void interface(std::vector<std::uint8_t>& out, std::uint8_t number, std::uint8_t alternate, std::uint8_t endpoints,
               std::uint8_t cls, std::uint8_t subclass, std::uint8_t protocol)
{
    add(out, interfaceType, {b(number), b(alternate), b(endpoints), b(cls), b(subclass), b(protocol), b(0)});
}

// wMaxPacketSize: up to 1024 bytes, then extra transactions in the same microframe.
std::uint16_t packetSizeField(std::uint16_t bytes)
{
    return bytes <= 1024 ? bytes : std::uint16_t(((bytes / 1024 - 1) << 11) | 1024);
}

void videoFunction(std::vector<std::uint8_t>& out)
{
    add(out, associationType, {b(videoControlInterface), b(2), b(videoClass), b(0x03), b(0), b(2)});
    interface(out, videoControlInterface, 0, 0, videoClass, 0x01, 0);
    const std::size_t control = add(out, csInterface, {b(0x01), w(0x0100), w(0), d(48'000'000), b(1),
                                                       b(videoStreamingInterface)});
    // Camera: auto-exposure mode and priority, exposure time, focus, focus auto.
    add(out, csInterface, {b(0x02), b(cameraTerminalId), w(0x0201), b(0), b(0), w(0), w(0), w(0), b(3),
                           t(0x02002e)});
    // Brightness, contrast, hue, saturation, sharpness, gamma, white balance temperature,
    // backlight compensation, gain, power line frequency, white balance temperature auto.
    add(out, csInterface, {b(0x05), b(processingUnitId), b(cameraTerminalId), w(0), b(2), w(0x177f), b(0)});
    add(out, csInterface, {b(0x03), b(videoOutputTerminalId), w(0x0101), b(0), b(processingUnitId), b(0)});
    putLe16(out, control + 5, out.size() - control);

    interface(out, videoStreamingInterface, 0, 0, videoClass, 0x02, 0);
    const std::size_t streaming = add(out, csInterface, {b(0x01), b(videoFormats.size()), w(0),
                                                         b(0x80 | videoEndpoint), b(0), b(videoOutputTerminalId),
                                                         b(0), b(0), b(0), b(1), b(0), b(0)});
    for (std::size_t f = 0; f < videoFormats.size(); ++f) {
        const VideoFormat& format = videoFormats[f];
        const auto index = std::uint8_t(f + 1);
        if (format.mjpeg) {
            add(out, csInterface, {b(0x06), b(index), b(format.frames.size()), b(1), b(1), b(0), b(0), b(0), b(0)});
        } else {
            const std::size_t at = add(out, csInterface, {b(0x04), b(index), b(format.frames.size()),
                                                          d(0), d(0), d(0), d(0), b(16), b(1), b(0), b(0), b(0), b(0)});
            // YUY2's GUID, 32595559-0000-0010-8000-00AA00389B71, as the bytes go on the wire.
            constexpr std::uint8_t yuy2[16] = {'Y', 'U', 'Y', '2', 0, 0, 0x10, 0, 0x80, 0, 0, 0xaa, 0, 0x38, 0x9b, 0x71};
            std::copy(std::begin(yuy2), std::end(yuy2), out.begin() + std::ptrdiff_t(at + 5));
        }
        for (std::size_t i = 0; i < format.frames.size(); ++i) {
            const FrameSize size = format.frames[i];
            const std::uint32_t bytes = maxFrameBytes(size);
            add(out, csInterface, {b(format.mjpeg ? 0x07 : 0x05), b(i + 1), b(0), w(size.width), w(size.height),
                                   d(bytes * 8 * 10), d(bytes * 8 * 30), d(bytes), d(frameIntervals[0]),
                                   b(frameIntervals.size()), d(frameIntervals[0]), d(frameIntervals[1]),
                                   d(frameIntervals[2])});
        }
        // BT.709 primaries and transfer, SMPTE 170M (BT.601) matrix, as sensors deliver.
        add(out, csInterface, {b(0x0d), b(1), b(1), b(4)});
    }
    putLe16(out, streaming + 4, out.size() - streaming);
    for (std::size_t alt = 0; alt < videoPacketSizes.size(); ++alt) {
        interface(out, videoStreamingInterface, std::uint8_t(alt + 1), 1, videoClass, 0x02, 0);
        add(out, endpointType, {b(0x80 | videoEndpoint), b(0x05), w(packetSizeField(videoPacketSizes[alt])), b(1)});
    }
}

void audioFunction(std::vector<std::uint8_t>& out)
{
    add(out, associationType, {b(audioControlInterface), b(2), b(audioClass), b(0), b(audio20), b(4)});
    interface(out, audioControlInterface, 0, 0, audioClass, 0x01, audio20);
    const std::size_t control = add(out, csInterface, {b(0x01), w(0x0200), b(0x03), w(0), b(0)});
    // Internal programmable clock; frequency read/write, validity read-only.
    add(out, csInterface, {b(0x0a), b(clockSourceId), b(0x03), b(0x07), b(0), b(0)});
    add(out, csInterface, {b(0x02), b(micInputTerminalId), w(0x0201), b(0), b(clockSourceId), b(audioChannels),
                           d(audioChannels == 2 ? 0x3 : 0x4), b(0), w(0), b(0)});
    add(out, csInterface, {b(0x03), b(micOutputTerminalId), w(0x0101), b(0), b(micInputTerminalId),
                           b(clockSourceId), w(0), b(0)});
    putLe16(out, control + 6, out.size() - control);

    interface(out, audioStreamingInterface, 0, 0, audioClass, 0x02, audio20);
    interface(out, audioStreamingInterface, 1, 1, audioClass, 0x02, audio20);
    add(out, csInterface, {b(0x01), b(micOutputTerminalId), b(0), b(1), d(1), b(audioChannels),
                           d(audioChannels == 2 ? 0x3 : 0x4), b(0)});
    add(out, csInterface, {b(0x02), b(1), b(2), b(16)});
    // Asynchronous: a capture endpoint needs no feedback.
    add(out, endpointType, {b(0x80 | audioEndpoint), b(0x05), w(audioPacketSize), b(4)});
    add(out, csEndpoint, {b(0x01), b(0), b(0), b(0), w(0)});
}

}  // namespace

std::uint32_t maxFrameBytes(FrameSize size)
{
    return std::uint32_t(size.width) * size.height * 2;
}

std::vector<std::uint8_t> deviceDescriptor()
{
    std::vector<std::uint8_t> out;
    // Class 0xef/2/1: the functions are told apart by interface associations.
    add(out, 1, {w(0x0200), b(0xef), b(0x02), b(0x01), b(64), w(0x1209), w(0x0001), w(0x0100), b(1), b(2), b(3),
                 b(1)});
    return out;
}

std::vector<std::uint8_t> configurationDescriptor()
{
    std::vector<std::uint8_t> out;
    add(out, 2, {w(0), b(4), b(1), b(0), b(0x80), b(250)});
    videoFunction(out);
    audioFunction(out);
    putLe16(out, 2, out.size());
    return out;
}

std::vector<std::uint8_t> stringDescriptor(std::uint8_t index)
{
    static constexpr std::string_view strings[] = {"", "Orvex", "Orvex USB Webcam", "OVX-0001",
                                                   "Orvex USB Webcam Microphone"};
    std::vector<std::uint8_t> out;
    if (index == 0) {
        add(out, 3, {w(0x0409)});
    } else if (index < std::size(strings)) {
        out = {0, 3};
        for (const char c : strings[index]) {
            out.push_back(std::uint8_t(c));
            out.push_back(0);
        }
        out[0] = std::uint8_t(out.size());
    }
    return out;
}

}  // namespace usbwebcam
