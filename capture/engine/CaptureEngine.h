#pragma once

// The GStreamer graph behind the control: one video source and one audio source, a live
// preview, and an optional AVI recording. Built element by element; owned by the control.
//
// Threads: start(), stop() and the destructor are called on the GUI thread and are
// synchronous (bounded waits). Frames are handed to the FrameSink on a streaming thread.
// Streaming errors arrive through the error callback on the GUI thread.

#include "PipelineFailure.h"
#include "capture/contract/StartStatus.h"
#include "capture/devices/FrameSink.h"
#include "SoundLevel.h"
#include "capture/devices/VideoDevice.h"

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>

namespace capture {

class CapturePipeline;
class RecordingFile;

// An encoder element by factory name, with the settings the user gave it on its page
// (property name to value as gst_util_set_object_arg reads it).
struct EncoderChoice {
    std::string factory;
    std::map<std::string, std::string> properties;
};

struct CaptureRequest {
    VideoDevice* videoDevice = nullptr;
    int videoInput = 0;
    std::optional<VideoFormat> videoFormat;  // the device's first when unset
    AudioDevice* audioDevice = nullptr;
    // While previewing, the audio device's sound is played to the default output (a TV
    // tuner's sound; never a microphone's), silent while soundMuted.
    bool playSound = false;
    bool soundMuted = false;

    bool captureVideo = true;
    bool captureAudio = true;
    bool showPreview = true;

    bool toFile = false;
    std::string fileName;
    std::optional<EncoderChoice> videoEncoder;  // unset: uncompressed video
    std::optional<EncoderChoice> audioEncoder;  // unset: PCM
};


struct CaptureStats {
    bool running = false;
    bool recording = false;
    std::int64_t framesCaptured = 0;
    std::int64_t framesDropped = 0;
    std::int64_t framesBroken = 0;  // damaged or undecodable frames skipped
    // The wall clock's time (microseconds since the epoch) of the last picture, while the
    // source has sent none for two seconds.
    std::optional<std::int64_t> noPictureSinceUs;
    std::string videoDevice;  // whose pictures these are
    std::uint64_t bytesWritten = 0;
    double recordedSeconds = 0;
    std::string fileName;
};

class CaptureEngine {
public:
    explicit CaptureEngine(FrameSink& sink);
    ~CaptureEngine();  // finalizes a recording in progress

    CaptureEngine(const CaptureEngine&) = delete;
    CaptureEngine& operator=(const CaptureEngine&) = delete;

    // Starts (or restarts, finalizing a recording first) with these settings and returns once
    // the graph plays or has failed. Status -2 when the file name is empty or its folder does
    // not exist, -1 when the file cannot be created or an encoder cannot take the stream, else 0.
    // Raises CaptureError when the device cannot be opened or refuses to stream (lastFailure
    // then says why: EBUSY while another program streams from it).
    int start(const CaptureRequest& request);

    // Stops; returns once a recording is finalized (index written, sizes right).
    void stop();

    CaptureStats stats() const;

    // Why the last start answered -1 or raised, or why the last run ended early: the part that
    // failed and the device or element in it. Cleared by the next start.
    const std::optional<PipelineFailure>& lastFailure() const;
    // Silences or restores the sound being played, at once; a recording keeps the sound.
    void setSoundMuted(bool muted);
    // Whether the running graph plays sound to an output that can be heard.
    bool soundPlaying() const;
    // The level of the sound while the graph has some (previewing a TV tuner, recording with
    // sound), about twenty times a second. Called on the GUI thread.
    void setSoundLevelHandler(std::function<void(const SoundLevel& level)> handler);

    // A streaming error (disk full, device gone): the recording has been finalized as far as it
    // could be, the preview goes on where the source still can. The text says what happened
    // and how much was saved. Called on the GUI thread.
    void setErrorHandler(std::function<void(const std::string& message)> handler);

private:
    class Graph;
    // One try at building the graph for a request and setting it playing: the pipeline that
    // plays, or why not. CaptureError passes through.
    struct Attempt {
        std::unique_ptr<CapturePipeline> pipeline;
        std::optional<PipelineFailure> failure;
        bool built = false;  // the failure came when the built graph was set playing
    };

    Attempt attempt(const CaptureRequest& request, RecordingFile* file);
    // The request with its sound played, else without it (`soundRefused` says why).
    Attempt attemptWithSound(const CaptureRequest& request, std::optional<std::string>& soundRefused);
    // Why a start failed, as Start answers it: -1, or a raised CaptureError.
    int refuse(const CaptureRequest& request, const PipelineFailure& failure, bool built);
    void onStreamingFailure(const PipelineFailure& failure);

    std::unique_ptr<Graph> m_graph;
    FrameSink& m_sink;
    std::function<void(const std::string&)> m_onError;
    std::optional<PipelineFailure> m_lastFailure;
    std::function<void(const SoundLevel&)> m_onLevel;
};

}  // namespace capture
