#include "Fonts.h"

namespace desktop {

QFont font(const QString& family, double points)
{
    QFont result(family);
    result.setPointSizeF(points);
    result.setWeight(QFont::Normal);
    result.setItalic(false);
    result.setStyleHint(QFont::SansSerif);
    return result;
}

QFont dialogFont() { return font(QStringLiteral("MS Sans Serif"), 8.25); }
QFont verdanaSmall() { return font(QStringLiteral("Verdana"), 6.75); }
QFont tahoma() { return font(QStringLiteral("Tahoma"), 8.25); }

}  // namespace desktop
