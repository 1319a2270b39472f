// Runs ostrel's program around a fake control scripted to fail, with the real Qt dialogs.
// It presses OK on every message box it finds and prints what the box said, so a test can
// check the text and the exit status from outside.
//
//   ostrel_failure_probe start    Start fails when "Preview" is clicked
//   ostrel_failure_probe load     listing the video devices fails at start-up
//   ostrel_failure_probe factory  the control cannot be made

#include "ostrel/Program.h"

#include "tests/support/control/FakeCaptureControl.h"

#include <QAbstractButton>
#include <QApplication>
#include <QMessageBox>
#include <QTimer>

#include <cstdio>
#include <cstdlib>

namespace {

using capture::Member;

void answerMessageBoxes()
{
    for (QWidget* window : QApplication::topLevelWidgets()) {
        auto* box = qobject_cast<QMessageBox*>(window);
        if (!box || !box->isVisible())
            continue;
        std::printf("MESSAGE [%s] %s\n", qPrintable(box->windowTitle()), qPrintable(box->text()));
        std::fflush(stdout);
        box->button(QMessageBox::Ok)->click();
    }
}

void clickPreviewWhenShown()
{
    for (QWidget* window : QApplication::topLevelWidgets()) {
        if (window->objectName() != QLatin1String("Form1"))
            continue;
        QObject::connect(window, &QObject::destroyed, [] {
            std::printf("WINDOW destroyed\n");
            std::fflush(stdout);
        });
        if (auto* preview = window->findChild<QAbstractButton*>(QStringLiteral("Command1")))
            preview->click();
    }
}

}  // namespace

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    const QString mode = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QString();

    QTimer watcher;
    QObject::connect(&watcher, &QTimer::timeout, &answerMessageBoxes);
    watcher.start(20);
    // A probe that hangs must not hang the test run.
    QTimer::singleShot(60000, [] { std::_Exit(3); });
    QTimer::singleShot(0, &clickPreviewWhenShown);

    desktop::QtToolkit toolkit;
    const capture::CaptureWidgetFactory makeOrvex = [mode](QWidget* parent) -> capture::CaptureWidget* {
        if (mode == QLatin1String("factory"))
            throw capture::CaptureError("No capture device could be opened");
        auto* fake = new capture::FakeCaptureControl(parent);
        fake->setItemNames(Member::VideoDevices, {"Test Camera"});
        if (mode == QLatin1String("start"))
            fake->failOn("48", 1, "The device stopped answering");
        if (mode == QLatin1String("load"))
            fake->failOn("3", 1, "Video devices cannot be listed");
        return fake;
    };
    const int status = ostrel::runProgram(app, toolkit, makeOrvex);
    std::printf("EXIT %d\n", status);
    return status;
}
