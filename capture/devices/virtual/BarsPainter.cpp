#include "BarsPainter.h"

#include <utility>

namespace capture {

BarsPainter::BarsPainter(int width, int height, std::shared_ptr<const VirtualCameraSettings> settings)
    : m_width(width), m_height(height), m_settings(std::move(settings))
{
}

void BarsPainter::paint(std::uint8_t* data, int strideBytes, std::uint64_t frameIndex)
{
    if (!m_picture) {
        const auto now = m_settings->snapshot();
        m_picture.emplace(m_width, m_height, now.adjustments);
        m_rendered = now.generation;
    } else if (m_settings->generation() != m_rendered) {
        const auto snapshot = m_settings->snapshot();
        m_picture->render(snapshot.adjustments);
        m_rendered = snapshot.generation;
    }
    m_picture->paintFrame(frameIndex, data, strideBytes);
}

}  // namespace capture
