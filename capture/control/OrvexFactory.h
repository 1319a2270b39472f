#pragma once

#include "capture/contract/CaptureWidget.h"

namespace capture {

// The real capture control, as main() puts it in a window.
CaptureWidget* createOrvex(QWidget* parent);

}  // namespace capture
