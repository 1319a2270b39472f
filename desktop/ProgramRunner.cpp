#include "ProgramRunner.h"

#include <QPointer>

namespace desktop {

int runMainWindow(QApplication& app, QWidget* window, FailureReporter& reporter,
                  const std::function<void()>& load)
{
    QPointer<QWidget> guard(window);
    guarded(reporter, window, load)();
    int status = FailureReporter::ExitStatus;
    if (!reporter.failed() && guard) {
        guard->show();
        status = app.exec();
    }
    delete guard.data();
    return reporter.failed() ? FailureReporter::ExitStatus : status;
}

}  // namespace desktop
