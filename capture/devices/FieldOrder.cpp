#include "FieldOrder.h"

#include "capture/gst/PadProbe.h"

#include <gst/video/video.h>

namespace capture {

void markFieldOrder(GstPad* pad, bool topFieldFirst)
{
    addProbe<bool>(
        pad, GST_PAD_PROBE_TYPE_BUFFER,
        [](GstPad*, GstPadProbeInfo* info, bool& top) {
            GstBuffer* buffer = gst_pad_probe_info_get_buffer(info);
            if (GST_BUFFER_FLAG_IS_SET(buffer, GST_VIDEO_BUFFER_FLAG_INTERLACED)
                && GST_BUFFER_FLAG_IS_SET(buffer, GST_VIDEO_BUFFER_FLAG_TFF) == top)
                return GST_PAD_PROBE_OK;
            // Only the buffer's description is copied when it is shared, not its memory.
            buffer = gst_buffer_make_writable(buffer);
            GST_PAD_PROBE_INFO_DATA(info) = buffer;
            GST_BUFFER_FLAG_SET(buffer, GST_VIDEO_BUFFER_FLAG_INTERLACED);
            if (top)
                GST_BUFFER_FLAG_SET(buffer, GST_VIDEO_BUFFER_FLAG_TFF);
            else
                GST_BUFFER_FLAG_UNSET(buffer, GST_VIDEO_BUFFER_FLAG_TFF);
            return GST_PAD_PROBE_OK;
        },
        topFieldFirst);
}

}  // namespace capture
