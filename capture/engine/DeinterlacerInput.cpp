#include "DeinterlacerInput.h"

#include "PadProbes.h"

#include "capture/devices/PictureFields.h"
#include "capture/gst/GstHandle.h"
#include "capture/gst/PadProbe.h"

#include <gst/video/video.h>

#include <algorithm>
#include <cstring>

namespace capture {

namespace {

// The bytes left after a copied picture's last line: two of its lines, a page at least.
gsize paddingAfterPicture(const GstVideoInfo& info)
{
    constexpr gsize page = 4096;
    return std::max<gsize>(2 * static_cast<gsize>(std::max(GST_VIDEO_INFO_PLANE_STRIDE(&info, 0), 0)), page);
}

// A copy of the picture in memory of our own with padding after it, its flags, times and
// metadata kept; null where the copy cannot be made.
GstBuffer* paddedCopy(GstBuffer* buffer, const GstVideoInfo& info)
{
    GstAllocationParams params;
    gst_allocation_params_init(&params);
    params.align = 63;
    params.padding = paddingAfterPicture(info);
    const gsize size = gst_buffer_get_size(buffer);
    GstMemory* memory = gst_allocator_alloc(nullptr, size, &params);
    if (!memory)
        return nullptr;
    GstMapInfo target;
    if (!gst_memory_map(memory, &target, GST_MAP_WRITE)) {
        gst_memory_unref(memory);
        return nullptr;
    }
    const gsize copied = gst_buffer_extract(buffer, 0, target.data, size);
    // The padding is read, never shown: it holds nothing of an earlier picture.
    std::memset(target.data + size, 0, params.padding);
    gst_memory_unmap(memory, &target);
    if (copied != size) {
        gst_memory_unref(memory);
        return nullptr;
    }
    GstBuffer* copy = gst_buffer_new();
    gst_buffer_append_memory(copy, memory);
    gst_buffer_copy_into(copy, buffer, GstBufferCopyFlags(GST_BUFFER_COPY_FLAGS | GST_BUFFER_COPY_TIMESTAMPS | GST_BUFFER_COPY_META),
                         0, static_cast<gsize>(-1));
    return copy;
}

}  // namespace

void copyInterlacedPicturesInto(GstPad* deinterlacerInput)
{
    addProbe(
        deinterlacerInput, GST_PAD_PROBE_TYPE_BUFFER,
        [](GstPad* pad, GstPadProbeInfo* info) {
            const CapsPtr caps(gst_pad_get_current_caps(pad));
            GstVideoInfo video;
            if (!caps || !gst_video_info_from_caps(&video, caps.get()) || !GST_VIDEO_INFO_IS_INTERLACED(&video))
                return GST_PAD_PROBE_OK;
            GstBuffer* buffer = gst_pad_probe_info_get_buffer(info);
            GstBuffer* copy = paddedCopy(buffer, video);
            if (!copy)
                return GST_PAD_PROBE_DROP;  // a picture the view misses, never one read out of bounds
            GST_PAD_PROBE_INFO_DATA(info) = copy;
            gst_buffer_unref(buffer);
            return GST_PAD_PROBE_OK;
        });
}

void followFieldTakenFirst(GstElement* deinterlace)
{
    PadPtr input(gst_element_get_static_pad(deinterlace, "sink"));
    // The probe goes with the deinterlacer's pad, so the element outlives it.
    addProbe<GstElement*>(
        input.get(), GST_PAD_PROBE_TYPE_EVENT_DOWNSTREAM,
        [](GstPad*, GstPadProbeInfo* info, GstElement*& element) {
            if (const GstStructure* format = formatInCapsEvent(info)) {
                const std::optional<PictureFields> fields = fieldsInCaps(format);
                const bool bottom = fields && !fields->topFieldFirst;
                gst_util_set_object_arg(G_OBJECT(element), "fields", bottom ? "bottom" : "top");
            }
            return GST_PAD_PROBE_OK;
        },
        deinterlace);
}

}  // namespace capture
