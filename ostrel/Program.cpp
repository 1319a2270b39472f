#include "Program.h"

#include "Form1.h"
#include "Title.h"

#include "desktop/ProgramRunner.h"

namespace ostrel {

int runProgram(QApplication& app, desktop::Toolkit& toolkit, const capture::CaptureWidgetFactory& makeOrvex)
{
    return desktop::runProgram<Form1>(app, toolkit, QString::fromUtf8(ProgramTitle), makeOrvex);
}

}  // namespace ostrel
