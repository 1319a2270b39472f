#include "BitmapFile.h"

#include <QSaveFile>

namespace capture {

bool writeBitmap(const QImage& picture, const QString& path)
{
    if (picture.isNull() || path.isEmpty())
        return false;
    QSaveFile file(path);
    // Writing straight into the target would let a reader see a partial picture.
    file.setDirectWriteFallback(false);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    if (!picture.save(&file, "BMP")) {
        file.cancelWriting();
        return false;
    }
    return file.commit();
}

}  // namespace capture
