#include "V4l2PictureCopy.h"

#include <algorithm>
#include <cstring>

namespace capture {

bool copyPicture(const std::uint8_t* data, std::size_t size, std::uint32_t bytesPerLine, GstVideoFrame& frame)
{
    const GstVideoFormatInfo* info = frame.info.finfo;
    const int firstPixelStride = GST_VIDEO_FORMAT_INFO_PSTRIDE(info, 0);
    if (firstPixelStride <= 0 || bytesPerLine == 0)
        return false;
    std::size_t offset = 0;
    for (guint plane = 0; plane < GST_VIDEO_FRAME_N_PLANES(&frame); ++plane) {
        gint components[GST_VIDEO_MAX_COMPONENTS];
        gst_video_format_info_component(info, plane, components);
        const int component = components[0];
        const std::size_t sourceStride =
            (std::size_t(bytesPerLine) * GST_VIDEO_FORMAT_INFO_PSTRIDE(info, component) / firstPixelStride)
            >> GST_VIDEO_FORMAT_INFO_W_SUB(info, component);
        const std::size_t targetStride = GST_VIDEO_FRAME_PLANE_STRIDE(&frame, plane);
        const std::size_t lineBytes = std::min({std::size_t(GST_VIDEO_FRAME_COMP_WIDTH(&frame, component))
                                                    * GST_VIDEO_FRAME_COMP_PSTRIDE(&frame, component),
                                                sourceStride, targetStride});
        const std::size_t lines = GST_VIDEO_FRAME_COMP_HEIGHT(&frame, component);
        if (lines == 0 || offset + (lines - 1) * sourceStride + lineBytes > size)
            return false;
        auto* target = static_cast<std::uint8_t*>(GST_VIDEO_FRAME_PLANE_DATA(&frame, plane));
        for (std::size_t line = 0; line < lines; ++line)
            std::memcpy(target + line * targetStride, data + offset + line * sourceStride, lineBytes);
        offset += lines * sourceStride;
    }
    return true;
}

bool copyField(const std::uint8_t* data, std::size_t size, std::uint32_t bytesPerLine, bool bottom,
               const GstVideoInfo& info, GstBuffer* buffer)
{
    if (GST_VIDEO_INFO_HEIGHT(&info) % 2 != 0)
        return false;
    // The field's lines as a picture of their own: every other line of the frame.
    GstVideoInfo field = info;
    GST_VIDEO_INFO_HEIGHT(&field) = GST_VIDEO_INFO_HEIGHT(&info) / 2;
    GST_VIDEO_INFO_INTERLACE_MODE(&field) = GST_VIDEO_INTERLACE_MODE_PROGRESSIVE;
    for (guint plane = 0; plane < GST_VIDEO_INFO_N_PLANES(&info); ++plane) {
        GST_VIDEO_INFO_PLANE_OFFSET(&field, plane) += bottom ? GST_VIDEO_INFO_PLANE_STRIDE(&info, plane) : 0;
        GST_VIDEO_INFO_PLANE_STRIDE(&field, plane) *= 2;
    }
    GstVideoFrame frame;
    if (!gst_video_frame_map(&frame, &field, buffer, GST_MAP_WRITE))
        return false;
    const bool whole = copyPicture(data, size, bytesPerLine, frame);
    gst_video_frame_unmap(&frame);
    return whole;
}

bool copyFieldsInTurn(const std::uint8_t* data, std::size_t size, std::uint32_t bytesPerLine, bool bottomFirst,
                      const GstVideoInfo& info, GstBuffer* buffer)
{
    if (GST_VIDEO_INFO_N_PLANES(&info) != 1)
        return false;
    const std::size_t half = std::size_t(bytesPerLine) * (GST_VIDEO_INFO_HEIGHT(&info) / 2);
    return size >= half && copyField(data, half, bytesPerLine, bottomFirst, info, buffer)
           && copyField(data + half, size - half, bytesPerLine, !bottomFirst, info, buffer);
}

}  // namespace capture
