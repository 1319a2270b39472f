#pragma once

// Small helpers the widget tests share: waiting for a condition with the events processed,
// and finding a named child that must be there.

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QObject>
#include <QThread>

namespace testsupport {

// Milliseconds until `done` holds, the events processed meanwhile; -1 after `limitMs`.
template <typename Done>
int millisecondsUntil(Done done, int limitMs = 5000)
{
    QElapsedTimer clock;
    clock.start();
    while (!done()) {
        if (clock.elapsed() > limitMs)
            return -1;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        QThread::msleep(1);
    }
    return int(clock.elapsed());
}

// The child of that name; the test cannot go on without it.
template <typename Widget>
Widget* namedChild(const QObject* parent, const char* name)
{
    auto* widget = parent->findChild<Widget*>(QLatin1String(name));
    if (!widget)
        qFatal("no %s in %s", name, qPrintable(parent->objectName()));
    return widget;
}

}  // namespace testsupport
