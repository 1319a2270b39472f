#include "RecordingMonitor.h"

#include "capture/engine/CaptureEngine.h"
#include "capture/view/VideoView.h"

#include <QDateTime>
#include <QStringList>

#include <algorithm>

namespace capture {
namespace {

constexpr int StatusRefreshMs = 500;
// A recording this long without sound gets a word in the overlay.
constexpr double SilenceWarningSeconds = 3;

}  // namespace

RecordingMonitor::RecordingMonitor(CaptureEngine& engine, VideoView& view,
                                   std::function<std::string()> audioDeviceName)
    : m_engine(engine), m_view(view), m_audioDeviceName(std::move(audioDeviceName))
{
    m_statusTimer.setInterval(StatusRefreshMs);
    QObject::connect(&m_statusTimer, &QTimer::timeout, &m_view, [this] { refreshRecordingStatus(); });
}

void RecordingMonitor::showSoundLevel(const SoundLevel& level)
{
    m_soundLevel = level;
    if (level.decay.empty())
        return clearSoundLevel();
    m_view.setSoundLevel(*std::max_element(level.decay.begin(), level.decay.end()));
    const std::string audioDevice = m_audioDeviceName();
    const bool unheard = m_engine.stats().recording && !audioDevice.empty() && level.silentSeconds > SilenceWarningSeconds;
    m_view.setSoundWarning(unheard ? QObject::tr("no sound from %1").arg(QString::fromStdString(audioDevice)) : QString());
}

void RecordingMonitor::clearSoundLevel()
{
    m_soundLevel = {};
    m_view.setSoundLevel(std::nullopt);
    m_view.setSoundWarning({});
}

void RecordingMonitor::refreshRecordingStatus()
{
    const CaptureStats stats = m_engine.stats();
    m_view.setPictureWarning(stats.running ? pictureWarning(stats) : QString());
    if (!stats.running)
        m_statusTimer.stop();
    else if (!m_statusTimer.isActive())
        m_statusTimer.start();
    m_view.setRecordingStatus(stats.recording ? std::optional(RecordingStatus{stats.recordedSeconds, stats.framesDropped})
                                              : std::nullopt);
}

QString RecordingMonitor::pictureWarning(const CaptureStats& stats)
{
    QStringList words;
    if (stats.noPictureSinceUs)
        words << QObject::tr("no picture from %1 since %2")
                     .arg(QString::fromStdString(stats.videoDevice),
                          QDateTime::fromMSecsSinceEpoch(*stats.noPictureSinceUs / 1000).toString(QStringLiteral("HH:mm:ss")));
    if (stats.framesBroken > 0)
        words << QObject::tr("broken frames skipped: %1").arg(stats.framesBroken);
    return words.join(QStringLiteral("   "));
}

std::string RecordingMonitor::recordingFile() const
{
    const CaptureStats stats = m_engine.stats();
    return stats.recording ? stats.fileName : std::string();
}

LiveStatistics RecordingMonitor::statistics() const
{
    const CaptureStats stats = m_engine.stats();
    return {stats.recording, stats.framesCaptured, stats.framesDropped, stats.bytesWritten, stats.framesBroken};
}

}  // namespace capture
