#include "Silence.h"

namespace capture {

GstBuffer* silentSound(const GstAudioInfo& audio, guint64 frames)
{
    GstBuffer* silence = gst_buffer_new_allocate(nullptr, frames * guint64(GST_AUDIO_INFO_BPF(&audio)), nullptr);
    GstMapInfo map;
    if (!gst_buffer_map(silence, &map, GST_MAP_WRITE)) {
        gst_buffer_unref(silence);
        return nullptr;
    }
    gst_audio_format_info_fill_silence(audio.finfo, map.data, map.size);
    gst_buffer_unmap(silence, &map);
    return silence;
}

}  // namespace capture
