#include "GstAudioDevice.h"

#include "capture/contract/CaptureError.h"

namespace capture {

namespace {

std::string displayName(GstDevice* device)
{
    gchar* name = gst_device_get_display_name(device);
    std::string text = name ? name : "";
    g_free(name);
    return text;
}

}  // namespace

GstAudioDevice::GstAudioDevice(GstHandle<GstDevice> device)
    : m_device(std::move(device)), m_name(displayName(m_device.get()))
{
}

ElementPtr GstAudioDevice::createSource()
{
    ElementPtr source(gst_device_create_element(m_device.get(), nullptr));
    if (!source)
        throw CaptureError("The audio device \"" + m_name + "\" cannot be opened: its GStreamer "
                           "source is missing.");
    return source;
}

}  // namespace capture
