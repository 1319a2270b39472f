#pragma once

#include <QFont>
#include <QString>

namespace desktop {

// The fonts the layouts name, at the layouts' sizes. Where the named family is not installed the
// font is of an installed family drawn to similar widths, so captions fit the boxes the layouts
// give them: "MS Sans Serif" as Liberation Sans (Arial's widths), "Tahoma" as DejaVu Sans
// Condensed, "Verdana" as DejaVu Sans (close to Verdana's widths).
QFont dialogFont();    // "MS Sans Serif" 8.25 pt, the default dialog font
QFont verdanaSmall();  // "Verdana" 6.75 pt
QFont tahoma();        // "Tahoma" 8.25 pt

QFont font(const QString& layoutFamily, double points);

// The installed family that shows a layout's family on this machine: the family itself when it
// is installed, else the first installed stand-in, else the family as named (left to the
// system's substitution).
QString standInFamily(const QString& layoutFamily);

}  // namespace desktop
