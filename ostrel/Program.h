#pragma once

#include "capture/contract/CaptureWidget.h"
#include "desktop/Toolkit.h"

#include <QApplication>

namespace ostrel {

// Builds Form1 around the control that makeOrvex gives, runs its load handler, shows it and runs
// the event loop. Any failure, including a control that cannot be made, is reported and ends the
// program with exit status 1. Returns the exit status.
int runProgram(QApplication& app, desktop::Toolkit& toolkit, const capture::CaptureWidgetFactory& makeOrvex);

}  // namespace ostrel
