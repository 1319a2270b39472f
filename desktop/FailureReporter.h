#pragma once

#include "Toolkit.h"

#include <QPointer>
#include <QString>
#include <QWidget>

#include <exception>
#include <functional>

namespace desktop {

// The one place that reports a failure no handler caught: it shows a message that gives the
// error, destroys the window (so the capture control finalizes whatever it was recording) and
// ends the program with exit status 1.
class FailureReporter {
public:
    using EndProgram = std::function<void(int status)>;

    // By default the program ends through QCoreApplication::exit.
    FailureReporter(Toolkit& toolkit, QString title, EndProgram endProgram = {});

    void report(QWidget* window, const QString& error);

    bool failed() const { return m_failed; }
    static constexpr int ExitStatus = 1;

private:
    Toolkit& m_toolkit;
    QString m_title;
    EndProgram m_endProgram;
    bool m_failed = false;
};

// Wraps a handler so that no exception reaches Qt: whatever escapes goes to the reporter.
template <typename Handler>
auto guarded(FailureReporter& reporter, QWidget* window, Handler handler)
{
    return [&reporter, window = QPointer<QWidget>(window), handler]() {
        if (reporter.failed())
            return;  // the program is ending; ignore events still queued
        try {
            handler();
        } catch (const std::exception& error) {
            reporter.report(window, QString::fromUtf8(error.what()));
        } catch (...) {
            reporter.report(window, QStringLiteral("An unknown error occurred."));
        }
    };
}

}  // namespace desktop
