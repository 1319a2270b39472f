#pragma once

#include "FramePainter.h"
#include "TestPatternPicture.h"
#include "VirtualControls.h"

#include <memory>
#include <optional>

namespace capture {

// The colour bars with the device's current settings; renders the still part with the first
// frame, and again only when a setting has changed.
class BarsPainter : public FramePainter {
public:
    BarsPainter(int width, int height, std::shared_ptr<const VirtualControls> settings);

    void paint(std::uint8_t* data, int strideBytes, std::uint64_t frameIndex) override;

private:
    int m_width;
    int m_height;
    std::shared_ptr<const VirtualControls> m_settings;
    std::optional<TestPatternPicture> m_picture;
    std::uint64_t m_rendered = 0;  // the settings' generation of the kept still part; 0 before it is kept
};

}  // namespace capture
