#include "BarsPainter.h"

#include <utility>

namespace capture {

BarsPainter::BarsPainter(int width, int height, std::shared_ptr<const VirtualCameraSettings> settings)
    : BarsPainter(width, height, settings, settings->snapshot())
{
}

// Rendered once, with the settings as they are: not again for the first frame, which is on the
// way to the first picture a start shows.
BarsPainter::BarsPainter(int width, int height, std::shared_ptr<const VirtualCameraSettings> settings,
                         const VirtualCameraSettings::Snapshot& now)
    : m_settings(std::move(settings)), m_picture(width, height, now.adjustments), m_rendered(now.generation)
{
}

void BarsPainter::paint(std::uint8_t* data, int strideBytes, std::uint64_t frameIndex)
{
    if (m_settings->generation() != m_rendered) {
        const auto snapshot = m_settings->snapshot();
        m_picture.render(snapshot.adjustments);
        m_rendered = snapshot.generation;
    }
    m_picture.paintFrame(frameIndex, data, strideBytes);
}

}  // namespace capture
