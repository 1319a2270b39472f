#include "V4l2MappedStream.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <utility>

namespace capture {
namespace {

using Step = V4l2StreamError::Step;

// Enough for a steady stream at 30 fps with a busy consumer; each frame is copied out at once.
constexpr std::uint32_t buffersWanted = 4;

}  // namespace

V4l2StreamError::V4l2StreamError(Step step, int error)
    : std::runtime_error("streaming step " + std::to_string(static_cast<int>(step)) + ": " + std::strerror(error)),
      m_step(step), m_error(error)
{
}

V4l2MappedStream::V4l2MappedStream(std::shared_ptr<V4l2Io> io, const std::string& path, Api api,
                                   std::uint32_t fourcc, std::uint32_t width, std::uint32_t height,
                                   v4l2_fract interval, std::uint32_t field)
    : m_file(std::move(io), path),
      m_type(api == Api::MultiPlanar ? V4L2_BUF_TYPE_VIDEO_CAPTURE_MPLANE : V4L2_BUF_TYPE_VIDEO_CAPTURE)
{
    if (!m_file.isOpen())
        throw V4l2StreamError(Step::Open, m_file.openError());
    setFormat(fourcc, width, height, field);
    setInterval(interval);
    mapAndQueueBuffers();
    int streamType = int(m_type);
    require(Step::StartStreaming, VIDIOC_STREAMON, &streamType);
    m_streaming = true;
}

void V4l2MappedStream::setFormat(std::uint32_t fourcc, std::uint32_t width, std::uint32_t height, std::uint32_t wanted)
{
    // Each API describes a format in its own struct, with the same names.
    const auto ask = [&](auto& description, std::uint32_t lines, std::uint32_t field) {
        description.width = width;
        description.height = lines;
        description.pixelformat = fourcc;
        description.field = field;
    };
    const auto took = [&](const auto& description, std::uint32_t lines) {
        return description.pixelformat == fourcc && description.width == width && description.height == lines;
    };
    const bool planar = m_type == V4L2_BUF_TYPE_VIDEO_CAPTURE_MPLANE;
    v4l2_format format{};
    format.type = m_type;
    planar ? ask(format.fmt.pix_mp, height, wanted) : ask(format.fmt.pix, height, wanted);
    require(Step::TakeFormat, VIDIOC_S_FMT, &format);
    const auto field = [&] { return planar ? format.fmt.pix_mp.field : format.fmt.pix.field; };
    // Fields in buffers of their own are woven into frames of the height asked for: each is half
    // of it. A driver that scales answers with fields as high as the frame; it is asked again.
    m_alternate = field() == V4L2_FIELD_ALTERNATE && height % 2 == 0;
    if (m_alternate && (planar ? took(format.fmt.pix_mp, height) : took(format.fmt.pix, height))) {
        format = {};
        format.type = m_type;
        planar ? ask(format.fmt.pix_mp, height / 2, V4L2_FIELD_ALTERNATE)
               : ask(format.fmt.pix, height / 2, V4L2_FIELD_ALTERNATE);
        require(Step::TakeFormat, VIDIOC_S_FMT, &format);
        m_alternate = field() == V4L2_FIELD_ALTERNATE;
    }
    const std::uint32_t lines = m_alternate ? height / 2 : height;
    if (!(planar ? took(format.fmt.pix_mp, lines) : took(format.fmt.pix, lines)))
        throw V4l2StreamError(Step::OtherFormat, EINVAL);
    // One field alone would make every picture half as high as the caps say.
    if (field() == V4L2_FIELD_ALTERNATE ? !m_alternate : field() == V4L2_FIELD_TOP || field() == V4L2_FIELD_BOTTOM)
        throw V4l2StreamError(Step::FieldsApart, EINVAL);
    if (planar && format.fmt.pix_mp.num_planes != 1)
        throw V4l2StreamError(Step::SeveralPlanes, EINVAL);
    m_bytesPerLine = planar ? format.fmt.pix_mp.plane_fmt[0].bytesperline : format.fmt.pix.bytesperline;
    m_field = field();
}

void V4l2MappedStream::setInterval(v4l2_fract interval)
{
    v4l2_streamparm parameters{};
    parameters.type = m_type;
    if (interval.numerator && interval.denominator) {
        parameters.parm.capture.timeperframe = interval;
        m_file.ioctl(VIDIOC_S_PARM, &parameters);  // a driver without rates keeps its own
    }
    parameters = {};
    parameters.type = m_type;
    if (m_file.ioctl(VIDIOC_G_PARM, &parameters) == 0)
        m_interval = parameters.parm.capture.timeperframe;
}

void V4l2MappedStream::mapAndQueueBuffers()
{
    v4l2_requestbuffers request{};
    request.count = buffersWanted;
    request.type = m_type;
    request.memory = V4L2_MEMORY_MMAP;
    require(Step::GiveBuffers, VIDIOC_REQBUFS, &request);
    if (request.count < 2)
        throw V4l2StreamError(Step::TooFewBuffers, ENOMEM);

    m_buffers.reserve(request.count);
    for (std::uint32_t index = 0; index < request.count; ++index) {
        BufferRequest held(m_type, index);
        require(Step::DescribeBuffers, VIDIOC_QUERYBUF, &held.buffer);
        const bool planar = m_type == V4L2_BUF_TYPE_VIDEO_CAPTURE_MPLANE;
        V4l2Mapping mapping = planar ? m_file.map(held.planes[0].length, held.planes[0].m.mem_offset)
                                     : m_file.map(held.buffer.length, held.buffer.m.offset);
        if (!mapping.isMapped())
            throw V4l2StreamError(Step::MapBuffers, mapping.error());
        m_buffers.push_back(std::move(mapping));
        require(Step::TakeBuffersBack, VIDIOC_QBUF, &held.buffer);
    }
}

V4l2MappedStream::BufferRequest::BufferRequest(std::uint32_t type, std::uint32_t index)
{
    buffer.type = type;
    buffer.memory = V4L2_MEMORY_MMAP;
    buffer.index = index;
    if (type == V4L2_BUF_TYPE_VIDEO_CAPTURE_MPLANE) {
        buffer.length = 1;
        buffer.m.planes = planes;
    }
}

V4l2MappedStream::~V4l2MappedStream()
{
    if (m_streaming) {
        int streamType = int(m_type);
        m_file.ioctl(VIDIOC_STREAMOFF, &streamType);
    }
    // The mappings go first (the kernel frees the buffers once unmapped), then the file.
    m_buffers.clear();
}

void V4l2MappedStream::require(V4l2StreamError::Step step, unsigned long request, void* argument) const
{
    const int error = m_file.ioctl(request, argument);
    if (error != 0)
        throw V4l2StreamError(step, error);
}

int V4l2MappedStream::next(const std::function<void(const V4l2Picture&)>& use)
{
    BufferRequest held(m_type, 0);
    v4l2_buffer& buffer = held.buffer;
    if (const int error = m_file.ioctl(VIDIOC_DQBUF, &buffer))
        return error;
    if (buffer.index >= m_buffers.size())
        return EINVAL;

    // Never trust the driver's numbers beyond the mapping.
    const bool planar = m_type == V4L2_BUF_TYPE_VIDEO_CAPTURE_MPLANE;
    const V4l2Mapping& mapping = m_buffers[buffer.index];
    const std::size_t used = std::min<std::size_t>(planar ? held.planes[0].bytesused : buffer.bytesused, mapping.length());
    const std::size_t offset = planar ? std::min<std::size_t>(held.planes[0].data_offset, used) : 0;
    V4l2Picture picture;
    picture.data = mapping.data() + offset;
    picture.size = used - offset;
    picture.bytesPerLine = m_bytesPerLine;
    picture.sequence = buffer.sequence;
    picture.flaggedBad = (buffer.flags & V4L2_BUF_FLAG_ERROR) != 0;
    picture.field = buffer.field;
    if ((buffer.flags & V4L2_BUF_FLAG_TIMESTAMP_MASK) == V4L2_BUF_FLAG_TIMESTAMP_MONOTONIC)
        picture.monotonicNs = std::int64_t(buffer.timestamp.tv_sec) * 1000000000 + std::int64_t(buffer.timestamp.tv_usec) * 1000;
    use(picture);

    if (planar) {
        buffer.m.planes = held.planes;
        buffer.length = 1;
    }
    return m_file.ioctl(VIDIOC_QBUF, &buffer);
}

}  // namespace capture
