#pragma once

#include "CaptureEngine.h"

#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

class QObject;

namespace capture {

class RecordingFile;
class RecordingWriter;
class SoundMonitor;

// Why a running graph failed, and in which part.
struct PipelineFailure {
    enum class Part { VideoSource, AudioSource, Preview, Recording };
    Part part = Part::VideoSource;
    std::string text;             // what the element said
    bool notNegotiated = false;   // two elements could not agree on a format
    bool diskFull = false;
};

// The chosen encoder is not installed or cannot feed the AVI muxer.
class EncoderUnavailable : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// One run of the graph: video source → tee → preview (appsink) and record branch → avimux →
// RecordingSink, with the audio source feeding the muxer too. Built element by element for
// one CaptureRequest; a new request builds a new one.
//
// Streaming threads only count, drop and signal; failures reach the GUI thread through a
// queued call on the context object given to play().
class CapturePipeline {
public:
    // Throws CaptureError when a device cannot be opened, EncoderUnavailable when recording
    // cannot be set up. file is used when the request records; it must outlive the pipeline.
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

    // What the streaming threads and the GUI thread share; defined with the pipeline.
    struct Shared;

private:
    class Builder;

    // Declared so that the pipeline goes before the writer it feeds and the state its bus
    // handler and probes point to, also when building throws half-way.
    std::shared_ptr<Shared> m_shared;
    std::unique_ptr<RecordingWriter> m_writer;
    std::unique_ptr<SoundMonitor> m_sound;
    ElementPtr m_pipeline;
    RecordingFile* m_file = nullptr;
    std::vector<PadPtr> m_recordEntries;  // where end-of-stream enters the record branches
    bool m_recordingOpen = false;
};

}  // namespace capture
