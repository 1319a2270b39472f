#include "SnapshotFolder.h"

#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

namespace tulvik {

QString snapshotFolder(const QString& programFolder)
{
    const QFileInfo program(programFolder);
    if (program.isDir() && program.isWritable())
        return programFolder;
    const QString userFolder = QStandardPaths::writableLocation(QStandardPaths::AppDataLocation);
    // Should this fail, the snapshot's own message names the path that could not be written.
    QDir().mkpath(userFolder);
    return userFolder;
}

}  // namespace tulvik
