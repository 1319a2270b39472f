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

// A whole program: builds its window as Window(windowArguments..., toolkit, reporter), runs the
// window's load(), shows it and runs the event loop. A window that cannot be built (its capture
// control cannot be made, say) is reported like any other failure. Returns the exit status.
template <typename Window, typename... WindowArguments>
int runProgram(QApplication& app, Toolkit& toolkit, const QString& title,
               const WindowArguments&... windowArguments)
{
    FailureReporter reporter(toolkit, title);
    Window* window = nullptr;
    guarded(reporter, nullptr, [&] { window = new Window(windowArguments..., toolkit, reporter); })();
    if (!window)
        return FailureReporter::ExitStatus;
    return runMainWindow(app, window, reporter, [window] { window->load(); });
}

}  // namespace desktop
