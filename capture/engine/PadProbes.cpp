#include "PadProbes.h"

#include "EngineLog.h"
#include "RunState.h"

#include "capture/gst/PadProbe.h"

namespace capture {

namespace {

GstPadProbeReturn countSourceFrame(GstPad*, GstPadProbeInfo* info, RunState& run)
{
    GstBuffer* buffer = GST_PAD_PROBE_INFO_BUFFER(info);
    ++run.framesCaptured;
    const GstClockTime time = GST_BUFFER_PTS(buffer);
    if (GST_CLOCK_TIME_IS_VALID(time) && run.frameDuration > 0) {
        const auto now = static_cast<std::int64_t>(time);
        if (run.lastSourceTime >= 0) {
            // A live source that fell behind leaves gaps in its timestamps.
            const std::int64_t gap = now - run.lastSourceTime;
            const std::int64_t missed = (gap + run.frameDuration / 2) / run.frameDuration - 1;
            if (missed > 0) {
                run.framesDropped += missed;
                qCDebug(lcEngine, "run %d: the video source missed %lld frames", run.number, static_cast<long long>(missed));
            }
        }
        run.lastSourceTime = now;
    }
    return GST_PAD_PROBE_OK;
}

GstPadProbeReturn dropWhenStopping(GstPad*, GstPadProbeInfo*, RunState& run)
{
    return run.recordStopping ? GST_PAD_PROBE_DROP : GST_PAD_PROBE_OK;
}

// Nothing here ever asks a source to end, so an end-of-stream from one means the device went
// away (some drivers say so this way instead of with an error).
template <PipelineFailure::Part part>
GstPadProbeReturn noticeSourceEnding(GstPad* pad, GstPadProbeInfo* info, RunState& run)
{
    if (GST_EVENT_TYPE(GST_PAD_PROBE_INFO_EVENT(info)) == GST_EVENT_EOS) {
        PipelineFailure failure = run.parts.failureAt(GST_OBJECT(pad));
        failure.part = part;
        failure.text = "it ended its stream";
        run.fail(failure);
    }
    return GST_PAD_PROBE_OK;
}

GstPadProbeReturn noteMuxerInput(GstPad*, GstPadProbeInfo* info, MuxerInput& input)
{
    GstBuffer* buffer = GST_PAD_PROBE_INFO_BUFFER(info);
    if (GST_BUFFER_PTS_IS_VALID(buffer)) {
        const auto start = static_cast<std::int64_t>(GST_BUFFER_PTS(buffer));
        const auto end = start + (GST_BUFFER_DURATION_IS_VALID(buffer) ? static_cast<std::int64_t>(GST_BUFFER_DURATION(buffer)) : 0);
        if (input.start < 0)
            input.start = start;
        if (end > input.end)
            input.end = end;
    }
    if (!input.fed) {
        input.fed = true;
        input.run->inputFed();
    }
    return GST_PAD_PROBE_OK;
}

void onOverrun(GstElement*, gpointer data)
{
    auto* run = static_cast<RunState*>(data);
    const std::int64_t dropped = ++run->framesDropped;
    // The disk is behind by a second: say so when it starts and then now and again.
    if (dropped == 1 || dropped % 30 == 0)
        qCInfo(lcEngine, "run %d: the disk is behind, dropping recorded frames (%lld so far)", run->number,
               static_cast<long long>(dropped));
}

constexpr auto kBuffers = GstPadProbeType(GST_PAD_PROBE_TYPE_BUFFER | GST_PAD_PROBE_TYPE_BUFFER_LIST);

}  // namespace

void watchVideoSource(GstPad* sourcePad, RunState& run)
{
    addProbeOn(sourcePad, GST_PAD_PROBE_TYPE_BUFFER, countSourceFrame, run);
    addProbeOn(sourcePad, GST_PAD_PROBE_TYPE_EVENT_DOWNSTREAM, noticeSourceEnding<PipelineFailure::Part::VideoSource>, run);
}

void watchAudioSource(GstPad* sourcePad, RunState& run)
{
    addProbeOn(sourcePad, GST_PAD_PROBE_TYPE_EVENT_DOWNSTREAM, noticeSourceEnding<PipelineFailure::Part::AudioSource>, run);
}

void dropWhenRecordingStops(GstPad* pad, RunState& run)
{
    addProbeOn(pad, kBuffers, dropWhenStopping, run);
}

void watchMuxerInput(GstPad* muxerPad, MuxerInput& input)
{
    addProbeOn(muxerPad, GST_PAD_PROBE_TYPE_BUFFER, noteMuxerInput, input);
}

void countOverruns(GstElement* queue, RunState& run)
{
    g_signal_connect(queue, "overrun", G_CALLBACK(onOverrun), &run);
}

const GstStructure* formatInCapsEvent(GstPadProbeInfo* info)
{
    GstEvent* event = gst_pad_probe_info_get_event(info);
    if (GST_EVENT_TYPE(event) != GST_EVENT_CAPS)
        return nullptr;
    GstCaps* caps = nullptr;
    gst_event_parse_caps(event, &caps);
    return gst_caps_get_size(caps) ? gst_caps_get_structure(caps, 0) : nullptr;
}

}  // namespace capture
