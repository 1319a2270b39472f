#pragma once

#include "GraphParts.h"
#include "PipelineFailure.h"

#include <QPointer>

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

class QObject;

namespace capture {

class SoundMonitor;
struct RunState;

// One stream into the muxer, as far as it has been recorded.
struct MuxerInput {
    RunState* run = nullptr;
    bool fed = false;                    // this stream's thread only
    std::atomic<std::int64_t> start{-1};  // written by this stream's thread only
    std::atomic<std::int64_t> end{-1};

    double seconds() const;
};

// What the streaming threads and the GUI thread share for one run of the graph. Streaming
// threads only count, drop and signal here; failures reach the GUI thread through a queued
// call on the context object, and only while the run is alive.
struct RunState : std::enable_shared_from_this<RunState> {
    explicit RunState(int number) : number(number) {}

    const int number;  // for the log: which run a line is about

    // Guarded by mutex, waited on through changed.
    std::mutex mutex;
    std::condition_variable changed;
    bool startingUp = true;
    std::optional<PipelineFailure> startFailure;
    bool reportedRecordFailure = false;
    bool reportedFatalFailure = false;
    QPointer<QObject> context;
    std::function<void(const PipelineFailure&)> onFailure;
    int fedInputs = 0;
    bool previewShown = false;
    bool fileClosed = false;

    // Set while building, read-only once the graph plays.
    int muxerInputs = 0;
    bool previewWanted = false;
    std::int64_t frameDuration = 0;
    std::string videoDevice;  // named in a failure of its pictures
    GraphParts parts;
    SoundMonitor* sound = nullptr;  // the level meter and the tuner's playback, if any
    std::deque<MuxerInput> inputs;  // stable addresses: the muxer pads' probes point here

    // Any thread.
    std::atomic<bool> recordStopping{false};
    std::atomic<std::int64_t> framesCaptured{0};
    std::atomic<std::int64_t> framesDropped{0};
    std::atomic<std::int64_t> framesBroken{0};        // skipped: damaged or not decodable
    std::atomic<std::int64_t> lastPictureUs{-1};      // monotonic clock: the last usable picture
    std::atomic<std::int64_t> lastPictureWallUs{-1};  // the same moment by the wall clock
    std::atomic<std::int64_t> brokenSinceUs{-1};      // monotonic: the first broken frame since then

    std::int64_t lastSourceTime = -1;  // the video source's thread only

    bool ready() const { return fedInputs == muxerInputs && (!previewWanted || previewShown); }
    void notify(bool RunState::*flag);
    void inputFed();

    // On the streaming thread that failed: during start-up the first failure is kept for
    // play(); afterwards the first of its kind goes to onFailure on the context's thread.
    void fail(const PipelineFailure& failure);
};

}  // namespace capture
