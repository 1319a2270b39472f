#include "RecordingEnd.h"

#include "EngineLog.h"
#include "RunningTime.h"
#include "Silence.h"

#include "capture/gst/GstHandle.h"

#include <gst/audio/audio.h>
#include <gst/video/video.h>

#include <mutex>
#include <vector>

namespace capture {

namespace {

// A stream that ends this much before the stop has lost its source (a device gone), not a few
// frames on the way: it is left as it is.
constexpr GstClockTime kLongestFill = 2 * GST_SECOND;

}  // namespace

struct RecordingEnd::Branch {
    explicit Branch(bool isPicture) : picture(isPicture) {}
    ~Branch()
    {
        if (last)
            gst_buffer_unref(last);
    }
    Branch(const Branch&) = delete;
    Branch& operator=(const Branch&) = delete;

    const bool picture;
    std::mutex mutex;  // the stop is set from the caller's thread, the rest on the branch's
    GstClockTime stop = GST_CLOCK_TIME_NONE;
    GstClockTime lastEnd = GST_CLOCK_TIME_NONE;  // running time
    GstBuffer* last = nullptr;                   // the last picture
};

namespace {

using Branch = RecordingEnd::Branch;
using BranchHandle = std::shared_ptr<Branch>;

GstClockTime frameDuration(GstPad* pad, GstBuffer* buffer)
{
    if (GST_BUFFER_DURATION_IS_VALID(buffer))
        return GST_BUFFER_DURATION(buffer);
    CapsPtr caps(gst_pad_get_current_caps(pad));
    GstVideoInfo video;
    if (caps && gst_video_info_from_caps(&video, caps.get()) && GST_VIDEO_INFO_FPS_N(&video) > 0)
        return gst_util_uint64_scale(GST_SECOND, guint64(GST_VIDEO_INFO_FPS_D(&video)), guint64(GST_VIDEO_INFO_FPS_N(&video)));
    return 0;
}

GstClockTime soundDuration(const GstAudioInfo& audio, GstBuffer* buffer)
{
    if (GST_BUFFER_DURATION_IS_VALID(buffer))
        return GST_BUFFER_DURATION(buffer);
    const gsize frames = gst_buffer_get_size(buffer) / gsize(GST_AUDIO_INFO_BPF(&audio));
    return gst_util_uint64_scale(frames, GST_SECOND, guint64(GST_AUDIO_INFO_RATE(&audio)));
}

bool soundFormat(GstPad* pad, GstAudioInfo& audio)
{
    CapsPtr caps(gst_pad_get_current_caps(pad));
    return caps && gst_audio_info_from_caps(&audio, caps.get()) && GST_AUDIO_INFO_BPF(&audio) > 0 &&
           GST_AUDIO_INFO_RATE(&audio) > 0;
}

// The sound of `buffer` up to `stop` (running time), cut to the sample; null when none of it is.
GstBuffer* soundBefore(GstBuffer* buffer, const GstAudioInfo& audio, GstClockTime begins, GstClockTime stop)
{
    if (begins >= stop)
        return nullptr;
    const auto frameBytes = static_cast<gsize>(GST_AUDIO_INFO_BPF(&audio));
    const guint64 kept = gst_util_uint64_scale_round(stop - begins, guint64(GST_AUDIO_INFO_RATE(&audio)), GST_SECOND);
    if (kept == 0)
        return nullptr;
    if (kept * frameBytes >= gst_buffer_get_size(buffer))
        return gst_buffer_ref(buffer);
    GstBuffer* front = gst_buffer_copy_region(buffer, GST_BUFFER_COPY_ALL, 0, static_cast<gsize>(kept * frameBytes));
    GST_BUFFER_DURATION(front) = gst_util_uint64_scale_round(kept, GST_SECOND, guint64(GST_AUDIO_INFO_RATE(&audio)));
    return front;
}

// Notes where the branch has come to, and keeps nothing of what was taken after the stop: a
// picture is kept when most of its frame lies before the stop, sound up to the sample. What
// the queues still held when the recording was stopped would otherwise make one stream longer
// than the other by as much as its queue and its device's latency.
GstPadProbeReturn note(GstPad* pad, GstPadProbeInfo* info, Branch& branch)
{
    GstBuffer* buffer = GST_PAD_PROBE_INFO_BUFFER(info);
    if (!GST_BUFFER_PTS_IS_VALID(buffer))
        return GST_PAD_PROBE_OK;
    GstClockTime duration = 0;
    GstAudioInfo audio;
    if (branch.picture)
        duration = frameDuration(pad, buffer);
    else if (soundFormat(pad, audio))
        duration = soundDuration(audio, buffer);
    else
        return GST_PAD_PROBE_OK;
    const GstClockTime begins = toRunningTime(pad, GST_BUFFER_PTS(buffer));
    std::lock_guard lock(branch.mutex);
    if (GST_CLOCK_TIME_IS_VALID(branch.stop) && begins + duration > branch.stop) {
        if (branch.picture) {
            if (begins + duration / 2 >= branch.stop)
                return GST_PAD_PROBE_DROP;
        } else {
            GstBuffer* front = soundBefore(buffer, audio, begins, branch.stop);
            if (!front)
                return GST_PAD_PROBE_DROP;
            gst_buffer_unref(buffer);
            GST_PAD_PROBE_INFO_DATA(info) = buffer = front;
            duration = branch.stop - begins;
        }
    }
    const GstClockTime end = begins + duration;
    if (!GST_CLOCK_TIME_IS_VALID(branch.lastEnd) || end > branch.lastEnd)
        branch.lastEnd = end;
    if (branch.picture)
        gst_buffer_replace(&branch.last, buffer);
    return GST_PAD_PROBE_OK;
}

// The last picture again, once for every frame's time up to the stop, as videorate would have
// given it out had the device sent more.
std::vector<GstBuffer*> lastPictureAgain(GstPad* pad, Branch& branch)
{
    std::vector<GstBuffer*> again;
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

GstBuffer* silenceUpToStop(GstPad* pad, Branch& branch, GstClockTime missing)
{
    GstAudioInfo audio;
    if (!soundFormat(pad, audio))
        return nullptr;
    const guint64 frames = gst_util_uint64_scale_round(missing, guint64(GST_AUDIO_INFO_RATE(&audio)), GST_SECOND);
    GstBuffer* silence = frames > 0 ? silentSound(audio, frames) : nullptr;
    if (!silence)
        return nullptr;
    GST_BUFFER_PTS(silence) = fromRunningTime(pad, branch.lastEnd);
    GST_BUFFER_DURATION(silence) = gst_util_uint64_scale_round(frames, GST_SECOND, guint64(GST_AUDIO_INFO_RATE(&audio)));
    return silence;
}

GstPadProbeReturn watch(GstPad* pad, GstPadProbeInfo* info, gpointer data)
{
    Branch& branch = **static_cast<BranchHandle*>(data);
    if (GST_PAD_PROBE_INFO_TYPE(info) & GST_PAD_PROBE_TYPE_BUFFER)
        return note(pad, info, branch);
    if (GST_EVENT_TYPE(GST_PAD_PROBE_INFO_EVENT(info)) != GST_EVENT_EOS)
        return GST_PAD_PROBE_OK;
    std::vector<GstBuffer*> fill;
    {
        std::lock_guard lock(branch.mutex);
        if (GST_CLOCK_TIME_IS_VALID(branch.stop) && GST_CLOCK_TIME_IS_VALID(branch.lastEnd) &&
            branch.lastEnd < branch.stop && branch.stop - branch.lastEnd <= kLongestFill) {
            if (branch.picture && branch.last)
                fill = lastPictureAgain(pad, branch);
            else if (GstBuffer* silence = branch.picture ? nullptr : silenceUpToStop(pad, branch, branch.stop - branch.lastEnd))
                fill.push_back(silence);
        }
        qCDebug(lcEngine, "%s ends at %.1f ms, the stop is at %.1f ms: %zu buffer(s) added",
                branch.picture ? "picture" : "sound", double(branch.lastEnd) / GST_MSECOND,
                double(branch.stop) / GST_MSECOND, fill.size());
    }
    // Into the element ahead of end-of-stream, on the branch's own streaming thread.
    for (GstBuffer* buffer : fill)
        gst_pad_chain(pad, buffer);
    return GST_PAD_PROBE_OK;
}

BranchHandle watchBranch(GstPad* pad, bool picture)
{
    if (!pad)
        return nullptr;
    auto branch = std::make_shared<Branch>(picture);
    gst_pad_add_probe(pad, GstPadProbeType(GST_PAD_PROBE_TYPE_BUFFER | GST_PAD_PROBE_TYPE_EVENT_DOWNSTREAM), watch,
                      new BranchHandle(branch), [](gpointer data) { delete static_cast<BranchHandle*>(data); });
    return branch;
}

}  // namespace

std::shared_ptr<RecordingEnd> RecordingEnd::attach(GstPad* pictureInput, GstPad* soundInput)
{
    std::shared_ptr<RecordingEnd> end(new RecordingEnd);
    end->m_picture = watchBranch(pictureInput, true);
    end->m_sound = watchBranch(soundInput, false);
    return end;
}

void RecordingEnd::stopAt(GstClockTime runningTime)
{
    for (const auto& branch : {m_picture, m_sound})
        if (branch) {
            std::lock_guard lock(branch->mutex);
            branch->stop = runningTime;
        }
}

}  // namespace capture
