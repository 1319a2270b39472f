#pragma once

#include "PictureAdjustments.h"

#include <array>
#include <cstdint>

namespace capture {

// The picture of a tuner on a channel without a station: grey noise, new every frame. Each pixel
// takes one byte of a fast xorshift generator through a table that carries the picture settings.
class Snow {
public:
    explicit Snow(std::uint64_t seed = 0x9e3779b97f4a7c15ull);

    void setAdjustments(const PictureAdjustments& adjustments);
    void paint(std::uint8_t* data, int strideBytes, int width, int height);

private:
    std::uint64_t next();

    std::uint64_t m_state;
    std::array<std::uint32_t, 256> m_levels;
};

}  // namespace capture
