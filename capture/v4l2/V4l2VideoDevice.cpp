#include "V4l2VideoDevice.h"

#include "V4l2SourceElement.h"
#include "capture/contract/CaptureError.h"
#include "capture/devices/SysfsDevice.h"

#include <linux/videodev2.h>

#include <cerrno>

namespace capture {

std::unique_ptr<V4l2VideoDevice> V4l2VideoDevice::open(std::shared_ptr<V4l2Io> io, const std::string& path,
                                                       std::string displayName, V4l2Tuner::Sleep sleep)
{
    V4l2File file(std::move(io), path);
    if (!file.isOpen() || !(deviceCapabilities(file) & V4L2_CAP_VIDEO_CAPTURE))
        return nullptr;
    if (displayName.empty())
        displayName = cardName(file);
    if (displayName.empty())
        displayName = path;
    std::unique_ptr<V4l2VideoDevice> device(new V4l2VideoDevice(std::move(file), std::move(displayName)));
    device->m_tuner = V4l2Tuner::find(device->m_file, device->m_inputs, std::move(sleep));
    return device;
}

V4l2VideoDevice::V4l2VideoDevice(V4l2File file, std::string name)
    : m_file(std::move(file)),
      m_name(std::move(name)),
      m_inputs(enumerateInputs(m_file)),
      m_settings(std::make_unique<V4l2CameraSettings>(m_file))
{
}

bool V4l2VideoDevice::connected() const
{
    v4l2_capability capability{};
    return m_file.ioctl(VIDIOC_QUERYCAP, &capability) != ENODEV;
}

std::vector<std::string> V4l2VideoDevice::inputs()
{
    std::vector<std::string> names;
    for (const auto& input : m_inputs)
        names.push_back(input.name);
    return names;
}

std::vector<VideoFormat> V4l2VideoDevice::formats(int input)
{
    // The formats belong to the node, not to one input; the index is only checked.
    std::vector<VideoFormat> formats;
    if (input < 0 || input >= static_cast<int>(m_inputs.size()))
        return formats;
    for (const auto& choice : enumerateFormats(m_file))
        formats.push_back(choice.format);
    return formats;
}

ElementPtr V4l2VideoDevice::createSource(int input, const VideoFormat& format)
{
    return createV4l2SourceElement(m_file.path(), prepareStreaming(input, format));
}

std::string V4l2VideoDevice::physicalDevice() const
{
    return physicalDeviceOfVideoNode(m_file.path());
}

V4l2FormatChoice V4l2VideoDevice::prepareStreaming(int input, const VideoFormat& format)
{
    if (input < 0 || input >= static_cast<int>(m_inputs.size()))
        throw CaptureError("The video device \"" + m_name + "\" has no input " + std::to_string(input)
                           + ". Choose one of its inputs.");
    const V4l2InputInfo& chosen = m_inputs[static_cast<std::size_t>(input)];

    // The input first: the standard and the formats may depend on it. Only a change is
    // written, as drivers refuse any S_INPUT while another program streams.
    int current = -1;
    int error = m_file.ioctl(VIDIOC_G_INPUT, &current);
    if (error == 0 && current != static_cast<int>(chosen.index)) {
        int index = static_cast<int>(chosen.index);
        error = m_file.ioctl(VIDIOC_S_INPUT, &index);
    }
    if (error != 0 && error != ENOTTY)
        fail("did not switch to the input \"" + chosen.name + "\"", error);

    if (m_tuner && chosen.standards != 0) {
        error = m_tuner->applyStandard();
        // EINVAL: the card lacks the country's standard and keeps its own.
        if (error != 0 && error != EINVAL)
            fail("did not take the TV standard", error);
    }

    const V4l2FormatChoice* match = nullptr;
    const auto choices = enumerateFormats(m_file);
    for (const auto& choice : choices)
        if (choice.format == format)
            match = &choice;
    if (!match)
        throw CaptureError("The video device \"" + m_name + "\" does not offer the format \"" + format.name()
                           + "\". Choose one of the formats it lists.");

    v4l2_format wanted{};
    wanted.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
    wanted.fmt.pix.pixelformat = match->fourcc;
    wanted.fmt.pix.width = static_cast<std::uint32_t>(format.width);
    wanted.fmt.pix.height = static_cast<std::uint32_t>(format.height);
    wanted.fmt.pix.field = V4L2_FIELD_ANY;
    error = m_file.ioctl(VIDIOC_S_FMT, &wanted);
    if (error != 0)
        fail("did not take the format \"" + format.name() + "\"", error);
    return *match;
}

void V4l2VideoDevice::fail(const std::string& what, int error) const
{
    std::string advice;
    switch (error) {
    case EBUSY:
        advice = "Another program is using it: close that program and start again.";
        break;
    case ENODEV:
    case ENOENT:
    case ENXIO:
        advice = "It is no longer connected: connect it again, choose it in the device list and start again.";
        break;
    case EACCES:
    case EPERM:
        advice = "You are not allowed to use it: ask for access to video devices (the video group).";
        break;
    default:
        advice = "Choose another device, input or format and start again.";
        break;
    }
    throw CaptureError("The video device \"" + m_name + "\" " + what + " (" + errorText(error) + "). " + advice);
}

}  // namespace capture
