#include "TunerPainter.h"

#include <utility>

namespace capture {

TunerPainter::TunerPainter(int width, int height, std::shared_ptr<const VirtualControls> settings,
                           std::shared_ptr<const SimulatedTuner> tuner, PictureFields fields)
    : m_settings(std::move(settings)), m_tuner(std::move(tuner)), m_picture(width, height), m_fields(fields)
{
}

void TunerPainter::paint(std::uint8_t* data, int strideBytes, std::uint64_t frameIndex)
{
    const std::optional<int> station = m_tuner->station();
    if (m_settings->generation() != m_rendered || station != m_renderedStation) {
        const auto snapshot = m_settings->snapshot();
        if (station)
            m_picture.render(snapshot.adjustments, station);
        m_snow.setAdjustments(snapshot.adjustments);
        m_rendered = snapshot.generation;
        m_renderedStation = station;
    }
    if (station && m_fields.interlaced())
        m_picture.paintFields(frameIndex, m_fields.topFieldFirst, data, strideBytes);
    else if (station)
        m_picture.paintFrame(frameIndex, data, strideBytes);
    else
        m_snow.paint(data, strideBytes, m_picture.width(), m_picture.height());
}

}  // namespace capture
