#include "DeviceCatalogue.h"

#include "AudioSources.h"
#include "DevicesLog.h"
#include "virtual/VirtualDevices.h"

#include <algorithm>
#include <set>

namespace capture {

namespace {

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

int DeviceCatalogue::videoIndexOfNode(const std::string& node) const
{
    for (int index = 0; index < videoCount(); ++index)
        if (video(index).node() == node)
            return index;
    return -1;
}

void DeviceCatalogue::insertVideo(int index, std::unique_ptr<VideoDevice> device)
{
    qCInfo(lcDevices, "video device plugged in: %s", device->name().c_str());
    m_video.insert(m_video.begin() + std::clamp(index, 0, videoCount()), std::move(device));
    m_videoNames = distinctNames(m_video);
}

std::unique_ptr<VideoDevice> DeviceCatalogue::takeVideo(int index)
{
    std::unique_ptr<VideoDevice> device = std::move(m_video.at(static_cast<size_t>(index)));
    m_video.erase(m_video.begin() + index);
    m_videoNames = distinctNames(m_video);
    qCInfo(lcDevices, "video device gone: %s", device->name().c_str());
    return device;
}

int DeviceCatalogue::indexOf(const VideoDevice& device) const
{
    for (int index = 0; index < videoCount(); ++index)
        if (m_video[static_cast<size_t>(index)].get() == &device)
            return index;
    return -1;
}

DeviceCatalogue DeviceCatalogue::discover(const VideoScan& scanVideo)
{
    DeviceCatalogue found = withBuiltInDevices(scanVideo(), discoverAudioSources());
    for (const std::string& name : found.m_videoNames)
        qCInfo(lcDevices, "video device: %s", name.c_str());
    for (const std::string& name : found.m_audioNames)
        qCInfo(lcDevices, "audio device: %s", name.c_str());
    return found;
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
