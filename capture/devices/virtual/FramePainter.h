#pragma once

#include <cstdint>

namespace capture {

// Draws the frames of one virtual source, on its streaming thread, one after the other.
class FramePainter {
public:
    virtual ~FramePainter() = default;
    // BGRx memory of the source's width and height; frameIndex counts from 0.
    virtual void paint(std::uint8_t* data, int strideBytes, std::uint64_t frameIndex) = 0;
};

}  // namespace capture
