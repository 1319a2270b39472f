#include "Form1.h"

#include "capture/engine/OrvexFactory.h"
#include "desktop/ProgramRunner.h"

#include <QApplication>

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    desktop::QtToolkit toolkit;
    desktop::FailureReporter reporter(toolkit, QStringLiteral("mirrane"));

    // Building the window builds the capture control; a control that cannot be created is
    // reported like any other failure, before anything is shown.
    mirrane::Form1* form = nullptr;
    desktop::guarded(reporter, nullptr, [&] {
        form = new mirrane::Form1(capture::createOrvex, toolkit, reporter);
    })();
    if (!form)
        return desktop::FailureReporter::ExitStatus;

    return desktop::runMainWindow(app, form, reporter, [form] { form->load(); });
}
