#include "DeviceCatalogue.h"

#include "AudioSources.h"
#include "GstVideoDevice.h"
#include "virtual/VirtualDevices.h"

#include <cstring>
#include <set>

namespace capture {

namespace {

std::vector<GstHandle<GstDevice>> devicesOfClass(const char* classes)
{
    GstHandle<GstDeviceMonitor> monitor(gst_device_monitor_new());
    gst_device_monitor_add_filter(monitor.get(), classes, nullptr);
    // Not started: the providers are probed once, right now.
    GList* list = gst_device_monitor_get_devices(monitor.get());
    std::vector<GstHandle<GstDevice>> devices;
    for (GList* node = list; node; node = node->next)
        devices.emplace_back(GST_DEVICE(node->data));  // the list's reference moves into the handle
    g_list_free(list);
    return devices;
}

// A V4L2 capture node, as opposed to the same camera seen through a sound server or another
// framework.
bool isV4l2Node(GstDevice* device)
{
    GstStructure* properties = gst_device_get_properties(device);
    if (!properties)
        return false;
    const char* api = gst_structure_get_string(properties, "device.api");
    const bool v4l2 = api && std::strcmp(api, "v4l2") == 0
        && gst_structure_get_string(properties, "device.path") != nullptr;
    gst_structure_free(properties);
    return v4l2;
}

// The devices' own names, each made unique with the first free " #N". A suffixed name never
// takes one that a later device has of its own.
template <typename Device>
std::vector<std::string> distinctNames(const std::vector<std::unique_ptr<Device>>& devices)
{
    std::set<std::string> own;
    for (const auto& device : devices)
        own.insert(device->name());
    std::set<std::string> given;
    std::vector<std::string> names;
    for (const auto& device : devices) {
        const std::string base = device->name();
        std::string name = base;
        for (int count = 2; given.count(name) || (name != base && own.count(name)); ++count)
            name = base + " #" + std::to_string(count);
        given.insert(name);
        names.push_back(std::move(name));
    }
    return names;
}

}  // namespace

DeviceCatalogue::DeviceCatalogue(std::vector<std::unique_ptr<VideoDevice>> video,
                                 std::vector<std::unique_ptr<AudioDevice>> audio)
    : m_video(std::move(video)), m_audio(std::move(audio)), m_videoNames(distinctNames(m_video)),
      m_audioNames(distinctNames(m_audio))
{
}

DeviceCatalogue::~DeviceCatalogue() = default;
DeviceCatalogue::DeviceCatalogue(DeviceCatalogue&&) noexcept = default;
DeviceCatalogue& DeviceCatalogue::operator=(DeviceCatalogue&&) noexcept = default;

DeviceCatalogue DeviceCatalogue::discover(const VideoDeviceMaker& makeVideoDevice)
{
    gst_init(nullptr, nullptr);
    std::vector<std::unique_ptr<VideoDevice>> video;
    for (auto& device : devicesOfClass("Video/Source")) {
        if (!isV4l2Node(device.get()))
            continue;
        if (makeVideoDevice)
            video.push_back(makeVideoDevice(std::move(device)));
        else
            video.push_back(std::make_unique<GstVideoDevice>(std::move(device)));
    }
    return withBuiltInDevices(std::move(video), discoverAudioSources());
}

std::optional<int> DeviceCatalogue::ownSound(int videoIndex) const
{
    const std::string physical = video(videoIndex).physicalDevice();
    if (physical.empty())
        return std::nullopt;
    for (int index = 0; index < audioCount(); ++index)
        if (audio(index).physicalDevice() == physical)
            return index;
    return std::nullopt;
}

DeviceCatalogue DeviceCatalogue::withBuiltInDevices(std::vector<std::unique_ptr<VideoDevice>> video,
                                                    std::vector<std::unique_ptr<AudioDevice>> audio)
{
    VirtualDevices builtIn = createVirtualDevices();
    video.push_back(std::move(builtIn.camera));
    video.push_back(std::move(builtIn.tuner));
    audio.push_back(std::move(builtIn.tone));
    return DeviceCatalogue(std::move(video), std::move(audio));
}

}  // namespace capture
