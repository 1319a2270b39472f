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

// How combed an area is: the mean luma step of each line from the average of its two neighbours
// (the lines of the other field), against the mean step between its neighbours themselves (lines
// two apart, of one field). A picture whose fields were taken at different moments has the
// first far above the second wherever something moved; a whole picture has it at or below.
struct Combing {
    double betweenFields = 0;
    double withinField = 0;
    bool combed() const { return betweenFields > 2 * withinField + 1; }
};

inline Combing combing(const QImage& image, QRect area)
{
    area = area.intersected(image.rect().adjusted(0, 1, 0, -1));
    Combing result;
    if (area.isEmpty())
        return result;
    for (int y = area.top(); y <= area.bottom(); ++y)
        for (int x = area.left(); x <= area.right(); ++x) {
            const double above = luma(image.pixel(x, y - 1));
            const double below = luma(image.pixel(x, y + 1));
            result.betweenFields += std::abs(luma(image.pixel(x, y)) - (above + below) / 2);
            result.withinField += std::abs(above - below);
        }
    const double count = double(area.width()) * area.height();
    result.betweenFields /= count;
    result.withinField /= count;
    return result;
}

}  // namespace picture
