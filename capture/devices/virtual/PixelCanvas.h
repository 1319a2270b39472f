#pragma once

#include <cstdint>

namespace capture {

// A view of 32-bit pixels someone else owns; drawing clips to it.
struct PixelCanvas {
    std::uint32_t* pixels = nullptr;
    int width = 0;
    int height = 0;
    int stride = 0;  // in pixels

    void fillRect(int x, int y, int w, int h, std::uint32_t colour) const;
};

// Draws a whole number in seven-segment digits, centred on (centreX, centreY), each digit
// `digitHeight` tall, on a plate of `plate` colour that keeps it legible over any picture.
void drawNumber(const PixelCanvas& canvas, int number, int centreX, int centreY, int digitHeight,
                std::uint32_t ink, std::uint32_t plate);

}  // namespace capture
