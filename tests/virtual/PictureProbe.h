#pragma once

// Small measurements on test pictures, shared by the virtual device tests.

#include <QImage>

#include <cmath>

namespace picture {

inline double luma(QRgb p)
{
    return 0.299 * qRed(p) + 0.587 * qGreen(p) + 0.114 * qBlue(p);
}

inline double meanLuma(const QImage& image, QRect area = {})
{
    if (area.isNull())
        area = image.rect();
    double sum = 0;
    for (int y = area.top(); y <= area.bottom(); ++y)
        for (int x = area.left(); x <= area.right(); ++x)
            sum += luma(image.pixel(x, y));
    return sum / (double(area.width()) * area.height());
}

// The variance of the picture's fine grain: half the mean squared luma step between neighbours
// on a line. Noise scores its own variance (about 5460 for uniform bytes); bars, whose few edges
// are the only steps, score little however different the bars are.
inline double grain(const QImage& image)
{
    double sum = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 1; x < image.width(); ++x)
            sum += std::pow(luma(image.pixel(x, y)) - luma(image.pixel(x - 1, y)), 2);
    return sum / (2.0 * (image.width() - 1) * image.height());
}

inline int differingPixels(const QImage& a, const QImage& b)
{
    int count = 0;
    for (int y = 0; y < a.height(); ++y)
        for (int x = 0; x < a.width(); ++x)
            count += a.pixel(x, y) != b.pixel(x, y);
    return count;
}

inline int colourDistance(QRgb a, QRgb b)
{
    return std::max({std::abs(qRed(a) - qRed(b)), std::abs(qGreen(a) - qGreen(b)), std::abs(qBlue(a) - qBlue(b))});
}

// Whether every pixel of the area is grey (R, G and B within 1 of each other).
inline bool isGrey(const QImage& image, QRect area)
{
    for (int y = area.top(); y <= area.bottom(); ++y)
        for (int x = area.left(); x <= area.right(); ++x) {
            const QRgb p = image.pixel(x, y);
            if (std::abs(qRed(p) - qGreen(p)) > 1 || std::abs(qGreen(p) - qBlue(p)) > 1)
                return false;
        }
    return true;
}

}  // namespace picture
