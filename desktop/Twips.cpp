#include "Twips.h"

#include <QWidget>

namespace desktop {

void placeInTwips(QWidget* widget, int left, int top, int width, int height)
{
    widget->setGeometry(twipsRect(left, top, width, height));
}

void sizeClientInTwips(QWidget* window, int width, int height)
{
    window->resize(twipsToPixels(width), twipsToPixels(height));
}

}  // namespace desktop
