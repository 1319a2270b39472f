#include "V4l2CatalogueDevice.h"

#include "V4l2Devices.h"
#include "capture/devices/GstVideoDevice.h"

namespace capture {
namespace {

std::string nodePath(GstDevice* device)
{
    GstStructure* properties = gst_device_get_properties(device);
    if (!properties)
        return {};
    const char* path = gst_structure_get_string(properties, "device.path");
    std::string text = path ? path : "";
    gst_structure_free(properties);
    return text;
}

std::string displayName(GstDevice* device)
{
    gchar* name = gst_device_get_display_name(device);
    std::string text = name ? name : "";
    g_free(name);
    return text;
}

}  // namespace

std::unique_ptr<VideoDevice> makeV4l2CatalogueDevice(GstHandle<GstDevice> device)
{
    const std::string path = nodePath(device.get());
    if (!path.empty())
        if (auto opened = openV4l2VideoDevice(path, displayName(device.get())))
            return opened;
    return std::make_unique<GstVideoDevice>(std::move(device));
}

}  // namespace capture
