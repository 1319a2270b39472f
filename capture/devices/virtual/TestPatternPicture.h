#pragma once

#include "PictureAdjustments.h"
#include "PixelCanvas.h"

#include <QRect>

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

namespace capture {

// The virtual devices' picture: eight 100% colour bars over the top three quarters, a grey ramp
// under them (where gamma and backlight show), and at the bottom a muted blue strip (where more
// saturation shows) in which a white marker moves from frame to frame so the picture is visibly
// live. The still part is rendered once per change
// of settings; a frame is a copy of it plus the marker, cheap enough for 720p at 30 fps.
class TestPatternPicture {
public:
    // Rendered with these adjustments from the start.
    TestPatternPicture(int width, int height, const PictureAdjustments& adjustments = {});
    // Not rendered yet: render() comes first, or paintFrameRendering().
    struct Unrendered {};
    TestPatternPicture(int width, int height, Unrendered);

    // Renders the still part with these adjustments; with a caption, that number is drawn large
    // over the bars (a station's channel number).
    void render(const PictureAdjustments& adjustments, std::optional<int> caption = std::nullopt);

    // Writes the frame of this index into BGRx memory with the given line stride in bytes.
    void paintFrame(std::uint64_t frameIndex, std::uint8_t* data, int strideBytes) const;
    // The same frame with the still part rendered straight into it with these adjustments, and
    // not kept: a first frame, wanted before the still part is (render() keeps it).
    void paintFrameRendering(std::uint64_t frameIndex, const PictureAdjustments& adjustments, std::uint8_t* data, int strideBytes);
    // The same frame as a TV camera takes it: two fields, each caught at its own moment (half
    // a frame apart, the first at the frame's start), the marker where it was at that moment
    // on the field's own lines: the top field is the even lines (0, 2, ...).
    void paintFields(std::uint64_t frameIndex, bool topFieldFirst, std::uint8_t* data, int strideBytes) const;

    int width() const { return m_width; }
    int height() const { return m_height; }
    int barsBottom() const { return m_height * 3 / 4; }  // bars fill rows [0, barsBottom)
    int stripTop() const { return m_height * 17 / 20; }  // the marker's strip is [stripTop, height)

    // White, yellow, cyan, green, magenta, red, blue, black, left to right, as 0xffRRGGBB.
    static const std::array<std::uint32_t, 8> barColours;

private:
    void renderInto(const PixelCanvas& canvas, const PictureAdjustments& adjustments, std::optional<int> caption);
    void sharpen(const PixelCanvas& canvas, double amount) const;
    void drawMarker(const PixelCanvas& frame, std::uint64_t frameIndex) const;
    void copyStill(std::uint8_t* data, int strideBytes) const;
    // The marker's square at a moment counted in half frames: its left edge, top and size.
    QRect markerAt(std::uint64_t halfFrames) const;

    int m_width;
    int m_height;
    // Not cleared: render() writes every pixel.
    std::unique_ptr<std::uint32_t[]> m_still;
    std::uint32_t m_marker = 0xffffffffu;
};

}  // namespace capture
