#pragma once

#include "capture/engine/SoundLevel.h"
#include "capture/pages/ControlPageModel.h"

#include <QString>
#include <QTimer>

#include <functional>
#include <string>
#include <vector>

namespace capture {

class CaptureEngine;
struct CaptureStats;
class VideoView;

// What the view and the property page show of a run: the recording overlay (time, dropped
// frames) and the word about the pictures (none coming, broken ones skipped), refreshed twice
// a second while the run lasts, the sound's level meter and the word about a recording without
// sound, and the live statistics.
class RecordingMonitor {
public:
    // audioDeviceName: the sound being recorded, empty when none is.
    RecordingMonitor(CaptureEngine& engine, VideoView& view, std::function<std::string()> audioDeviceName);

    void showSoundLevel(const SoundLevel& level);
    void clearSoundLevel();
    std::vector<double> soundLevels() const { return m_soundLevel.decay; }
    // Shows the run's state now, and keeps it shown while it runs.
    void refreshRecordingStatus();

    std::string recordingFile() const;
    LiveStatistics statistics() const;

private:
    static QString pictureWarning(const CaptureStats& stats);

    CaptureEngine& m_engine;
    VideoView& m_view;
    std::function<std::string()> m_audioDeviceName;
    QTimer m_statusTimer;
    SoundLevel m_soundLevel;  // the last the engine reported; empty while there is no sound
};

}  // namespace capture
