#pragma once

#include "VideoDevice.h"

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace capture {

// The devices a control offers: the real video and audio sources first, the built-in virtual
// devices after them. Video devices come and go with hot-plug (insertVideo, takeVideo); the
// owner changes the catalogue only on its own thread and never while it walks through it.
class DeviceCatalogue {
public:
    // The machine's video devices as they are now, in the order to list them.
    using VideoScan = std::function<std::vector<std::unique_ptr<VideoDevice>>()>;

    // The devices in the order given. A choice travels back to the control by name, so each
    // device is listed under a name of its own: a name met before gets " #2", " #3"...
    DeviceCatalogue(std::vector<std::unique_ptr<VideoDevice>> video,
                    std::vector<std::unique_ptr<AudioDevice>> audio);
    ~DeviceCatalogue();
    DeviceCatalogue(DeviceCatalogue&&) noexcept;
    DeviceCatalogue& operator=(DeviceCatalogue&&) noexcept;

    // What the machine has now, followed by the virtual devices: the video devices the scan
    // finds and the audio sources. Asks the audio providers once, without waiting for hot-plug
    // monitoring, so a machine without capture hardware gets the virtual devices at once.
    static DeviceCatalogue discover(const VideoScan& scanVideo);
    // These devices, followed by the built-in virtual ones.
    static DeviceCatalogue withBuiltInDevices(std::vector<std::unique_ptr<VideoDevice>> video,
                                              std::vector<std::unique_ptr<AudioDevice>> audio);

    int videoCount() const { return static_cast<int>(m_video.size()); }
    int audioCount() const { return static_cast<int>(m_audio.size()); }
    VideoDevice& video(int index) const { return *m_video.at(static_cast<size_t>(index)); }
    // The index of the video device reached through that node; -1 when none is listed.
    int videoIndexOfNode(const std::string& node) const;
    AudioDevice& audio(int index) const { return *m_audio.at(static_cast<size_t>(index)); }
    // A device plugged in, listed at this index (0 to videoCount()); the names are given anew.
    void insertVideo(int index, std::unique_ptr<VideoDevice> device);
    // A device that went, no longer listed; the names are given anew.
    std::unique_ptr<VideoDevice> takeVideo(int index);
    // Where the device is listed, or -1.
    int indexOf(const VideoDevice& device) const;

    // The names the control lists the devices under.
    const std::string& videoName(int index) const { return m_videoNames.at(static_cast<size_t>(index)); }
    const std::string& audioName(int index) const { return m_audioNames.at(static_cast<size_t>(index)); }
    // The audio device on the same physical device as that video device (a TV card's sound).
    std::optional<int> ownSound(int videoIndex) const;

private:
    std::vector<std::unique_ptr<VideoDevice>> m_video;
    std::vector<std::unique_ptr<AudioDevice>> m_audio;
    std::vector<std::string> m_videoNames;
    std::vector<std::string> m_audioNames;
};

}  // namespace capture
