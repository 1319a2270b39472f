#include "Program.h"

#include "Form1.h"
#include "Title.h"

#include "desktop/FailureReporter.h"
#include "desktop/ProgramRunner.h"

namespace ostrel {

int runProgram(QApplication& app, desktop::Toolkit& toolkit, const capture::CaptureWidgetFactory& makeOrvex)
{
    desktop::FailureReporter reporter(toolkit, QString::fromUtf8(ProgramTitle));

    // The control is made together with the window; when it cannot be made the user is told
    // why, just as for a failure inside a handler.
    Form1* form = nullptr;
    desktop::guarded(reporter, nullptr, [&] { form = new Form1(makeOrvex, toolkit, reporter); })();
    if (!form)
        return desktop::FailureReporter::ExitStatus;

    return desktop::runMainWindow(app, form, reporter, [form] { form->load(); });
}

}  // namespace ostrel
