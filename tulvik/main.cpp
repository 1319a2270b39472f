#include "Form1.h"

#include "capture/engine/OrvexFactory.h"
#include "desktop/FailureReporter.h"
#include "desktop/ProgramRunner.h"
#include "desktop/Toolkit.h"

#include <QApplication>

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    desktop::QtToolkit toolkit;
    desktop::FailureReporter reporter(toolkit, QStringLiteral("tulvik"));

    // A control that cannot be created is reported like any other failure, before a window shows.
    tulvik::Form1* window = nullptr;
    desktop::guarded(reporter, nullptr, [&] {
        window = new tulvik::Form1(capture::createOrvex, toolkit, reporter);
    })();
    if (reporter.failed())
        return desktop::FailureReporter::ExitStatus;

    return desktop::runMainWindow(app, window, reporter, [window] { window->load(); });
}
