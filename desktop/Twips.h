#pragma once

#include <QRect>

class QWidget;

namespace desktop {

// Layouts are written in twips, as their tables give them: 1/1440 inch, 15 to a logical pixel.
constexpr int TwipsPerPixel = 15;

constexpr int twipsToPixels(int twips)
{
    return (twips >= 0 ? twips + TwipsPerPixel / 2 : twips - TwipsPerPixel / 2) / TwipsPerPixel;
}

constexpr QRect twipsRect(int left, int top, int width, int height)
{
    return QRect(twipsToPixels(left), twipsToPixels(top), twipsToPixels(width), twipsToPixels(height));
}

// Places a child widget at a fixed position and size given in twips.
void placeInTwips(QWidget* widget, int left, int top, int width, int height);

// Gives a top-level window its client area in twips.
void sizeClientInTwips(QWidget* window, int width, int height);

}  // namespace desktop
