#pragma once

#include "FramePainter.h"
#include "TestPatternPicture.h"
#include "VirtualCameraSettings.h"

#include <future>
#include <memory>
#include <optional>

namespace capture {

// The colour bars with the device's current settings; renders the still part again only when
// a setting has changed.
class BarsPainter : public FramePainter {
public:
    BarsPainter(int width, int height, std::shared_ptr<const VirtualCameraSettings> settings);

    void paint(std::uint8_t* data, int strideBytes, std::uint64_t frameIndex) override;

private:
    std::shared_ptr<const VirtualCameraSettings> m_settings;
    std::future<TestPatternPicture> m_firstPicture;
    std::optional<TestPatternPicture> m_picture;
    std::uint64_t m_rendered = 0;
};

}  // namespace capture
