#pragma once

#include <QImage>
#include <QString>

namespace capture {

// Writes the picture as a BMP file at the path. The bytes go to a temporary file in the same
// folder that is renamed into place, so a reader sees the old file or the whole new one, never
// half a picture. False when nothing could be written; the old file is then left as it was,
// and reason (when given) says why, in the system's words.
bool writeBitmap(const QImage& picture, const QString& path, QString* reason = nullptr);

}  // namespace capture
