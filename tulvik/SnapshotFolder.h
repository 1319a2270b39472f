#pragma once

#include <QString>

namespace tulvik {

// The folder that SnapShot writes test.bmp to: the program's own folder; when that cannot be
// written, as for a copy installed in /usr/bin, the user's data folder for the program (created
// here), so that snapshots work for every user.
QString snapshotFolder(const QString& programFolder);

}  // namespace tulvik
