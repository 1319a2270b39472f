#pragma once

#include <QImage>
#include <QString>

namespace capture {

// Saves the picture as a bitmap at `file` (through a temporary file renamed into place).
// Raises CaptureError naming the file, the cause and what to do when it cannot.
void saveSnapshot(const QImage& picture, const QString& file);

}  // namespace capture
