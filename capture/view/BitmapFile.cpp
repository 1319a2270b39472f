#include "BitmapFile.h"

#include <QSaveFile>

namespace capture {

bool writeBitmap(const QImage& picture, const QString& path, QString* reason)
{
    auto fail = [reason](const QString& why) {
        if (reason)
            *reason = why;
        return false;
    };
    if (picture.isNull())
        return fail(QStringLiteral("there is no picture"));
    if (path.isEmpty())
        return fail(QStringLiteral("no file name was given"));
    QSaveFile file(path);
    // Writing straight into the target would let a reader see a partial picture.
    file.setDirectWriteFallback(false);
    if (!file.open(QIODevice::WriteOnly))
        return fail(file.errorString());
    if (!picture.save(&file, "BMP")) {
        const QString why = file.errorString();
        file.cancelWriting();
        return fail(why);
    }
    return file.commit() || fail(file.errorString());
}

}  // namespace capture
