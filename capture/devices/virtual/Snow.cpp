#include "Snow.h"

#include "ColourProcessor.h"

namespace capture {

Snow::Snow(std::uint64_t seed) : m_state(seed ? seed : 1)
{
    setAdjustments(PictureAdjustments{});
}

void Snow::setAdjustments(const PictureAdjustments& adjustments)
{
    const ColourProcessor processor(adjustments);
    for (int level = 0; level < 256; ++level)
        m_levels[level] = processor.apply(rgbPixel(level, level, level));
}

std::uint64_t Snow::next()
{
    m_state ^= m_state << 13;
    m_state ^= m_state >> 7;
    m_state ^= m_state << 17;
    return m_state;
}

void Snow::paint(std::uint8_t* data, int strideBytes, int width, int height)
{
    for (int y = 0; y < height; ++y) {
        auto* line = reinterpret_cast<std::uint32_t*>(data + std::ptrdiff_t(y) * strideBytes);
        int x = 0;
        while (x < width) {
            std::uint64_t bits = next();
            for (int i = 0; i < 8 && x < width; ++i, ++x, bits >>= 8)
                line[x] = m_levels[bits & 0xff];
        }
    }
}

}  // namespace capture
