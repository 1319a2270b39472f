#include "PixelCanvas.h"

#include <algorithm>
#include <string>

namespace capture {

void PixelCanvas::fillRect(int x, int y, int w, int h, std::uint32_t colour) const
{
    const int left = std::max(x, 0);
    const int top = std::max(y, 0);
    const int right = std::min(x + w, width);
    const int bottom = std::min(y + h, height);
    if (left >= right || top >= bottom)
        return;
    for (int row = top; row < bottom; ++row)
        std::fill(pixels + std::ptrdiff_t(row) * stride + left, pixels + std::ptrdiff_t(row) * stride + right, colour);
}

namespace {

// Segments a-g as bits 0-6: a top, b upper right, c lower right, d bottom, e lower left,
// f upper left, g middle.
constexpr unsigned char segmentsOf[10] = {
    0b0111111, 0b0000110, 0b1011011, 0b1001111, 0b1100110,
    0b1101101, 0b1111101, 0b0000111, 0b1111111, 0b1101111,
};

void drawDigit(const PixelCanvas& canvas, int digit, int x, int y, int w, int h, std::uint32_t ink)
{
    const int t = std::max(1, w / 5);
    const int mid = y + h / 2;
    const unsigned char on = segmentsOf[digit];
    if (on & 1) canvas.fillRect(x, y, w, t, ink);
    if (on & 2) canvas.fillRect(x + w - t, y, t, mid - y + t / 2 + 1, ink);
    if (on & 4) canvas.fillRect(x + w - t, mid - t / 2, t, y + h - mid + t / 2, ink);
    if (on & 8) canvas.fillRect(x, y + h - t, w, t, ink);
    if (on & 16) canvas.fillRect(x, mid - t / 2, t, y + h - mid + t / 2, ink);
    if (on & 32) canvas.fillRect(x, y, t, mid - y + t / 2 + 1, ink);
    if (on & 64) canvas.fillRect(x, mid - t / 2, w, t, ink);
}

}  // namespace

void drawNumber(const PixelCanvas& canvas, int number, int centreX, int centreY, int digitHeight,
                std::uint32_t ink, std::uint32_t plate)
{
    const std::string digits = std::to_string(number < 0 ? -number : number);
    const int h = std::max(digitHeight, 5);
    const int w = std::max(h * 11 / 20, 3);
    const int gap = std::max(w / 3, 1);
    const int margin = std::max(h / 6, 2);
    const int total = int(digits.size()) * (w + gap) - gap;
    const int left = centreX - total / 2;
    const int top = centreY - h / 2;
    canvas.fillRect(left - margin, top - margin, total + 2 * margin, h + 2 * margin, plate);
    for (std::size_t i = 0; i < digits.size(); ++i)
        drawDigit(canvas, digits[i] - '0', left + int(i) * (w + gap), top, w, h, ink);
}

}  // namespace capture
