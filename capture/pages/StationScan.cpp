#include "StationScan.h"

#include "capture/engine/FailureMessage.h"

#include <exception>

namespace capture {

StationScan::StationScan(Tuner& tuner, QObject* parent) : QObject(parent), m_tuner(tuner)
{
    connect(this, &StationScan::finished, this, [this] { m_running = false; });
}

StationScan::~StationScan()
{
    m_stopAsked = true;
    if (m_worker.joinable())
        m_worker.join();
}

void StationScan::start()
{
    if (m_running)
        return;
    // The previous scan has ended: its finished() has arrived.
    if (m_worker.joinable())
        m_worker.join();
    m_stopAsked = false;
    m_running = true;
    m_worker = std::thread([this] { run(); });
}

void StationScan::stop() { m_stopAsked = true; }

// On the worker thread: signals only, which Qt queues to the object's own thread.
void StationScan::run()
{
    bool stopped = false;
    QString failure;
    try {
        m_tuner.scan([this, &stopped](int done, int total) {
            emit progressed(done, total);
            stopped = m_stopAsked;
            return !stopped;
        });
    } catch (const std::exception& error) {
        failure = QString::fromUtf8(error.what());
    } catch (...) {
        failure = QString::fromStdString(unknownScanFailure());
    }
    emit finished(!stopped && failure.isEmpty(), failure);
}

}  // namespace capture
