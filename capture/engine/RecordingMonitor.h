#pragma once

#include "SoundLevel.h"
#include "capture/pages/ControlPageModel.h"

#include <QTimer>

#include <functional>
#include <string>
#include <vector>

namespace capture {

class CaptureEngine;
class VideoView;

// What the view and the property page show of a run: the recording overlay (time, dropped
// frames) refreshed twice a second while recording, the sound's level meter and the word about
// a recording without sound, and the live statistics.
class RecordingMonitor {
public:
    // audioDeviceName: the sound being recorded, empty when none is.
    RecordingMonitor(CaptureEngine& engine, VideoView& view, std::function<std::string()> audioDeviceName);

    void showSoundLevel(const SoundLevel& level);
    void clearSoundLevel();
    std::vector<double> soundLevels() const { return m_soundLevel.decay; }
    // Shows the recording's state now, and keeps it shown while it records.
    void refreshRecordingStatus();

    std::string recordingFile() const;
    LiveStatistics statistics() const;

private:
    CaptureEngine& m_engine;
    VideoView& m_view;
    std::function<std::string()> m_audioDeviceName;
    QTimer m_statusTimer;
    SoundLevel m_soundLevel;  // the last the engine reported; empty while there is no sound
};

}  // namespace capture
