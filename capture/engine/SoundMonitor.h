#pragma once

#include "SoundLevel.h"
#include "capture/gst/GstHandle.h"

#include <QPointer>

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

class QObject;

namespace capture {

// What the control does with the sound besides recording it: measures its level and, for a
// TV tuner, plays it to the default output so that the programme can be heard. A branch of
// its own off the audio source's tee:
//
//   tee → queue → audioconvert → level → volume (mute) → audioconvert → audioresample
//       → pulsesink (or alsasink; a fakesink when nothing is played or no output opens)
//
// Muting is live (the volume element), so the recording beside it keeps the sound. A failing
// output (the sound server went away) silences the branch without disturbing the recording.
//
// Threads: built, muted and listened to on the GUI thread; handle() runs on the thread that
// posts a bus message; levels reach the listener through a queued call on its context.
class SoundMonitor {
public:
    struct Options {
        bool play = false;   // to the default output; otherwise measured only
        bool muted = false;
    };

    // Adds the branch to the pipeline, fed by a new pad of tee. Throws CaptureError when a
    // GStreamer element is missing.
    SoundMonitor(GstBin* pipeline, GstElement* tee, Options options);
    ~SoundMonitor();

    SoundMonitor(const SoundMonitor&) = delete;
    SoundMonitor& operator=(const SoundMonitor&) = delete;

    // Whether the sound goes to an output that can be heard.
    bool playing() const { return m_playing; }
    void setMuted(bool muted);

    // Levels go to onLevel, on context's thread, about twenty times a second.
    void setListener(QObject* context, std::function<void(const SoundLevel&)> onLevel);

    // For the bus's sync handler: takes the level messages and the errors of this branch's
    // own elements (answers true: they are dealt with), leaves the rest.
    bool handle(GstMessage* message);

private:
    GstElement* makeOutput(GstBin* pipeline, bool play);
    bool owns(GstObject* origin) const;

    std::vector<GstElement*> m_elements;  // the pipeline holds them
    GstElement* m_volume = nullptr;
    GstElement* m_level = nullptr;
    bool m_playing = false;
    std::atomic<bool> m_outputFailed{false};
    std::int64_t m_soundAt = -1;  // bus thread only: running time of the last sound heard

    std::mutex m_listenerLock;
    QPointer<QObject> m_context;
    std::function<void(const SoundLevel&)> m_onLevel;
};

}  // namespace capture
