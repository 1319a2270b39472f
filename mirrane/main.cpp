#include "Form1.h"

#include "capture/control/CatalogueSearch.h"
#include "capture/control/OrvexFactory.h"
#include "desktop/ProgramRunner.h"
#include "desktop/Toolkit.h"

#include <QApplication>

int main(int argc, char* argv[])
{
    // The devices and compressors are looked for while Qt starts and the window is built.
    auto search = std::make_shared<capture::CatalogueSearch>();
    QApplication app(argc, argv);
    // Lets the desktop match the window to its menu entry and icon (the Wayland app id).
    app.setDesktopFileName(QStringLiteral("org.orvex.mirrane"));
    desktop::QtToolkit toolkit;
    const capture::CaptureWidgetFactory makeOrvex = capture::orvexFactory(search);
    return desktop::runProgram<mirrane::Form1>(app, toolkit, QStringLiteral("mirrane"), makeOrvex);
}
