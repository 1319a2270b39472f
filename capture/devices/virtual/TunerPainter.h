#pragma once

#include "FramePainter.h"
#include "SimulatedTuner.h"
#include "Snow.h"
#include "TestPatternPicture.h"
#include "capture/devices/PictureFields.h"
#include "VirtualControls.h"

#include <memory>
#include <optional>

namespace capture {

// The television input: a station's bars with its channel number, or snow where the tuned
// channel carries nothing. Follows tuning and settings from one frame to the next.
class TunerPainter : public FramePainter {
public:
    // fields: how the station's picture is taken (tvPictureFieldsOf); snow has no motion to comb.
    TunerPainter(int width, int height, std::shared_ptr<const VirtualControls> settings,
                 std::shared_ptr<const SimulatedTuner> tuner, PictureFields fields = {});

    void paint(std::uint8_t* data, int strideBytes, std::uint64_t frameIndex) override;

private:
    std::shared_ptr<const VirtualControls> m_settings;
    std::shared_ptr<const SimulatedTuner> m_tuner;
    TestPatternPicture m_picture;
    Snow m_snow;
    PictureFields m_fields;
    std::uint64_t m_rendered = 0;
    std::optional<int> m_renderedStation;
};

}  // namespace capture
