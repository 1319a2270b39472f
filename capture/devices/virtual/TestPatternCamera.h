#pragma once

#include "VirtualControls.h"

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
    DeviceControls& controls() override;
    Tuner* tuner() override;
    ElementPtr createSource(int input, const VideoFormat& format) override;

private:
    std::shared_ptr<VirtualControls> m_controls;
};

}  // namespace capture
