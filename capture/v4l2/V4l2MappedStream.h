#pragma once

#include "V4l2File.h"
#include "capture/devices/DeviceFailure.h"

#include <linux/videodev2.h>

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

namespace capture {

// A step of streaming that the driver refused, with its errno value.
class V4l2StreamError : public std::runtime_error {
public:
    using Step = DeviceFailure::StreamStep;
    V4l2StreamError(Step step, int error);
    Step step() const { return m_step; }
    int error() const { return m_error; }

private:
    Step m_step;
    int m_error;
};

// One picture as the driver filled it: the buffer's bytes from its data offset on.
struct V4l2Picture {
    const std::uint8_t* data = nullptr;
    std::size_t size = 0;
    std::uint32_t bytesPerLine = 0;
    std::uint32_t sequence = 0;
    std::int64_t monotonicNs = -1;  // when the driver took it (CLOCK_MONOTONIC); -1 when it cannot say
    bool flaggedBad = false;        // V4L2_BUF_FLAG_ERROR: the driver says the data may be damaged
    std::uint32_t field = V4L2_FIELD_NONE;  // the buffer's: V4L2_FIELD_TOP or _BOTTOM for alternate fields
};

// Memory-mapped streaming on a capture node through the seam: the single-planar API (through
// libv4l2, whose conversions it then gets) or the multi-planar one (straight to the kernel, as
// libv4l2's plugin drops each plane's data offset). Formats whose picture is one buffer (one
// V4L2 plane) only. Opens the node, sets the format and rate, maps and queues the buffers and
// streams; the destructor stops streaming, unmaps and closes, whatever happened.
class V4l2MappedStream {
public:
    enum class Api { SinglePlanar, MultiPlanar };

    // interval: the frame interval to ask for (seconds per frame); {0, 0} leaves the driver's.
    // field: the layout of the fields to ask for (enum v4l2_field); ANY leaves it to the driver.
    V4l2MappedStream(std::shared_ptr<V4l2Io> io, const std::string& path, Api api, std::uint32_t fourcc,
                     std::uint32_t width, std::uint32_t height, v4l2_fract interval,
                     std::uint32_t field = V4L2_FIELD_ANY);
    ~V4l2MappedStream();
    V4l2MappedStream(const V4l2MappedStream&) = delete;
    V4l2MappedStream& operator=(const V4l2MappedStream&) = delete;

    // The descriptor to wait on for a filled buffer.
    int fd() const { return m_file.pollDescriptor(); }
    // The driver's frame interval now; {0, 0} when it does not say.
    v4l2_fract interval() const { return m_interval; }
    std::size_t bufferCount() const { return m_buffers.size(); }
    std::uint32_t bytesPerLine() const { return m_bytesPerLine; }
    // The driver sends each field in a buffer of its own (V4L2_FIELD_ALTERNATE), each half the
    // height asked for.
    bool alternateFields() const { return m_alternate; }
    // The layout of the fields the driver took (enum v4l2_field).
    std::uint32_t field() const { return m_field; }

    // Takes one filled buffer, hands it to use and gives it back to the driver. 0, EAGAIN when
    // none is ready yet, or the errno value of the failure (ENODEV once the device has gone).
    int next(const std::function<void(const V4l2Picture&)>& use);

private:
    // A buffer of the stream's type, with room for its one plane where it has planes. Not
    // copied: the buffer points at its own planes.
    struct BufferRequest {
        BufferRequest(std::uint32_t type, std::uint32_t index);
        BufferRequest(const BufferRequest&) = delete;
        BufferRequest& operator=(const BufferRequest&) = delete;
        v4l2_buffer buffer{};
        v4l2_plane planes[VIDEO_MAX_PLANES]{};
    };

    void setFormat(std::uint32_t fourcc, std::uint32_t width, std::uint32_t height, std::uint32_t field);
    void setInterval(v4l2_fract interval);
    void mapAndQueueBuffers();
    void require(V4l2StreamError::Step step, unsigned long request, void* argument) const;

    V4l2File m_file;
    std::uint32_t m_type;
    std::vector<V4l2Mapping> m_buffers;  // declared after the file: unmapped before it closes
    v4l2_fract m_interval{0, 0};
    std::uint32_t m_bytesPerLine = 0;
    bool m_alternate = false;
    std::uint32_t m_field = V4L2_FIELD_ANY;
    bool m_streaming = false;
};

}  // namespace capture
