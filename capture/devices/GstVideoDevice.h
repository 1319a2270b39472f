#pragma once

#include "VideoDevice.h"

#include <memory>

namespace capture {

// A video source that the GStreamer device monitor found, used as it stands: the formats its
// caps offer, one input, no picture settings and no tuner.
class GstVideoDevice : public VideoDevice {
public:
    explicit GstVideoDevice(GstHandle<GstDevice> device);
    ~GstVideoDevice() override;

    std::string name() const override;
    std::vector<std::string> inputs() override;
    std::vector<VideoFormat> formats(int input) override;
    CameraSettings& settings() override;
    Tuner* tuner() override { return nullptr; }
    ElementPtr createSource(int input, const VideoFormat& format) override;

    // The formats named in a device's caps, in their order, each once. Fixed sizes only; a
    // frame-rate range gives its fastest rate.
    static std::vector<VideoFormat> formatsFromCaps(const GstCaps* caps);

private:
    GstHandle<GstDevice> m_device;
    std::string m_name;
    std::vector<VideoFormat> m_formats;
    std::unique_ptr<CameraSettings> m_settings;
};

// Caps that ask a source for exactly this format: raw video, or image/jpeg for "MJPG".
CapsPtr capsForFormat(const VideoFormat& format);

}  // namespace capture
