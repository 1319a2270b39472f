#pragma once

#include "FailureReporter.h"

#include <QApplication>

#include <functional>

namespace desktop {

// Runs a program's one window: its load handler, then the window shown, then the event loop.
// A failure in the load handler ends the program before the window is shown. The window is
// destroyed before this returns, whatever way the program ends. Returns the exit status.
int runMainWindow(QApplication& app, QWidget* window, FailureReporter& reporter,
                  const std::function<void()>& load);

}  // namespace desktop
