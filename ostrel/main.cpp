#include "Program.h"

#include "capture/engine/OrvexFactory.h"

#include <QApplication>

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    desktop::QtToolkit toolkit;
    return ostrel::runProgram(app, toolkit, capture::createOrvex);
}
