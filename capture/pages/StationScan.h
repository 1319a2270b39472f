#pragma once

#include "capture/devices/Tuner.h"

#include <QObject>
#include <QString>

#include <atomic>
#include <thread>

namespace capture {

// A tuner's station scan on a thread of its own, so that the page stays live while it tunes
// channel after channel. Progress and the end arrive on the thread that made the object.
// Destroying it stops a scan in progress and waits for its thread.
class StationScan : public QObject {
    Q_OBJECT
public:
    explicit StationScan(Tuner& tuner, QObject* parent = nullptr);
    ~StationScan() override;

    void start();
    // Asks the scan to stop after the channel it is on; finished() follows.
    void stop();
    bool running() const { return m_running; }

signals:
    void progressed(int done, int total);
    // completed: the scan went through the whole table and the channels now show its result.
    // failure: why it ended early, empty when it was stopped or completed.
    void finished(bool completed, const QString& failure);

private:
    void run();

    Tuner& m_tuner;
    std::atomic_bool m_stopAsked{false};
    bool m_running = false;
    std::thread m_worker;  // last: it goes first, while what it uses is still there
};

}  // namespace capture
