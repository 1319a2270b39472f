#include "CapturePipeline.h"

#include "EngineLog.h"
#include "GraphBuilder.h"
#include "GraphDump.h"
#include "PadProbes.h"
#include "PictureCheck.h"
#include "RecordingTimeline.h"
#include "RecordingFile.h"
#include "RecordingWriter.h"
#include "RunState.h"
#include "SoundMonitor.h"

#include "capture/devices/GstElements.h"

#include <algorithm>
#include <atomic>
#include <chrono>

namespace capture {

using namespace std::chrono_literals;

namespace {

constexpr auto kStartLimit = 5s;
// An encoder with look-ahead (x264enc's default) holds back its first output for a while.
constexpr auto kRecordStartLimit = 8s;
// Closing a recording drains what is queued (up to a second of pictures) at the disk's pace:
// wait as long as the file still grows, give up only when it stalls.
constexpr auto kFinishStall = 5s;
constexpr auto kFinishLimit = 120s;

// A running source this long without a picture is said to have none.
constexpr std::int64_t kStallUs = 2 * G_USEC_PER_SEC;

std::atomic<int> runsMade{0};

GstBusSyncReply onBusMessage(GstBus*, GstMessage* message, gpointer data)
{
    // A sync handler that drops a message owns it. Each message holds its source, so one left
    // behind keeps the element, and with it the whole graph, alive.
    const MessagePtr owned(message);
    auto* run = static_cast<RunState*>(data);
    const bool taken = run->sound && run->sound->handle(message);
    if (!taken && GST_MESSAGE_TYPE(message) == GST_MESSAGE_ERROR) {
        const PipelineFailure failure = classifyError(message, run->parts);
        qCInfo(lcEngine, "run %d: error from %s (%s): %s | %s", run->number, culprit(failure).c_str(),
               GST_OBJECT_NAME(GST_MESSAGE_SRC(message)), failure.text.c_str(), failure.debug.c_str());
        run->fail(failure);
    }
    // Nobody pops this bus: everything is handled here, nothing may pile up.
    return GST_BUS_DROP;
}

}  // namespace

CapturePipeline::CapturePipeline(const CaptureRequest& request, FrameSink& sink, RecordingFile* file)
    : m_run(std::make_shared<RunState>(++runsMade)), m_pipeline(gst_pipeline_new("capture")), m_file(file),
      m_videoDevice(request.videoDevice ? request.videoDevice->name() : std::string())
{
    BusPtr bus(gst_element_get_bus(m_pipeline.get()));
    gst_bus_set_sync_handler(bus.get(), onBusMessage, m_run.get(), nullptr);
    // The graph runs on the monotonic clock, the one the video drivers stamp their frames with.
    // A sound source would otherwise lend its own, which only advances as its samples come: a
    // microphone that starts late or stalls would hold the pictures' time still, and videorate
    // would make one picture of all that came meanwhile. The sound source follows this clock
    // instead, and audiorate fills what it missed with silence.
    GstHandle<GstClock> monotonic(gst_system_clock_obtain());
    gst_pipeline_use_clock(GST_PIPELINE(m_pipeline.get()), monotonic.get());

    const bool toFile = request.toFile && file;
    if (toFile)
        m_writer = std::make_unique<RecordingWriter>(file->descriptor());
    std::weak_ptr<RunState> weak = m_run;
    GraphBuilder builder(GST_BIN(m_pipeline.get()),
                         {sink,
                          [weak] {
                              if (auto run = weak.lock())
                                  run->notify(&RunState::previewShown);
                          },
                          m_writer.get(), file ? file->name() : std::string(),
                          [weak] {
                              if (auto run = weak.lock())
                                  run->notify(&RunState::fileClosed);
                          }});
    GraphLayout layout = builder.build(request);

    RunState& run = *m_run;
    run.parts = std::move(layout.parts);
    run.frameDuration = layout.frameDuration;
    run.previewWanted = layout.previewWanted;
    run.videoDevice = m_videoDevice;
    m_watchesPictures = static_cast<bool>(layout.videoSource);
    if (layout.videoSource) {
        watchVideoSource(layout.videoSource.get(), run);
        checkPictures(layout.videoSource.get(), run, layout.jpeg, layout.previewDecoder != nullptr);
    }
    if (layout.previewDecoder)
        countDecoderDrops(layout.previewDecoder, run);
    if (layout.audioSource)
        watchAudioSource(layout.audioSource.get(), run);
    if (toFile)
        m_timeline = std::make_unique<RecordingTimeline>(m_pipeline.get(), layout, run);
    m_sound = std::move(layout.sound);
    run.sound = m_sound.get();
    if (layout.recordQueue)
        countOverruns(layout.recordQueue, run);
    for (const PadPtr& pad : layout.muxerInputs) {
        MuxerInput& input = run.inputs.emplace_back();
        input.run = &run;
        watchMuxerInput(pad.get(), input);
    }
    run.muxerInputs = static_cast<int>(layout.muxerInputs.size());
    m_recordEntries = std::move(layout.recordEntries);
    m_recordingOpen = toFile;
    qCInfo(lcEngine, "run %d: %s%s%s", run.number, toFile ? "recording to " : "preview only",
           toFile ? file->name().c_str() : "", describeLinks(GST_BIN(m_pipeline.get())).c_str());
}

CapturePipeline::~CapturePipeline()
{
    m_timeline.reset();
    gst_element_set_state(m_pipeline.get(), GST_STATE_NULL);
    BusPtr bus(gst_element_get_bus(m_pipeline.get()));
    gst_bus_set_sync_handler(bus.get(), nullptr, nullptr, nullptr);
    if (m_writer)
        m_writer->finish();
    qCDebug(lcEngine, "run %d: ended", m_run->number);
}

std::optional<PipelineFailure> CapturePipeline::play(QObject* context, std::function<void(const PipelineFailure&)> onFailure)
{
    RunState& run = *m_run;
    const GstStateChangeReturn change = gst_element_set_state(m_pipeline.get(), GST_STATE_PLAYING);
    std::unique_lock lock(run.mutex);
    bool settled = true;
    if (change != GST_STATE_CHANGE_FAILURE)
        settled = run.changed.wait_for(lock, m_recordingOpen ? kRecordStartLimit : kStartLimit,
                                       [&run] { return run.startFailure || run.ready(); });
    std::optional<PipelineFailure> failure = run.startFailure;
    if (!failure && change == GST_STATE_CHANGE_FAILURE)
        failure = PipelineFailure::at(PipelineFailure::Part::VideoSource, "the device could not be started").from(m_videoDevice);
    if (!failure && !settled)
        qCInfo(lcEngine, "run %d: timed out after %lld s waiting for %s", run.number,
               static_cast<long long>((m_recordingOpen ? kRecordStartLimit : kStartLimit).count()),
               run.fedInputs < run.muxerInputs ? "the recording's streams" : "the first picture");
    // Frames came, none of them usable: the device's failure, not the encoder's or the view's.
    const bool pictureMissing = run.fedInputs < run.muxerInputs || (run.previewWanted && !run.previewShown);
    if (!failure && !settled && pictureMissing && run.framesBroken > 0 && run.lastPictureUs < 0)
        failure = nothingDecodable(m_videoDevice, int(std::chrono::duration_cast<std::chrono::seconds>(
                                                          m_recordingOpen ? kRecordStartLimit : kStartLimit).count()));
    if (!failure && run.fedInputs < run.muxerInputs)
        failure = PipelineFailure::at(PipelineFailure::Part::Encoder, "the encoder gave nothing to record");
    lock.unlock();
    dumpGraph(GST_BIN(m_pipeline.get()), run.number, failure ? "failed" : "playing");
    if (failure)
        return failure;

    // A recording that has not shown its first picture yet still has its stall timed from here.
    std::int64_t none = -1;
    if (m_watchesPictures && run.lastPictureUs.compare_exchange_strong(none, g_get_monotonic_time()))
        run.lastPictureWallUs = g_get_real_time();

    lock.lock();
    run.context = context;
    run.onFailure = std::move(onFailure);
    run.startingUp = false;
    lock.unlock();
    if (m_writer)
        m_writer->keep();  // the start can no longer fail: an earlier file of that name may go
    return std::nullopt;
}

bool CapturePipeline::finishRecording()
{
    if (!m_recordingOpen)
        return false;
    RunState& run = *m_run;
    m_recordingOpen = false;
    run.recordStopping = true;
    m_timeline->stop(runningTimeNow(m_pipeline.get()));
    for (const PadPtr& entry : m_recordEntries)
        gst_pad_send_event(entry.get(), gst_event_new_eos());

    const auto began = std::chrono::steady_clock::now();
    auto progressed = began;
    std::uint64_t written = m_writer->size();
    std::unique_lock lock(run.mutex);
    bool closed = false;
    while (!(closed = run.changed.wait_for(lock, 250ms, [&run] { return run.fileClosed; }))) {
        const auto now = std::chrono::steady_clock::now();
        if (m_writer->size() != written) {
            written = m_writer->size();
            progressed = now;
        }
        if (now - progressed > kFinishStall || now - began > kFinishLimit) {
            qCInfo(lcEngine, "run %d: gave up closing the recording after %lld ms: the file %s", run.number,
                   static_cast<long long>(std::chrono::duration_cast<std::chrono::milliseconds>(now - began).count()),
                   now - progressed > kFinishStall ? "stopped growing" : "was still growing");
            break;
        }
    }
    lock.unlock();
    if (closed)
        m_writer->finish();
    qCInfo(lcEngine, "run %d: recording %s, %llu bytes", run.number, closed ? "closed" : "left unfinished",
           static_cast<unsigned long long>(m_writer->size()));
    return closed;
}

bool CapturePipeline::recording() const
{
    return m_recordingOpen;
}

CaptureStats CapturePipeline::stats() const
{
    CaptureStats stats;
    stats.running = true;
    stats.recording = m_recordingOpen;
    stats.framesCaptured = m_run->framesCaptured;
    stats.framesDropped = m_run->framesDropped;
    stats.framesBroken = m_run->framesBroken;
    stats.videoDevice = m_videoDevice;
    const std::int64_t lastPicture = m_run->lastPictureUs;
    const std::int64_t stall = std::max<std::int64_t>(kStallUs, 2 * m_run->frameDuration / GST_USECOND);
    if (m_watchesPictures && lastPicture >= 0 && g_get_monotonic_time() - lastPicture >= stall)
        stats.noPictureSinceUs = m_run->lastPictureWallUs;
    if (m_writer)
        stats.bytesWritten = m_writer->size();
    for (const MuxerInput& input : m_run->inputs)
        stats.recordedSeconds = std::max(stats.recordedSeconds, input.seconds());
    if (m_file)
        stats.fileName = m_file->name();
    return stats;
}

}  // namespace capture
