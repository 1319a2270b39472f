#include "BarsPainter.h"

#include <utility>

namespace capture {

// The first picture is rendered on a thread of its own while the graph is built and started:
// on the way to the first frame, not in front of it.
BarsPainter::BarsPainter(int width, int height, std::shared_ptr<const VirtualCameraSettings> settings)
    : m_settings(std::move(settings))
{
    const auto now = m_settings->snapshot();
    m_rendered = now.generation;
    m_firstPicture = std::async(std::launch::async, [width, height, adjustments = now.adjustments] {
        return TestPatternPicture(width, height, adjustments);
    });
}

void BarsPainter::paint(std::uint8_t* data, int strideBytes, std::uint64_t frameIndex)
{
    if (!m_picture)
        m_picture.emplace(m_firstPicture.get());
    if (m_settings->generation() != m_rendered) {
        const auto snapshot = m_settings->snapshot();
        m_picture->render(snapshot.adjustments);
        m_rendered = snapshot.generation;
    }
    m_picture->paintFrame(frameIndex, data, strideBytes);
}

}  // namespace capture
