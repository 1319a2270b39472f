#include "Program.h"

#include "capture/control/CatalogueSearch.h"
#include "capture/control/OrvexFactory.h"

#include <QApplication>

int main(int argc, char* argv[])
{
    // The devices and compressors are looked for while Qt starts and the window is built.
    auto search = std::make_shared<capture::CatalogueSearch>();
    QApplication app(argc, argv);
    // Lets the desktop match the window to its menu entry and icon (the Wayland app id).
    app.setDesktopFileName(QStringLiteral("org.orvex.ostrel"));
    desktop::QtToolkit toolkit;
    return ostrel::runProgram(app, toolkit, capture::orvexFactory(search));
}
