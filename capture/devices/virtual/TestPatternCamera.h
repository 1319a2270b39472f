#pragma once

#include "VirtualCameraSettings.h"

#include "capture/devices/VideoDevice.h"

#include <memory>

namespace capture {

// "Test Pattern Camera": colour bars on one input, the ten settings of a webcam, no tuner.
class TestPatternCamera : public VideoDevice {
public:
    TestPatternCamera();

    std::string name() const override;
    std::vector<std::string> inputs() override;
    std::vector<VideoFormat> formats(int input) override;
    CameraSettings& settings() override;
    Tuner* tuner() override;
    ElementPtr createSource(int input, const VideoFormat& format) override;

private:
    std::shared_ptr<VirtualCameraSettings> m_settings;
};

}  // namespace capture
