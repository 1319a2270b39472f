#include "Snapshot.h"

#include "capture/contract/CaptureError.h"
#include "capture/engine/FailureMessage.h"
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
    throw CaptureError(snapshotMessage(QDir::toNativeSeparators(file).toStdString(), reason.toStdString(),
                                       QFileInfo(file).isDir()));
}

}  // namespace capture
