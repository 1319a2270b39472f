#include "V4l2VideoDevice.h"

#include "NodeHolder.h"
#include "PipeWireCameras.h"
#include "V4l2Log.h"
#include "V4l2SourceElement.h"
#include "capture/devices/DeviceFailure.h"
#include "capture/devices/SysfsDevice.h"

#include <linux/videodev2.h>

#include <algorithm>
#include <cerrno>

namespace capture {

namespace {

constexpr std::uint32_t captureCapabilities = V4L2_CAP_VIDEO_CAPTURE | V4L2_CAP_VIDEO_CAPTURE_MPLANE;

}  // namespace

std::unique_ptr<V4l2VideoDevice> V4l2VideoDevice::open(std::shared_ptr<V4l2Io> io, const std::string& path,
                                                       std::string displayName, V4l2Tuner::Sleep sleep)
{
    V4l2File file(std::move(io), path);
    // A virtual camera is listed before a program feeds it, while it is an output only.
    const bool virtualCamera = file.isOpen() && capture::isVirtualCamera(file);
    if (!file.isOpen() || (!virtualCamera && !(deviceCapabilities(file) & captureCapabilities)))
        return nullptr;
    if (displayName.empty())
        displayName = cardName(file);
    if (displayName.empty())
        displayName = path;
    std::unique_ptr<V4l2VideoDevice> device(new V4l2VideoDevice(std::move(file), std::move(displayName)));
    device->m_identity = cameraIdentity(nodeDescription(device->m_file));
    device->m_virtualCamera = virtualCamera;
    device->m_tuner = V4l2Tuner::find(device->m_file, device->m_inputs, std::move(sleep));
    if (virtualCamera)
        device->m_file.openPerCall();
    return device;
}

V4l2VideoDevice::V4l2VideoDevice(V4l2File file, std::string name)
    : m_file(std::move(file)),
      m_name(std::move(name)),
      m_inputs(enumerateInputs(m_file)),
      m_controls(std::make_unique<V4l2DeviceControls>(m_file))
{
}

bool V4l2VideoDevice::connected() const
{
    v4l2_capability capability{};
    return m_file.ioctl(VIDIOC_QUERYCAP, &capability) != ENODEV;
}

bool V4l2VideoDevice::fed()
{
    if (!m_virtualCamera)
        return true;
    // Its input and formats are the feeding program's, and come and go with it.
    m_inputs = enumerateInputs(m_file);
    return virtualCameraFed(m_file);
}

std::vector<std::string> V4l2VideoDevice::inputs()
{
    fed();
    std::vector<std::string> names;
    for (const auto& input : m_inputs)
        names.push_back(input.name);
    return names;
}

// The driver lists what the current input and standard offer, so the input is switched to
// first. A node that streams (from this program or another) refuses that; the input's list
// from before stands in then, or the node's own while there is none.
std::vector<VideoFormat> V4l2VideoDevice::formats(int input)
{
    std::vector<VideoFormat> formats;
    if (!fed() || input < 0 || input >= static_cast<int>(m_inputs.size()))
        return formats;
    const V4l2InputInfo& chosen = m_inputs[static_cast<std::size_t>(input)];
    const int error = selectInput(chosen);
    if (error == 0 && m_tuner && chosen.standards != 0)
        m_tuner->applyStandard();  // refused while streaming: the formats are those of the standard in use
    auto known = m_formats.find(input);
    if (error != 0 && known != m_formats.end())
        return known->second;
    for (const auto& choice : listedFormats(m_file))
        formats.push_back(choice.format);
    if (error == 0 && !m_virtualCamera)
        m_formats[input] = formats;
    return formats;
}

int V4l2VideoDevice::selectInput(const V4l2InputInfo& input)
{
    // Only a change is written, as drivers refuse any S_INPUT while another program streams.
    int current = -1;
    int error = m_file.ioctl(VIDIOC_G_INPUT, &current);
    if (error == 0 && current != static_cast<int>(input.index)) {
        int index = static_cast<int>(input.index);
        error = m_file.ioctl(VIDIOC_S_INPUT, &index);
        if (error == 0)
            releaseStreamingRight();
    }
    return error == ENOTTY ? 0 : error;
}

// uvcvideo gives the first open that sets the input, format or rate, or asks for buffers, the
// sole right to do so (and to stream) until it closes or asks for zero buffers. The source opens
// the node again to stream, so this open, which stays for the settings and the tuner, lets go
// of that right as soon as it has set what it sets. Other drivers take the request as a no-op.
bool V4l2VideoDevice::releaseStreamingRight()
{
    v4l2_requestbuffers none{};
    none.type = captureBufferType(m_file);
    none.memory = V4L2_MEMORY_MMAP;
    // Refused (EBUSY) only while another open holds buffers, when this one holds nothing to let go of.
    return m_file.ioctl(VIDIOC_REQBUFS, &none) == EBUSY;
}

ElementPtr V4l2VideoDevice::createSource(int input, const VideoFormat& format)
{
    if (const auto shared = pipeWireCameraFor(input, format)) {
        qCInfo(lcV4l2, "%s: %s through PipeWire node %s", m_file.path().c_str(), format.name().c_str(), shared->target.c_str());
        return createPipeWireSource(*shared, prepareSharing(input, format));
    }
    return createV4l2SourceElement(m_file.path(), prepareStreaming(input, format), m_virtualCamera);
}

// A camera input in a format PipeWire carries. A TV input's standard and fields, libv4l2's
// conversions and a virtual camera (which PipeWire 0.3.65 does not stream) are taken directly.
std::optional<PipeWireCamera> V4l2VideoDevice::pipeWireCameraFor(int input, const VideoFormat& format) const
{
    if (m_virtualCamera || format.converted || input < 0 || input >= static_cast<int>(m_inputs.size())
        || m_inputs[static_cast<std::size_t>(input)].standards != 0)
        return std::nullopt;
    auto camera = pipeWireCameraOf(m_file.path());
    if (!camera || !carries(*camera, format))
        return std::nullopt;
    return camera;
}

const VideoFormat& V4l2VideoDevice::prepareSharing(int input, const VideoFormat& format)
{
    const V4l2InputInfo& chosen = m_inputs[static_cast<std::size_t>(input)];
    if (const int error = selectInput(chosen))
        fail(DeviceFailure::Step::SwitchInput, chosen.name, error);
    if (!offeredFormat(m_file, format))
        throw DeviceError(
            {.kind = DeviceFailure::Kind::FormatNotOffered, .device = m_name, .format = format.name(), .input = chosen.name});
    // PipeWire shares the camera's one stream among the programs that take it through PipeWire,
    // in the format the first of them chose; a program that streams the camera directly keeps
    // PipeWire from it, and is named.
    if (!releaseStreamingRight())
        return format;
    if (auto holder = streamingHolder(); holder && holder->program != "pipewire")
        throw DeviceError({.kind = DeviceFailure::Kind::VideoStepRefused,
                           .device = m_name,
                           .value = format.name(),
                           .step = DeviceFailure::Step::TakeFormat,
                           .error = EBUSY,
                           .holder = std::move(holder)});
    return format;
}

// A program that streams the node directly before PipeWire, which keeps a camera open for a few
// seconds after its last program let go.
std::optional<NodeHolder> V4l2VideoDevice::streamingHolder() const
{
    const auto holders = findNodeHolders(m_file.path());
    const auto direct = std::find_if(holders.begin(), holders.end(), [](const NodeHolder& h) { return h.program != "pipewire"; });
    if (direct != holders.end())
        return *direct;
    if (holders.empty())
        return std::nullopt;
    return holders.front();
}

bool V4l2VideoDevice::sharedThroughPipeWire() const
{
    return !m_virtualCamera && pipeWireCameraOf(m_file.path()).has_value();
}

std::string V4l2VideoDevice::physicalDevice() const
{
    return physicalDeviceOfVideoNode(m_file.path());
}

V4l2FormatChoice V4l2VideoDevice::prepareStreaming(int input, const VideoFormat& format)
{
    if (!fed())
        throw DeviceError({.kind = DeviceFailure::Kind::NotFed, .device = m_name});
    if (input < 0 || input >= static_cast<int>(m_inputs.size()))
        throw DeviceError({.kind = DeviceFailure::Kind::NoSuchInput, .device = m_name, .number = input});
    const V4l2InputInfo& chosen = m_inputs[static_cast<std::size_t>(input)];

    // The input first: the standard and the formats may depend on it.
    int error = selectInput(chosen);
    if (error != 0)
        fail(DeviceFailure::Step::SwitchInput, chosen.name, error);

    if (m_tuner && chosen.standards != 0) {
        error = m_tuner->applyStandard();
        // EINVAL: the card lacks the country's standard and keeps its own.
        if (error != 0 && error != EINVAL)
            fail(DeviceFailure::Step::TakeStandard, {}, error);
    }

    const auto match = offeredFormat(m_file, format);
    if (!match)
        throw DeviceError(
            {.kind = DeviceFailure::Kind::FormatNotOffered, .device = m_name, .format = format.name(), .input = chosen.name});

    const std::uint32_t type = captureBufferType(m_file);
    v4l2_format wanted = formatRequest(type, match->fourcc, static_cast<std::uint32_t>(format.width),
                                       static_cast<std::uint32_t>(format.height));
    const std::uint32_t field = fieldRequestFor(chosen);
    (type == V4L2_BUF_TYPE_VIDEO_CAPTURE_MPLANE ? wanted.fmt.pix_mp.field : wanted.fmt.pix.field) = field;
    error = m_file.ioctl(VIDIOC_S_FMT, &wanted);
    const bool planes = type == V4L2_BUF_TYPE_VIDEO_CAPTURE_MPLANE;
    if (error == 0 && (planes ? wanted.fmt.pix_mp.field : wanted.fmt.pix.field) == V4L2_FIELD_ALTERNATE
        && (planes ? wanted.fmt.pix_mp.height : wanted.fmt.pix.height) == std::uint32_t(format.height)) {
        // Fields in buffers of their own, each scaled to the frame's height: two of half its
        // height make the frame (V4l2MappedStream asks the same as it streams).
        (planes ? wanted.fmt.pix_mp.height : wanted.fmt.pix.height) = std::uint32_t(format.height) / 2;
        error = m_file.ioctl(VIDIOC_S_FMT, &wanted);
    }
    releaseStreamingRight();
    if (error != 0)
        fail(DeviceFailure::Step::TakeFormat, format.name(), error);
    V4l2FormatChoice streamed = *match;
    const bool planar = type == V4L2_BUF_TYPE_VIDEO_CAPTURE_MPLANE;
    streamed.driverField = planar ? wanted.fmt.pix_mp.field : wanted.fmt.pix.field;
    streamed.fields = planar ? fieldsOf(m_file, streamed.driverField, wanted.fmt.pix_mp.width, wanted.fmt.pix_mp.height)
                             : fieldsOf(m_file, streamed.driverField, wanted.fmt.pix.width, wanted.fmt.pix.height);
    return streamed;
}

void V4l2VideoDevice::fail(DeviceFailure::Step step, const std::string& value, int error) const
{
    // Busy: another open streams from the node; who, where this user may see it.
    throw DeviceError({.kind = DeviceFailure::Kind::VideoStepRefused,
                       .device = m_name,
                       .value = value,
                       .step = step,
                       .error = error,
                       .holder = error == EBUSY ? streamingHolder() : std::nullopt});
}

}  // namespace capture
