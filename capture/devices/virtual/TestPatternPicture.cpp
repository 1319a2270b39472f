#include "TestPatternPicture.h"

#include "ColourProcessor.h"
#include "PixelCanvas.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace capture {

const std::array<std::uint32_t, 8> TestPatternPicture::barColours = {
    rgbPixel(255, 255, 255), rgbPixel(255, 255, 0), rgbPixel(0, 255, 255), rgbPixel(0, 255, 0),
    rgbPixel(255, 0, 255),   rgbPixel(255, 0, 0),   rgbPixel(0, 0, 255),   rgbPixel(0, 0, 0),
};

namespace {

// A muted slate blue: the bars are fully saturated already, so more saturation shows only on
// a colour that has room for it.
constexpr std::uint32_t stripGround = rgbPixel(40, 52, 72);

}  // namespace

TestPatternPicture::TestPatternPicture(int width, int height, const PictureAdjustments& adjustments)
    : TestPatternPicture(width, height, Unrendered{})
{
    render(adjustments);
}

TestPatternPicture::TestPatternPicture(int width, int height, Unrendered)
    : m_width(std::max(width, 8)), m_height(std::max(height, 8)), m_still(new std::uint32_t[std::size_t(m_width) * std::size_t(m_height)])
{
}

void TestPatternPicture::render(const PictureAdjustments& adjustments, std::optional<int> caption)
{
    renderInto({m_still.get(), m_width, m_height, m_width}, adjustments, caption);
}

void TestPatternPicture::renderInto(const PixelCanvas& canvas, const PictureAdjustments& adjustments, std::optional<int> caption)
{
    const ColourProcessor processor(adjustments);
    const auto row = [&canvas](int y) { return canvas.pixels + std::ptrdiff_t(y) * canvas.stride; };

    std::array<std::uint32_t, 8> bars;
    for (std::size_t i = 0; i < bars.size(); ++i)
        bars[i] = processor.apply(barColours[i]);
    for (int x = 0; x < m_width; ++x)
        row(0)[x] = bars[std::size_t(x) * 8 / std::size_t(m_width)];
    for (int y = 1; y < barsBottom(); ++y)
        std::copy_n(row(0), m_width, row(y));

    std::array<std::uint32_t, 256> greys;
    for (int level = 0; level < 256; ++level)
        greys[level] = processor.apply(rgbPixel(level, level, level));
    std::uint32_t* ramp = row(barsBottom());
    for (int x = 0; x < m_width; ++x)
        ramp[x] = greys[x * 255 / (m_width - 1)];
    for (int y = barsBottom() + 1; y < stripTop(); ++y)
        std::copy_n(ramp, m_width, row(y));

    canvas.fillRect(0, stripTop(), m_width, m_height - stripTop(), processor.apply(stripGround));
    m_marker = processor.apply(rgbPixel(255, 255, 255));

    if (caption)
        drawNumber(canvas, *caption, m_width / 2, barsBottom() / 2, barsBottom() * 9 / 20, processor.apply(rgbPixel(255, 255, 255)),
                   processor.apply(rgbPixel(0, 0, 0)));

    if (adjustments.sharpness != 0)
        sharpen(canvas, adjustments.sharpness > 0 ? 2 * adjustments.sharpness : adjustments.sharpness);
}

// An unsharp mask across each line: the luma's difference from its local mean, scaled, is added
// back. Negative amounts soften. Lines repeat a lot (bars, ramp), so a line equal to the one
// above takes that one's result.
void TestPatternPicture::sharpen(const PixelCanvas& canvas, double amount) const
{
    const int radius = std::max(1, m_width / 320);
    std::vector<std::uint32_t> previousIn;
    std::vector<std::uint32_t> previousOut;
    std::vector<int> luma(m_width);
    std::vector<long> sums(std::size_t(m_width) + 1);
    for (int y = 0; y < m_height; ++y) {
        std::uint32_t* line = canvas.pixels + std::ptrdiff_t(y) * canvas.stride;
        if (!previousIn.empty() && std::equal(line, line + m_width, previousIn.begin())) {
            std::copy(previousOut.begin(), previousOut.end(), line);
            continue;
        }
        previousIn.assign(line, line + m_width);
        for (int x = 0; x < m_width; ++x) {
            luma[x] = (77 * redOf(line[x]) + 150 * greenOf(line[x]) + 29 * blueOf(line[x])) >> 8;
            sums[x + 1] = sums[x] + luma[x];
        }
        for (int x = 0; x < m_width; ++x) {
            const int lo = std::max(0, x - radius);
            const int hi = std::min(m_width - 1, x + radius);
            const double mean = double(sums[hi + 1] - sums[lo]) / (hi - lo + 1);
            const double delta = amount * (luma[x] - mean);
            const auto channel = [delta](int v) { return int(std::clamp(std::lround(v + delta), 0L, 255L)); };
            line[x] = rgbPixel(channel(redOf(previousIn[x])), channel(greenOf(previousIn[x])), channel(blueOf(previousIn[x])));
        }
        previousOut.assign(line, line + m_width);
    }
}

void TestPatternPicture::copyStill(std::uint8_t* data, int strideBytes) const
{
    for (int y = 0; y < m_height; ++y)
        std::memcpy(data + std::ptrdiff_t(y) * strideBytes, &m_still[std::size_t(y) * m_width], std::size_t(m_width) * 4);
}

QRect TestPatternPicture::markerAt(std::uint64_t halfFrames) const
{
    // The marker sweeps to and fro across the strip, about two seconds a sweep at 30 fps.
    const int stripHeight = m_height - stripTop();
    const int size = std::max(2, stripHeight * 3 / 5);
    const int travel = std::max(1, m_width - size);
    const std::uint64_t speed = std::uint64_t(std::max(1, m_width / 60));
    const int along = int((halfFrames * speed / 2) % std::uint64_t(2 * travel));
    const int x = along <= travel ? along : 2 * travel - along;
    return QRect(x, stripTop() + (stripHeight - size) / 2, size, size);
}

void TestPatternPicture::paintFrame(std::uint64_t frameIndex, std::uint8_t* data, int strideBytes) const
{
    copyStill(data, strideBytes);
    drawMarker({reinterpret_cast<std::uint32_t*>(data), m_width, m_height, strideBytes / 4}, frameIndex);
}

void TestPatternPicture::paintFrameRendering(std::uint64_t frameIndex, const PictureAdjustments& adjustments, std::uint8_t* data,
                                             int strideBytes)
{
    const PixelCanvas frame{reinterpret_cast<std::uint32_t*>(data), m_width, m_height, strideBytes / 4};
    renderInto(frame, adjustments, std::nullopt);
    drawMarker(frame, frameIndex);
}

void TestPatternPicture::drawMarker(const PixelCanvas& frame, std::uint64_t frameIndex) const
{
    const QRect marker = markerAt(2 * frameIndex);
    frame.fillRect(marker.x(), marker.y(), marker.width(), marker.height(), m_marker);
}

void TestPatternPicture::paintFields(std::uint64_t frameIndex, bool topFieldFirst, std::uint8_t* data, int strideBytes) const
{
    copyStill(data, strideBytes);
    const PixelCanvas frame{reinterpret_cast<std::uint32_t*>(data), m_width, m_height, strideBytes / 4};
    for (int field = 0; field < 2; ++field) {
        const QRect marker = markerAt(2 * frameIndex + std::uint64_t(field));
        const int parity = (field == 0) == topFieldFirst ? 0 : 1;  // the top field's lines are the even ones
        for (int y = marker.top(); y <= marker.bottom(); ++y)
            if (y % 2 == parity)
                frame.fillRect(marker.x(), y, marker.width(), 1, m_marker);
    }
}

}  // namespace capture
