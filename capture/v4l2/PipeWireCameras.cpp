#include "PipeWireCameras.h"

#include "capture/devices/DeviceFailure.h"
#include "capture/devices/GstElements.h"
#include "capture/devices/ServerSockets.h"

#include <cstring>

namespace capture {

namespace {

// PipeWire 0.3.65's provider turns every format of a node into caps, the ones GStreamer has no
// name for too, and asks GStreamer for a name it does not have: one critical warning per such
// format (a dozen on vivid) on each search. Those are dropped; every other message of that
// domain goes out as before.
void dropUnnamedFormatWarnings()
{
    static const bool installed = [] {
        g_log_set_handler(
            "GStreamer-Video", G_LOG_LEVEL_CRITICAL,
            [](const gchar* domain, GLogLevelFlags level, const gchar* message, gpointer) {
                if (!std::strstr(message, "format != GST_VIDEO_FORMAT_UNKNOWN"))
                    g_log_default_handler(domain, level, message, nullptr);
            },
            nullptr);
        return true;
    }();
    (void)installed;
}

std::string property(GstDevice* device, const char* name)
{
    const StructurePtr properties(gst_device_get_properties(device));
    const gchar* value = properties ? gst_structure_get_string(properties.get(), name) : nullptr;
    return value ? value : "";
}

}  // namespace

std::vector<PipeWireCamera> findPipeWireCameras()
{
    if (!gst_is_initialized())
        gst_init(nullptr, nullptr);
    std::vector<PipeWireCamera> cameras;
    if (!pipeWireMayAnswer())
        return cameras;
    GstHandle<GstDeviceProvider> provider(gst_device_provider_factory_get_by_name("pipewiredeviceprovider"));
    if (!provider)
        return cameras;
    dropUnnamedFormatWarnings();
    GList* devices = gst_device_provider_get_devices(provider.get());
    for (GList* entry = devices; entry; entry = entry->next) {
        GstHandle<GstDevice> device(static_cast<GstDevice*>(entry->data));  // takes the list's reference
        if (!gst_device_has_classes(device.get(), "Video/Source"))
            continue;
        std::string node = property(device.get(), "api.v4l2.path");
        std::string serial = property(device.get(), "object.serial");
        if (node.empty() || serial.empty())
            continue;
        cameras.push_back({std::move(node), std::move(serial), std::move(device)});
    }
    g_list_free(devices);
    return cameras;
}

std::optional<PipeWireCamera> pipeWireCameraOf(const std::string& v4l2Node)
{
    for (auto& camera : findPipeWireCameras())
        if (camera.v4l2Node == v4l2Node)
            return std::move(camera);
    return std::nullopt;
}

bool carries(const PipeWireCamera& camera, const VideoFormat& format)
{
    const CapsPtr listed(gst_device_get_caps(camera.device.get()));
    return listed && gst_caps_can_intersect(listed.get(), capsOf(format, true).get());
}

ElementPtr createPipeWireSource(const PipeWireCamera& camera, const VideoFormat& format)
{
    ElementPtr source = makeElement("pipewiresrc");
    ElementPtr filter = makeElement("capsfilter");
    // A copy of each picture: a recording holds pictures in its queues for a while, and
    // PipeWire's own buffers go back to the camera's stream, shared with the other programs, at once.
    g_object_set(source.get(), "target-object", camera.target.c_str(), "always-copy", TRUE, nullptr);
    g_object_set(filter.get(), "caps", capsOf(format, true).get(), nullptr);
    ElementPtr bin = sourceBin({source, filter});
    if (!bin)
        throw DeviceError({.kind = DeviceFailure::Kind::V4l2SourceUnlinked});
    return bin;
}

}  // namespace capture
