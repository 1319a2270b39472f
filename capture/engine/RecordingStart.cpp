#include "RecordingStart.h"

#include "RunningTime.h"
#include "Silence.h"

#include "capture/gst/GstHandle.h"
#include "capture/gst/MediaTime.h"
#include "capture/gst/PadProbe.h"

#include <gst/audio/audio.h>

#include <memory>
#include <mutex>

namespace capture {

namespace {

// Sound that begins this much after the first picture is left as it is rather than preceded by
// silence: the device is not delivering, and the muxer's wait says so.
constexpr GstClockTime kLongestSilence = 10 * GST_SECOND;

struct SharedStart {
    std::mutex mutex;  // the two branches stream on their own threads
    GstClockTime picture = GST_CLOCK_TIME_NONE;  // running time of the first recorded picture
    guint soundLeadSamples = 0;
    bool soundBegun = false;
};

using StartHandle = std::shared_ptr<SharedStart>;

GstPadProbeReturn notePicture(GstPad* pad, GstPadProbeInfo* info, StartHandle& handle)
{
    SharedStart& start = *handle;
    GstBuffer* buffer = gst_pad_probe_info_get_buffer(info);
    std::lock_guard lock(start.mutex);
    if (!GST_CLOCK_TIME_IS_VALID(start.picture) && GST_BUFFER_PTS_IS_VALID(buffer))
        start.picture = toRunningTime(pad, GST_BUFFER_PTS(buffer));
    return GST_PAD_PROBE_OK;
}

// The first buffer of sound, made to begin exactly at `from` (running time): cut at its front, or
// preceded by silence. Null when all of it lies before.
GstBuffer* beginAt(GstBuffer* buffer, const GstAudioInfo& audio, GstClockTime begins, GstClockTime from)
{
    const auto rate = static_cast<guint64>(GST_AUDIO_INFO_RATE(&audio));
    const auto frameBytes = static_cast<gsize>(GST_AUDIO_INFO_BPF(&audio));
    const gsize frames = gst_buffer_get_size(buffer) / frameBytes;
    if (begins < from) {
        const guint64 cut = timeToSamples(from - begins, rate);
        if (cut >= frames) {
            gst_buffer_unref(buffer);
            return nullptr;
        }
        if (cut == 0)
            return buffer;
        buffer = gst_buffer_make_writable(buffer);
        gst_buffer_resize(buffer, static_cast<gssize>(cut * frameBytes), -1);
        const GstClockTime cutTime = samplesToTime(cut, rate);
        GST_BUFFER_PTS(buffer) += cutTime;
        if (GST_BUFFER_DURATION_IS_VALID(buffer))
            GST_BUFFER_DURATION(buffer) = GST_BUFFER_DURATION(buffer) > cutTime ? GST_BUFFER_DURATION(buffer) - cutTime : 0;
        GST_BUFFER_OFFSET(buffer) = GST_BUFFER_OFFSET_NONE;
        return buffer;
    }
    const guint64 missing = timeToSamples(begins - from, rate);
    if (missing == 0 || begins - from > kLongestSilence)
        return buffer;
    GstBuffer* silence = silentSound(audio, missing);
    if (!silence)
        return buffer;
    const GstClockTime pts = GST_BUFFER_PTS(buffer);
    const GstClockTime duration = GST_BUFFER_DURATION(buffer);
    const GstClockTime silenceTime = samplesToTime(missing, rate);
    GstBuffer* joined = gst_buffer_append(silence, buffer);
    GST_BUFFER_PTS(joined) = pts > silenceTime ? pts - silenceTime : 0;
    GST_BUFFER_DTS(joined) = GST_CLOCK_TIME_NONE;
    GST_BUFFER_DURATION(joined) = GST_CLOCK_TIME_IS_VALID(duration) ? duration + silenceTime : GST_CLOCK_TIME_NONE;
    return joined;
}

GstPadProbeReturn startSound(GstPad* pad, GstPadProbeInfo* info, StartHandle& handle)
{
    SharedStart& start = *handle;
    std::lock_guard lock(start.mutex);
    if (start.soundBegun)
        return GST_PAD_PROBE_OK;
    if (!GST_CLOCK_TIME_IS_VALID(start.picture))
        return GST_PAD_PROBE_DROP;  // no picture recorded yet: nothing for this sound to go with
    GstBuffer* buffer = gst_pad_probe_info_get_buffer(info);
    CapsPtr caps(gst_pad_get_current_caps(pad));
    GstAudioInfo audio;
    start.soundBegun = true;
    if (!caps || !gst_audio_info_from_caps(&audio, caps.get()) || GST_AUDIO_INFO_BPF(&audio) <= 0 ||
        !GST_BUFFER_PTS_IS_VALID(buffer))
        return GST_PAD_PROBE_OK;  // not raw sound with a time: nothing to place
    const GstClockTime lead = samplesToTime(start.soundLeadSamples, guint64(GST_AUDIO_INFO_RATE(&audio)));
    buffer = beginAt(buffer, audio, toRunningTime(pad, GST_BUFFER_PTS(buffer)), start.picture + lead);
    GST_PAD_PROBE_INFO_DATA(info) = buffer;
    if (!buffer) {
        start.soundBegun = false;  // wholly before the start: the next buffer begins the sound
        return GST_PAD_PROBE_HANDLED;
    }
    return GST_PAD_PROBE_OK;
}

}  // namespace

void startRecordingTogether(GstPad* picturePad, GstPad* soundPad, guint soundLeadSamples)
{
    auto start = std::make_shared<SharedStart>();
    start->soundLeadSamples = soundLeadSamples;
    addProbe(picturePad, GST_PAD_PROBE_TYPE_BUFFER, notePicture, start);
    addProbe(soundPad, GST_PAD_PROBE_TYPE_BUFFER, startSound, start);
}

}  // namespace capture
