#include "Snapshot.h"

#include "capture/contract/CaptureError.h"
#include "capture/view/BitmapFile.h"

#include <QDir>
#include <QFileInfo>

namespace capture {

void saveSnapshot(const QImage& picture, const QString& file)
{
    // A picture that cannot be saved is an error the caller has to see, with its cause.
    QString reason;
    if (writeBitmap(picture, file, &reason))
        return;
    const QString remedy = QFileInfo(file).isDir()
                               ? QStringLiteral("A folder of that name is in the way: rename or remove it")
                               : QStringLiteral("Check that its folder exists and can be written to");
    throw CaptureError(QStringLiteral("The snapshot could not be saved to \"%1\": %2. %3, then try again.")
                           .arg(QDir::toNativeSeparators(file), reason, remedy)
                           .toStdString());
}

}  // namespace capture
