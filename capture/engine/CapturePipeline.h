#pragma once

#include "CaptureEngine.h"
#include "PipelineFailure.h"

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

class QObject;

namespace capture {

class RecordingTimeline;
class RecordingFile;
class RecordingWriter;
class SoundMonitor;
struct RunState;

// One run of the graph for one CaptureRequest: built by GraphBuilder, watched through the
// run's state, started and finished with bounded waits. A new request makes a new run.
class CapturePipeline {
public:
    // Throws GraphError when a part of the graph cannot be made or linked, CaptureError when a
    // device cannot be opened. file is used when the request records; it must outlive the run.
    CapturePipeline(const CaptureRequest& request, FrameSink& sink, RecordingFile* file);
    ~CapturePipeline();

    CapturePipeline(const CapturePipeline&) = delete;
    CapturePipeline& operator=(const CapturePipeline&) = delete;

    // Sets the graph playing and returns once pictures reach the preview and every stream of
    // a recording reaches the muxer (the encoders have accepted the stream), or on failure.
    // Afterwards failures go to onFailure, on context's thread.
    std::optional<PipelineFailure> play(QObject* context, std::function<void(const PipelineFailure&)> onFailure);

    // Closes the recording: the muxer is fed no more, end-of-stream runs through to the file
    // (index and header written), the space reserve is given back. The preview goes on.
    // True when the file was closed properly within the bounded wait.
    bool finishRecording();

    bool recording() const;
    CaptureStats stats() const;
    // The sound's level meter and playback; nothing when the graph has no sound.
    SoundMonitor* sound() const { return m_sound.get(); }

private:
    // Declared so that the pipeline goes before the writer it feeds and the state its bus
    // handler and probes point to, also when building throws half-way.
    std::shared_ptr<RunState> m_run;
    std::unique_ptr<RecordingWriter> m_writer;
    std::unique_ptr<SoundMonitor> m_sound;
    ElementPtr m_pipeline;
    RecordingFile* m_file = nullptr;
    std::string m_videoDevice;
    std::vector<PadPtr> m_recordEntries;  // where end-of-stream enters the record branches
    std::unique_ptr<RecordingTimeline> m_timeline;  // while recording
    bool m_recordingOpen = false;
    bool m_watchesPictures = false;  // the run has a video source
};

}  // namespace capture
