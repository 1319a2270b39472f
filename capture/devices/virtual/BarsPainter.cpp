#include "BarsPainter.h"

#include <utility>

namespace capture {

BarsPainter::BarsPainter(int width, int height, std::shared_ptr<const VirtualControls> settings)
    : m_width(width), m_height(height), m_settings(std::move(settings))
{
}

// The first frame is wanted at once: its still part is rendered straight into it, and rendered
// again to be kept with the second frame, which has a frame's time for it.
void BarsPainter::paint(std::uint8_t* data, int strideBytes, std::uint64_t frameIndex)
{
    if (!m_picture) {
        m_picture.emplace(m_width, m_height, TestPatternPicture::Unrendered{});
        m_picture->paintFrameRendering(frameIndex, m_settings->snapshot().adjustments, data, strideBytes);
        return;
    }
    if (m_settings->generation() != m_rendered) {
        const auto snapshot = m_settings->snapshot();
        m_picture->render(snapshot.adjustments);
        m_rendered = snapshot.generation;
    }
    m_picture->paintFrame(frameIndex, data, strideBytes);
}

}  // namespace capture
