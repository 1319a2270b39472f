#pragma once

#include "SimulatedTuner.h"
#include "VirtualControls.h"

#include "capture/devices/VideoDevice.h"

#include <memory>

namespace capture {

// "Test Pattern TV Tuner": a TV card with a simulated aerial on input "Television" and plain
// colour bars on input "Composite"; its decoder offers brightness, contrast, hue and saturation.
class TestPatternTvTuner : public VideoDevice {
public:
    explicit TestPatternTvTuner(std::shared_ptr<Studio> studio);

    enum Input { Television = 0, Composite = 1 };
    // What the card and its sound, the "Test Tone", answer as their physical device.
    static constexpr const char* Card = "built-in TV card";

    std::string name() const override;
    std::vector<std::string> inputs() override;
    std::vector<VideoFormat> formats(int input) override;
    DeviceControls& controls() override;
    Tuner* tuner() override;
    ElementPtr createSource(int input, const VideoFormat& format) override;
    std::string physicalDevice() const override { return Card; }

private:
    std::shared_ptr<VirtualControls> m_controls;
    std::shared_ptr<SimulatedTuner> m_tuner;
};

}  // namespace capture
