#include "RecordingEnd.h"

#include "EngineLog.h"
#include "RunningTime.h"
#include "Silence.h"

#include "capture/gst/GstHandle.h"
#include "capture/gst/MediaTime.h"
#include "capture/gst/PadProbe.h"

#include <gst/audio/audio.h>
#include <gst/video/video.h>

#include <algorithm>
#include <mutex>
#include <vector>

namespace capture {

namespace {

// A stream that ends this much before the stop has lost its source (a device gone), not a few
// frames on the way: it is left as it is.
constexpr GstClockTime kLongestFill = 2 * GST_SECOND;

}  // namespace

// Where a branch has come to, and where the recording stops.
struct RecordingEnd::Branch {
    std::mutex mutex;  // the stop is set from the caller's thread, the rest on the branch's
    GstClockTime stop = GST_CLOCK_TIME_NONE;
    GstClockTime lastEnd = GST_CLOCK_TIME_NONE;  // running time

    void reached(GstClockTime end)
    {
        if (!GST_CLOCK_TIME_IS_VALID(lastEnd) || end > lastEnd)
            lastEnd = end;
    }
    // How far the branch is short of the stop at its end, when it is a few frames (the mutex
    // held); 0 when it is not short, or when it lost its source long before.
    GstClockTime shortOfStop() const
    {
        if (!GST_CLOCK_TIME_IS_VALID(stop) || !GST_CLOCK_TIME_IS_VALID(lastEnd) || lastEnd >= stop ||
            stop - lastEnd > kLongestFill)
            return 0;
        return stop - lastEnd;
    }
};

struct RecordingEnd::PictureBranch : Branch {
    PictureBranch() = default;
    PictureBranch(const PictureBranch&) = delete;
    PictureBranch& operator=(const PictureBranch&) = delete;
    ~PictureBranch()
    {
        if (last)
            gst_buffer_unref(last);
    }
    GstBuffer* last = nullptr;
};

struct RecordingEnd::SoundBranch : Branch {};

namespace {

using PictureBranch = RecordingEnd::PictureBranch;
using SoundBranch = RecordingEnd::SoundBranch;

GstClockTime frameDuration(GstPad* pad, GstBuffer* buffer)
{
    if (GST_BUFFER_DURATION_IS_VALID(buffer))
        return GST_BUFFER_DURATION(buffer);
    CapsPtr caps(gst_pad_get_current_caps(pad));
    GstVideoInfo video;
    if (caps && gst_video_info_from_caps(&video, caps.get()))
        return frameTime(guint64(std::max(GST_VIDEO_INFO_FPS_N(&video), 0)), guint64(GST_VIDEO_INFO_FPS_D(&video)));
    return 0;
}

bool soundFormat(GstPad* pad, GstAudioInfo& audio)
{
    CapsPtr caps(gst_pad_get_current_caps(pad));
    return caps && gst_audio_info_from_caps(&audio, caps.get()) && GST_AUDIO_INFO_BPF(&audio) > 0 &&
           GST_AUDIO_INFO_RATE(&audio) > 0;
}

guint64 rateOf(const GstAudioInfo& audio)
{
    return guint64(GST_AUDIO_INFO_RATE(&audio));
}

GstClockTime soundDuration(const GstAudioInfo& audio, GstBuffer* buffer)
{
    if (GST_BUFFER_DURATION_IS_VALID(buffer))
        return GST_BUFFER_DURATION(buffer);
    return samplesToTime(gst_buffer_get_size(buffer) / gsize(GST_AUDIO_INFO_BPF(&audio)), rateOf(audio));
}

// The sound of `buffer` up to `stop` (running time), cut to the sample; null when none of it is.
GstBuffer* soundBefore(GstBuffer* buffer, const GstAudioInfo& audio, GstClockTime begins, GstClockTime stop)
{
    if (begins >= stop)
        return nullptr;
    const auto frameBytes = static_cast<gsize>(GST_AUDIO_INFO_BPF(&audio));
    const guint64 kept = timeToSamples(stop - begins, rateOf(audio));
    if (kept == 0)
        return nullptr;
    if (kept * frameBytes >= gst_buffer_get_size(buffer))
        return gst_buffer_ref(buffer);
    GstBuffer* front = gst_buffer_copy_region(buffer, GST_BUFFER_COPY_ALL, 0, static_cast<gsize>(kept * frameBytes));
    GST_BUFFER_DURATION(front) = samplesToTime(kept, rateOf(audio));
    return front;
}

// Each branch notes where it has come to, and keeps nothing of what was taken after the stop:
// a picture is kept when most of its frame lies before the stop, sound up to the sample. What
// the queues still held when the recording was stopped would otherwise make one stream longer
// than the other by as much as its queue and its device's latency.
GstPadProbeReturn notePicture(GstPad* pad, GstPadProbeInfo* info, PictureBranch& branch)
{
    GstBuffer* buffer = GST_PAD_PROBE_INFO_BUFFER(info);
    if (!GST_BUFFER_PTS_IS_VALID(buffer))
        return GST_PAD_PROBE_OK;
    const GstClockTime duration = frameDuration(pad, buffer);
    const GstClockTime begins = toRunningTime(pad, GST_BUFFER_PTS(buffer));
    std::lock_guard lock(branch.mutex);
    if (GST_CLOCK_TIME_IS_VALID(branch.stop) && begins + duration > branch.stop && begins + duration / 2 >= branch.stop)
        return GST_PAD_PROBE_DROP;
    branch.reached(begins + duration);
    gst_buffer_replace(&branch.last, buffer);
    return GST_PAD_PROBE_OK;
}

GstPadProbeReturn noteSound(GstPad* pad, GstPadProbeInfo* info, SoundBranch& branch)
{
    GstBuffer* buffer = GST_PAD_PROBE_INFO_BUFFER(info);
    GstAudioInfo audio;
    if (!GST_BUFFER_PTS_IS_VALID(buffer) || !soundFormat(pad, audio))
        return GST_PAD_PROBE_OK;
    GstClockTime duration = soundDuration(audio, buffer);
    const GstClockTime begins = toRunningTime(pad, GST_BUFFER_PTS(buffer));
    std::lock_guard lock(branch.mutex);
    if (GST_CLOCK_TIME_IS_VALID(branch.stop) && begins + duration > branch.stop) {
        GstBuffer* front = soundBefore(buffer, audio, begins, branch.stop);
        if (!front)
            return GST_PAD_PROBE_DROP;
        gst_buffer_unref(buffer);
        GST_PAD_PROBE_INFO_DATA(info) = front;
        duration = branch.stop - begins;
    }
    branch.reached(begins + duration);
    return GST_PAD_PROBE_OK;
}

// The last picture again, once for every frame's time up to the stop, as videorate would have
// given it out had the device sent more.
std::vector<GstBuffer*> picturesUpToStop(GstPad* pad, PictureBranch& branch)
{
    std::vector<GstBuffer*> again;
    if (!branch.last || branch.shortOfStop() == 0)
        return again;
    const GstClockTime frame = frameDuration(pad, branch.last);
    // A compressed picture that refers back to others cannot stand in for the next one.
    if (frame == 0 || GST_BUFFER_FLAG_IS_SET(branch.last, GST_BUFFER_FLAG_DELTA_UNIT))
        return again;
    for (GstClockTime begins = branch.lastEnd; begins + frame / 2 < branch.stop; begins += frame) {
        GstBuffer* copy = gst_buffer_copy(branch.last);
        GST_BUFFER_PTS(copy) = fromRunningTime(pad, begins);
        GST_BUFFER_DTS(copy) = GST_CLOCK_TIME_NONE;
        GST_BUFFER_DURATION(copy) = frame;
        GST_BUFFER_FLAG_UNSET(copy, GST_BUFFER_FLAG_DISCONT);
        again.push_back(copy);
    }
    return again;
}

std::vector<GstBuffer*> silenceUpToStop(GstPad* pad, SoundBranch& branch)
{
    GstAudioInfo audio;
    const GstClockTime missing = branch.shortOfStop();
    if (missing == 0 || !soundFormat(pad, audio))
        return {};
    const guint64 frames = timeToSamples(missing, rateOf(audio));
    GstBuffer* silence = frames > 0 ? silentSound(audio, frames) : nullptr;
    if (!silence)
        return {};
    GST_BUFFER_PTS(silence) = fromRunningTime(pad, branch.lastEnd);
    GST_BUFFER_DURATION(silence) = samplesToTime(frames, rateOf(audio));
    return {silence};
}

// At end-of-stream the branch fills what it is short of the stop, then lets the end go on.
template <typename Kind, GstPadProbeReturn (*note)(GstPad*, GstPadProbeInfo*, Kind&),
          std::vector<GstBuffer*> (*fillUpToStop)(GstPad*, Kind&)>
GstPadProbeReturn watch(GstPad* pad, GstPadProbeInfo* info, std::shared_ptr<Kind>& handle)
{
    Kind& branch = *handle;
    if (GST_PAD_PROBE_INFO_TYPE(info) & GST_PAD_PROBE_TYPE_BUFFER)
        return note(pad, info, branch);
    if (GST_EVENT_TYPE(GST_PAD_PROBE_INFO_EVENT(info)) != GST_EVENT_EOS)
        return GST_PAD_PROBE_OK;
    std::vector<GstBuffer*> fill;
    {
        std::lock_guard lock(branch.mutex);
        fill = fillUpToStop(pad, branch);
        qCDebug(lcEngine, "%s ends at %.1f ms, the stop is at %.1f ms: %zu buffer(s) added", GST_PAD_NAME(pad),
                double(branch.lastEnd) / GST_MSECOND, double(branch.stop) / GST_MSECOND, fill.size());
    }
    // Into the element ahead of end-of-stream, on the branch's own streaming thread.
    for (GstBuffer* buffer : fill)
        gst_pad_chain(pad, buffer);
    return GST_PAD_PROBE_OK;
}

constexpr auto kBuffersAndEvents = GstPadProbeType(GST_PAD_PROBE_TYPE_BUFFER | GST_PAD_PROBE_TYPE_EVENT_DOWNSTREAM);

}  // namespace

std::shared_ptr<RecordingEnd> RecordingEnd::attach(GstPad* pictureInput, GstPad* soundInput)
{
    std::shared_ptr<RecordingEnd> end(new RecordingEnd);
    if (pictureInput) {
        end->m_picture = std::make_shared<PictureBranch>();
        addProbe(pictureInput, kBuffersAndEvents, watch<PictureBranch, notePicture, picturesUpToStop>, end->m_picture);
    }
    if (soundInput) {
        end->m_sound = std::make_shared<SoundBranch>();
        addProbe(soundInput, kBuffersAndEvents, watch<SoundBranch, noteSound, silenceUpToStop>, end->m_sound);
    }
    return end;
}

void RecordingEnd::stopAt(GstClockTime runningTime)
{
    for (Branch* branch : {static_cast<Branch*>(m_picture.get()), static_cast<Branch*>(m_sound.get())})
        if (branch) {
            std::lock_guard lock(branch->mutex);
            branch->stop = runningTime;
        }
}

}  // namespace capture
