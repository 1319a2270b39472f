// The model's formats, rates, tuner and buffers: what a stream is made of.

#include "FakeV4l2Rules.h"

namespace capture {

using namespace fakev4l2;

int FakeV4l2Device::enumerateFormat(v4l2_fmtdesc& description) const
{
    if (description.type != captureType() || description.index >= inputFormats().size())
        return EINVAL;
    const auto& format = inputFormats()[description.index];
    const v4l2_fmtdesc asked = description;
    description = {};
    description.index = asked.index;
    description.type = asked.type;
    description.pixelformat = format.fourcc;
    copyText(description.description, format.description);
    description.flags = (format.fourcc == V4L2_PIX_FMT_MJPEG || format.fourcc == V4L2_PIX_FMT_JPEG) ? V4L2_FMT_FLAG_COMPRESSED : 0;
    return 0;
}

int FakeV4l2Device::enumerateFrameSize(v4l2_frmsizeenum& size) const
{
    if (!m_hw.listsFrameSizes)
        return ENOTTY;
    const auto* format = findFormat(size.pixel_format);
    if (!format)
        return EINVAL;
    if (format->stepwise) {
        if (size.index != 0)
            return EINVAL;
        size.type = V4L2_FRMSIZE_TYPE_STEPWISE;
        size.stepwise = *format->stepwise;
        return 0;
    }
    if (size.index >= format->sizes.size())
        return EINVAL;
    size.reserved[0] = size.reserved[1] = 0;
    size.type = V4L2_FRMSIZE_TYPE_DISCRETE;
    size.discrete.width = format->sizes[size.index].width;
    size.discrete.height = format->sizes[size.index].height;
    return 0;
}

int FakeV4l2Device::enumerateFrameInterval(v4l2_frmivalenum& interval) const
{
    if (!m_hw.listsFrameSizes)
        return ENOTTY;
    const auto* format = findFormat(interval.pixel_format);
    if (!format)
        return EINVAL;
    for (const auto& size : format->sizes) {
        if (size.width != interval.width || size.height != interval.height)
            continue;
        if (interval.index >= size.intervals.size())
            return EINVAL;
        interval.reserved[0] = interval.reserved[1] = 0;
        interval.type = V4L2_FRMIVAL_TYPE_DISCRETE;
        interval.discrete = size.intervals[interval.index];
        return 0;
    }
    return EINVAL;
}

int FakeV4l2Device::getFormat(v4l2_format& format) const
{
    if (format.type != captureType())
        return EINVAL;
    setPix(format, m_format);
    return 0;
}

int FakeV4l2Device::tryFormat(v4l2_format& format) const
{
    if (format.type != captureType() || inputFormats().empty())
        return EINVAL;
    v4l2_pix_format pix = pixOf(format);
    tryPixFormat(pix);
    setPix(format, pix);
    return 0;
}

// The single-planar and the one-plane multi-planar description of the same format.
v4l2_pix_format FakeV4l2Device::pixOf(const v4l2_format& format)
{
    if (format.type != V4L2_BUF_TYPE_VIDEO_CAPTURE_MPLANE)
        return format.fmt.pix;
    const auto& mp = format.fmt.pix_mp;
    v4l2_pix_format pix{};
    pix.width = mp.width;
    pix.height = mp.height;
    pix.pixelformat = mp.pixelformat;
    pix.field = mp.field;
    pix.colorspace = mp.colorspace;
    pix.bytesperline = mp.plane_fmt[0].bytesperline;
    pix.sizeimage = mp.plane_fmt[0].sizeimage;
    return pix;
}

void FakeV4l2Device::setPix(v4l2_format& format, const v4l2_pix_format& pix)
{
    if (format.type != V4L2_BUF_TYPE_VIDEO_CAPTURE_MPLANE) {
        format.fmt.pix = pix;
        return;
    }
    auto& mp = format.fmt.pix_mp;
    mp = {};
    mp.width = pix.width;
    mp.height = pix.height;
    mp.pixelformat = pix.pixelformat;
    mp.field = pix.field;
    mp.colorspace = pix.colorspace;
    mp.num_planes = 1;
    mp.plane_fmt[0].bytesperline = pix.bytesperline;
    mp.plane_fmt[0].sizeimage = pix.sizeimage;
}

void FakeV4l2Device::tryPixFormat(v4l2_pix_format& pix) const
{
    // Drivers never refuse a format: they answer the nearest one they have.
    const auto* chosen = findFormat(pix.pixelformat);
    if (!chosen)
        chosen = &inputFormats().front();
    pix.pixelformat = chosen->fourcc;

    if (chosen->stepwise) {
        const auto& range = *chosen->stepwise;
        const auto fit = [](std::uint32_t value, std::uint32_t low, std::uint32_t high, std::uint32_t step) {
            value = std::clamp(value, low, high);
            return step > 1 ? low + (value - low) / step * step : value;
        };
        pix.width = fit(pix.width, range.min_width, range.max_width, range.step_width);
        pix.height = fit(pix.height, range.min_height, range.max_height, range.step_height);
    } else if (!chosen->sizes.empty()) {
        const FakeV4l2Hardware::FrameSize* nearest = &chosen->sizes.front();
        for (const auto& size : chosen->sizes)
            if (distance(size.width, pix.width) + distance(size.height, pix.height)
                < distance(nearest->width, pix.width) + distance(nearest->height, pix.height))
                nearest = &size;
        pix.width = nearest->width;
        pix.height = nearest->height;
    } else {
        // A TV decoder: any size up to the full picture of the current standard.
        pix.width = std::clamp<std::uint32_t>(pix.width, 48, is525Lines() ? 640 : 768) & ~1u;
        pix.height = std::clamp<std::uint32_t>(pix.height, 32, is525Lines() ? 480 : 576);
    }
    if (!m_hw.standards)
        pix.field = V4L2_FIELD_NONE;
    else if (pix.field != V4L2_FIELD_INTERLACED_TB && pix.field != V4L2_FIELD_INTERLACED_BT)
        pix.field = m_hw.interlacedField;
    // A decoder that sends each field apart: at most half the standard's lines a buffer.
    if (pix.field == V4L2_FIELD_ALTERNATE)
        pix.height = std::min<std::uint32_t>(pix.height, is525Lines() ? 240 : 288);
    pix.bytesperline = bytesPerLine(pix.pixelformat, pix.width);
    // A compressed frame has no lines; UVC cameras announce their largest frame, often this.
    pix.sizeimage = pix.bytesperline ? pix.bytesperline * pix.height : pix.width * pix.height * 2;
    pix.colorspace = m_hw.standards ? V4L2_COLORSPACE_SMPTE170M : V4L2_COLORSPACE_SRGB;
    pix.priv = 0;
    pix.flags = 0;
    pix.ycbcr_enc = V4L2_YCBCR_ENC_DEFAULT;
    pix.quantization = V4L2_QUANTIZATION_DEFAULT;
    pix.xfer_func = V4L2_XFER_FUNC_DEFAULT;
}

std::uint32_t FakeV4l2Device::bytesPerLine(std::uint32_t fourcc, std::uint32_t width) const
{
    switch (fourcc) {
    case V4L2_PIX_FMT_MJPEG:
    case V4L2_PIX_FMT_JPEG:
        return 0;
    case V4L2_PIX_FMT_GREY:
    case V4L2_PIX_FMT_SGRBG8:
    case V4L2_PIX_FMT_SBGGR8:
    case V4L2_PIX_FMT_SGBRG8:
    case V4L2_PIX_FMT_SRGGB8:
        return width;
    default:
        return width * 2;
    }
}

// The intervals listed for the current size, or the standard's frame period on a TV decoder.
v4l2_fract FakeV4l2Device::firstInterval() const
{
    if (const auto* format = findFormat(m_format.pixelformat))
        for (const auto& size : format->sizes)
            if (size.width == m_format.width && size.height == m_format.height && !size.intervals.empty())
                return size.intervals.front();
    if (m_hw.standards)
        return is525Lines() ? v4l2_fract{1001, 30000} : v4l2_fract{1, 25};
    return {1, 30};
}

int FakeV4l2Device::getParameters(v4l2_streamparm& parameters) const
{
    if (parameters.type != captureType())
        return EINVAL;
    parameters.parm.capture = {};
    if (const auto* format = findFormat(m_format.pixelformat)) {
        for (const auto& size : format->sizes) {
            if (size.width == m_format.width && size.height == m_format.height && !size.intervals.empty()) {
                parameters.parm.capture.capability = V4L2_CAP_TIMEPERFRAME;
                parameters.parm.capture.timeperframe = m_interval;
                parameters.parm.capture.readbuffers = (m_hw.deviceCaps & V4L2_CAP_READWRITE) ? 2 : 0;
                return 0;
            }
        }
    }
    if (!m_hw.standards)
        return ENOTTY;
    parameters.parm.capture.timeperframe = firstInterval();
    parameters.parm.capture.readbuffers = (m_hw.deviceCaps & V4L2_CAP_READWRITE) ? 2 : 0;
    return 0;
}

// The nearest listed rate wins, as in the UVC driver; a TV decoder keeps its standard's rate.
int FakeV4l2Device::setParameters(v4l2_streamparm& parameters)
{
    if (parameters.type != captureType())
        return EINVAL;
    const v4l2_fract wanted = parameters.parm.capture.timeperframe;
    if (const auto* format = findFormat(m_format.pixelformat)) {
        for (const auto& size : format->sizes) {
            if (size.width != m_format.width || size.height != m_format.height || size.intervals.empty())
                continue;
            if (m_streamOn)
                return EBUSY;
            if (wanted.numerator && wanted.denominator) {
                const double seconds = double(wanted.numerator) / wanted.denominator;
                const auto gap = [&](const v4l2_fract& f) { return std::fabs(double(f.numerator) / f.denominator - seconds); };
                m_interval = *std::min_element(size.intervals.begin(), size.intervals.end(),
                                               [&](const auto& a, const auto& b) { return gap(a) < gap(b); });
            }
            break;
        }
    }
    return getParameters(parameters);
}

int FakeV4l2Device::getTuner(v4l2_tuner& tuner) const
{
    const auto* found = findTuner(tuner.index);
    if (!found)
        return EINVAL;
    const std::uint32_t index = tuner.index;
    tuner = {};
    tuner.index = index;
    copyText(tuner.name, found->name);
    tuner.type = found->type;
    tuner.capability = found->capability | V4L2_TUNER_CAP_FREQ_BANDS;  // the core adds it
    tuner.rangelow = found->rangeLow;
    tuner.rangehigh = found->rangeHigh;
    tuner.rxsubchans = V4L2_TUNER_SUB_MONO;
    tuner.audmode = V4L2_TUNER_MODE_MONO;
    tuner.signal = signalAt(*found);
    return 0;
}

int FakeV4l2Device::getFrequency(v4l2_frequency& frequency) const
{
    const auto* found = findTuner(frequency.tuner);
    if (!found)
        return EINVAL;
    frequency.type = found->type;
    frequency.frequency = this->frequency(found->index);
    return 0;
}

int FakeV4l2Device::setFrequency(const v4l2_frequency& frequency)
{
    if (m_keepLog)
        m_tunes.push_back(frequency.frequency);
    if (m_tunerHeld)
        return EBUSY;
    for (std::size_t position = 0; position < m_hw.tuners.size(); ++position) {
        const auto& tuner = m_hw.tuners[position];
        if (tuner.index != frequency.tuner)
            continue;
        if (frequency.type != tuner.type)
            return EINVAL;
        // The nearest frequency the tuner can take.
        m_frequencies[position] = std::clamp(frequency.frequency, tuner.rangeLow, tuner.rangeHigh);
        return 0;
    }
    return EINVAL;
}

std::int64_t FakeV4l2Device::intervalNs() const
{
    const v4l2_fract interval = m_interval.denominator ? m_interval : v4l2_fract{1, 30};
    return std::int64_t(interval.numerator) * 1'000'000'000 / interval.denominator;
}

// A frame is done one interval after it began; the first began at STREAMON.
std::int64_t FakeV4l2Device::frameDue(std::uint32_t sequence) const
{
    return m_start + (std::int64_t(sequence) + 1) * intervalNs();
}

bool FakeV4l2Device::isBufferOffset(std::int64_t offset, std::size_t length) const
{
    for (const auto& buffer : m_buffers)
        if (buffer.offset == offset && length <= pageAligned(sizeImage() + m_hw.dataOffset))
            return true;
    return false;
}

void FakeV4l2Device::freeBuffers()
{
    // Mappings made by the caller keep the memory (videobuf2's orphaned buffers).
    if (m_mapped)
        munmap(m_mapped, m_mappedSize);
    if (m_memory >= 0)
        ::close(m_memory);
    m_mapped = nullptr;
    m_mappedSize = 0;
    m_memory = -1;
    m_buffers.clear();
    m_queued.clear();
}

int FakeV4l2Device::requestBuffers(int file, v4l2_requestbuffers& request)
{
    if (request.type != captureType() || request.memory != V4L2_MEMORY_MMAP)
        return EINVAL;
    if ((m_owner != noOwner && m_owner != file) || m_elsewhere || m_reader != noOwner)
        return EBUSY;
    if (m_streamOn)
        return EBUSY;
    request.capabilities = V4L2_BUF_CAP_SUPPORTS_MMAP | V4L2_BUF_CAP_SUPPORTS_ORPHANED_BUFS;
    request.flags = 0;  // no cache hints
    std::memset(request.reserved, 0, sizeof request.reserved);
    freeBuffers();
    m_owner = noOwner;
    if (request.count == 0)
        return 0;

    const std::uint32_t count = std::min(request.count, maxBuffers);
    const std::uint32_t length = pageAligned(sizeImage() + m_hw.dataOffset);
    const int memory = memfd_create("v4l2-buffers", MFD_CLOEXEC);
    if (memory < 0)
        return ENOMEM;
    const std::size_t total = std::size_t(length) * count;
    void* mapped = ftruncate(memory, off_t(total)) == 0 ? mmap(nullptr, total, PROT_READ | PROT_WRITE, MAP_SHARED, memory, 0) : MAP_FAILED;
    if (mapped == MAP_FAILED) {
        ::close(memory);
        return ENOMEM;
    }
    m_memory = memory;
    m_mapped = static_cast<std::uint8_t*>(mapped);
    m_mappedSize = total;
    for (std::uint32_t index = 0; index < count; ++index)
        m_buffers.push_back({Buffer::Dequeued, index * length, 0, 0, 0});
    m_owner = file;
    request.count = count;
    return 0;
}

void FakeV4l2Device::describe(std::uint32_t index, v4l2_buffer& buffer) const
{
    const Buffer& held = m_buffers[index];
    v4l2_plane* const planes = captureType() == V4L2_BUF_TYPE_VIDEO_CAPTURE_MPLANE ? buffer.m.planes : nullptr;
    const bool planesGiven = planes && buffer.length >= 1;
    buffer = {};
    buffer.index = index;
    buffer.type = captureType();
    buffer.memory = V4L2_MEMORY_MMAP;
    if (planes) {
        // One plane: the picture after the driver's data offset.
        buffer.m.planes = planes;
        buffer.length = 1;
        if (planesGiven) {
            planes[0] = {};
            planes[0].m.mem_offset = held.offset;
            planes[0].length = sizeImage() + m_hw.dataOffset;
            planes[0].bytesused = held.bytesUsed ? held.bytesUsed + m_hw.dataOffset : 0;
            planes[0].data_offset = m_hw.dataOffset;
        }
    } else {
        buffer.m.offset = held.offset;
        buffer.length = sizeImage();
    }
    buffer.field = m_format.field;
    if (m_format.field == V4L2_FIELD_ALTERNATE) {
        // The standard's first field first: the top one for 625 lines, the bottom one for 525.
        const bool first = held.sequence % 2 == 0;
        buffer.field = first != is525Lines() ? V4L2_FIELD_TOP : V4L2_FIELD_BOTTOM;
    }
    buffer.flags = V4L2_BUF_FLAG_TIMESTAMP_MONOTONIC | V4L2_BUF_FLAG_TSTAMP_SRC_EOF;
    if (held.state == Buffer::Queued)
        buffer.flags |= V4L2_BUF_FLAG_QUEUED;
    if (held.state == Buffer::Done)
        buffer.flags |= V4L2_BUF_FLAG_DONE;
    buffer.bytesused = held.bytesUsed;
    buffer.sequence = held.sequence;
    buffer.timestamp.tv_sec = held.timestamp / 1'000'000'000;
    buffer.timestamp.tv_usec = held.timestamp % 1'000'000'000 / 1000;
}

int FakeV4l2Device::queryBuffer(v4l2_buffer& buffer) const
{
    if (buffer.type != captureType() || buffer.index >= m_buffers.size() || !planesFit(buffer))
        return EINVAL;
    describe(buffer.index, buffer);
    return 0;
}

// The sensor's frames up to `now` go into the queued buffers in order; while none is queued
// they are lost, and the sequence counts them all the same.
void FakeV4l2Device::capture(std::int64_t now)
{
    if (!m_streamOn)
        return;
    while (frameDue(m_sequence) <= now) {
        if (m_hw.picture && !m_hw.picture->delivers(m_sequence)) {
            ++m_sequence;
            continue;
        }
        const auto waiting = std::find_if(m_queued.begin(), m_queued.end(),
                                          [&](std::uint32_t index) { return m_buffers[index].state == Buffer::Queued; });
        if (waiting == m_queued.end()) {
            m_sequence = static_cast<std::uint32_t>((now - m_start) / intervalNs());
            return;
        }
        Buffer& buffer = m_buffers[*waiting];
        std::span<std::uint8_t> target(m_mapped + buffer.offset + m_hw.dataOffset, sizeImage());
        buffer.bytesUsed = m_hw.picture ? static_cast<std::uint32_t>(m_hw.picture->draw(*this, m_sequence, target))
                                        : (std::fill(target.begin(), target.end(), 0), sizeImage());
        buffer.sequence = m_sequence;
        buffer.timestamp = frameDue(m_sequence);
        buffer.state = Buffer::Done;
        ++m_sequence;
    }
}

int FakeV4l2Device::queueBuffer(int file, v4l2_buffer& buffer)
{
    if (buffer.type != captureType() || buffer.memory != V4L2_MEMORY_MMAP || !planesFit(buffer))
        return EINVAL;
    if (m_owner != file)
        return m_owner == noOwner ? EINVAL : EBUSY;
    if (buffer.index >= m_buffers.size() || m_buffers[buffer.index].state != Buffer::Dequeued)
        return EINVAL;
    capture(monotonicNow());
    m_buffers[buffer.index].state = Buffer::Queued;
    m_queued.push_back(buffer.index);
    describe(buffer.index, buffer);
    return 0;
}

int FakeV4l2Device::dequeueBuffer(int file, v4l2_buffer& buffer)
{
    if (buffer.type != captureType() || buffer.memory != V4L2_MEMORY_MMAP || !planesFit(buffer))
        return EINVAL;
    if (m_owner != file)
        return m_owner == noOwner ? EINVAL : EBUSY;
    if (!m_streamOn)
        return EINVAL;
    capture(monotonicNow());
    if (m_queued.empty() || m_buffers[m_queued.front()].state != Buffer::Done)
        return EAGAIN;
    const std::uint32_t index = m_queued.front();
    m_queued.pop_front();
    m_buffers[index].state = Buffer::Dequeued;
    describe(index, buffer);
    return 0;
}

std::optional<std::int64_t> FakeV4l2Device::nextFrameReady(int file) const
{
    if (m_unplugged)
        return 0;
    if (m_reader == file)
        return frameDue(m_sequence);
    if (m_owner != file || !m_streamOn || m_queued.empty())
        return std::nullopt;
    return m_buffers[m_queued.front()].state == Buffer::Done ? m_start : frameDue(m_sequence);
}

int FakeV4l2Device::read(int file, std::span<std::uint8_t> target, std::size_t& bytes)
{
    bytes = 0;
    if (m_unplugged)
        return ENODEV;
    if (!(m_hw.deviceCaps & V4L2_CAP_READWRITE))
        return EINVAL;
    if (m_owner != noOwner || m_elsewhere || (m_reader != noOwner && m_reader != file))
        return EBUSY;
    const std::int64_t now = monotonicNow();
    if (m_reader != file) {
        // The first read starts the capture, as videobuf2's read emulation does.
        m_reader = file;
        m_start = now;
        m_sequence = 0;
    }
    if (frameDue(m_sequence) > now)
        return EAGAIN;
    const auto latest = static_cast<std::uint32_t>((now - m_start) / intervalNs()) - 1;
    m_readFrame.assign(sizeImage(), 0);
    const std::size_t used = m_hw.picture ? m_hw.picture->draw(*this, latest, m_readFrame) : m_readFrame.size();
    bytes = std::min(used, target.size());
    std::copy_n(m_readFrame.begin(), bytes, target.begin());
    m_sequence = latest + 1;
    return 0;
}

int FakeV4l2Device::streamOn(int file, std::uint32_t type)
{
    if (type != captureType())
        return EINVAL;
    if (m_elsewhere || (m_owner != noOwner && m_owner != file))
        return EBUSY;
    if (m_buffers.empty())
        return EINVAL;
    if (m_streamOn)
        return 0;
    if (m_hw.usbBytesPerSecond != 0
        && std::uint64_t(m_format.sizeimage) * 1'000'000'000 / std::uint64_t(intervalNs()) > m_hw.usbBytesPerSecond)
        return ENOSPC;
    if (m_hw.picture)
        m_hw.picture->prepare(*this);
    m_streamOn = true;
    m_start = monotonicNow();
    m_sequence = 0;
    return 0;
}

int FakeV4l2Device::streamOff(int file, std::uint32_t type)
{
    if (type != captureType())
        return EINVAL;
    if (m_elsewhere || (m_owner != noOwner && m_owner != file))
        return EBUSY;
    // Every buffer comes back to the caller, done or not.
    m_streamOn = false;
    m_queued.clear();
    for (auto& buffer : m_buffers)
        buffer.state = Buffer::Dequeued;
    return 0;
}

}  // namespace capture
