#pragma once

#include <QImage>
#include <QSize>

#include <cmath>

namespace capture {

// A frame's pixel aspect (width over height of one pixel) travels with its QImage as the
// image's resolution, the one place a QImage has for it: a pixel 59/54 as wide as high has
// 54/59 as many dots per metre across as down. A bitmap written from it keeps the same.
inline void setPixelAspect(QImage& image, int numerator, int denominator)
{
    constexpr int dotsPerMetre = 3780;  // 96 dpi, Qt's default
    if (numerator <= 0 || denominator <= 0 || numerator == denominator)
        return;
    image.setDotsPerMeterY(dotsPerMetre);
    image.setDotsPerMeterX(static_cast<int>(std::lround(double(dotsPerMetre) * denominator / numerator)));
}

inline double pixelAspect(const QImage& image)
{
    const int across = image.dotsPerMeterX();
    const int down = image.dotsPerMeterY();
    return across > 0 && down > 0 ? double(down) / across : 1.0;
}

// The size at which the frame shows its picture as it was taken: its width stretched by the
// pixel aspect, its lines kept (they are the picture's detail).
inline QSize displaySize(const QImage& image)
{
    return QSize(static_cast<int>(std::lround(image.width() * pixelAspect(image))), image.height());
}

}  // namespace capture
