#pragma once

#include "capture/control/OrvexFactory.h"

#include <QImage>
#include <QTemporaryDir>

namespace mirrane::testing {

// The real control switched to the built-in test camera, so that a run does not depend on the
// cameras the machine happens to have. Used as the window's factory.
inline capture::CaptureWidget* orvexOnTestPatternCamera(QWidget* parent)
{
    capture::CaptureWidget* orvex = capture::createOrvex(parent);
    const std::int16_t camera = capture::toInt16(
        orvex->collection(capture::Member::VideoDevices)->indexOf(capture::Value::text("Test Pattern Camera")));
    if (camera < 0)
        throw capture::CaptureError("The test camera is not listed");
    orvex->put(capture::Member::VideoDevice, capture::Value::i16(camera));
    return orvex;
}

// The last frame the control showed, as it writes it for SnapShot; null before the first frame.
inline QImage lastFrame(capture::CaptureControl& orvex)
{
    QTemporaryDir folder;
    const QString path = folder.filePath(QStringLiteral("frame.bmp"));
    if (!capture::toBoolean(orvex.call(capture::Member::SnapShot, capture::Value::text(path.toStdString()))))
        return {};
    return QImage(path);
}

}  // namespace mirrane::testing
