#pragma once

#include <cstdint>

namespace capture {

// Draws the frames of one virtual source one after the other: the first on a thread of its own
// while the graph starts, the others on the source's streaming thread.
class FramePainter {
public:
    virtual ~FramePainter() = default;
    // BGRx memory of the source's width and height; frameIndex counts from 0.
    virtual void paint(std::uint8_t* data, int strideBytes, std::uint64_t frameIndex) = 0;
};

}  // namespace capture
