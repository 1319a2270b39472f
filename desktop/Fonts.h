#pragma once

#include <QFont>

namespace desktop {

// The fonts the layouts name. Where a family is not installed Qt substitutes a similar one;
// the font still reports the family that was asked for.
QFont dialogFont();    // "MS Sans Serif" 8.25 pt, the default dialog font
QFont verdanaSmall();  // "Verdana" 6.75 pt
QFont tahoma();        // "Tahoma" 8.25 pt

QFont font(const QString& family, double points);

}  // namespace desktop
