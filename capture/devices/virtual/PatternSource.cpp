#include "PatternSource.h"

#include "PaintedSource.h"
#include "PixelCanvas.h"
#include "SyncMark.h"

#include "capture/devices/DeviceFailure.h"
#include "capture/devices/PictureFields.h"
#include "capture/devices/GstElements.h"
#include "capture/gst/PadProbe.h"

#include <gst/video/video.h>

namespace capture {

namespace {

bool marksBuffer(GstPad* pad, GstBuffer* buffer)
{
    const GstClockTime start = bufferRunningTime(pad, buffer);
    const GstClockTime duration = GST_BUFFER_DURATION_IS_VALID(buffer) ? GST_BUFFER_DURATION(buffer) : 0;
    return GST_CLOCK_TIME_IS_VALID(start) && holdsSyncMark(start, duration);
}

// The sync mark over what the painter drew, on the frames whose span holds one, by their time
// as it leaves the source.
GstPadProbeReturn addSyncMark(GstPad* pad, GstPadProbeInfo* info, GstVideoInfo& drawn)
{
    GstBuffer* buffer = gst_pad_probe_info_get_buffer(info);
    if (!marksBuffer(pad, buffer))
        return GST_PAD_PROBE_OK;
    buffer = gst_buffer_make_writable(buffer);
    GST_PAD_PROBE_INFO_DATA(info) = buffer;
    GstVideoFrame frame;
    if (gst_video_frame_map(&frame, &drawn, buffer, GST_MAP_WRITE)) {
        const int width = GST_VIDEO_FRAME_WIDTH(&frame);
        const int height = GST_VIDEO_FRAME_HEIGHT(&frame);
        const SyncBox box = syncBoxOf(width, height);
        const PixelCanvas canvas{static_cast<std::uint32_t*>(GST_VIDEO_FRAME_PLANE_DATA(&frame, 0)), width, height,
                                 GST_VIDEO_FRAME_PLANE_STRIDE(&frame, 0) / 4};
        canvas.fillRect(box.x, box.y, box.size, box.size, 0xffffffffu);
        gst_video_frame_unmap(&frame);
    }
    return GST_PAD_PROBE_OK;
}

CapsPtr rawCaps(const char* pixelFormat, const VideoFormat& format, const PictureFields& fields)
{
    CapsPtr caps(gst_caps_new_simple("video/x-raw", "format", G_TYPE_STRING, pixelFormat, "width", G_TYPE_INT,
                                     format.width, "height", G_TYPE_INT, format.height, "framerate",
                                     GST_TYPE_FRACTION, format.fpsNumerator, format.fpsDenominator, nullptr));
    writeFields(caps.get(), fields);
    return caps;
}

void link(GstElement* from, GstElement* to)
{
    if (!gst_element_link(from, to))
        throw DeviceError({.kind = DeviceFailure::Kind::VirtualSourceUnlinked,
                           .element = GST_ELEMENT_NAME(from),
                           .value = GST_ELEMENT_NAME(to)});
}

}  // namespace

GstClockTime bufferRunningTime(GstPad* pad, GstBuffer* buffer)
{
    if (!GST_BUFFER_PTS_IS_VALID(buffer))
        return GST_CLOCK_TIME_NONE;
    EventPtr sticky(gst_pad_get_sticky_event(pad, GST_EVENT_SEGMENT, 0));
    if (!sticky)
        return GST_BUFFER_PTS(buffer);
    const GstSegment* segment = nullptr;
    gst_event_parse_segment(sticky.get(), &segment);
    return gst_segment_to_running_time(segment, GST_FORMAT_TIME, GST_BUFFER_PTS(buffer));
}

void checkPatternFormat(const std::string& device, const VideoFormat& format)
{
    const bool knownLayout = gst_video_format_from_string(format.pixelFormat.c_str()) != GST_VIDEO_FORMAT_UNKNOWN;
    const bool sizeOk = format.width >= 16 && format.height >= 16 && format.width <= 4096 && format.height <= 4096 &&
                        format.width % 2 == 0 && format.height % 2 == 0;
    const bool rateOk = format.fpsNumerator > 0 && format.fpsDenominator > 0;
    if (!knownLayout || !sizeOk || !rateOk)
        throw DeviceError({.kind = DeviceFailure::Kind::FormatNotOffered, .device = device, .builtIn = true, .format = format.name()});
}

ElementPtr createPatternSource(const std::string& device, const VideoFormat& format,
                               std::unique_ptr<FramePainter> painter, const PictureFields& fields)
{
    checkPatternFormat(device, format);
    CapsPtr drawnCaps = rawCaps("BGRx", format, fields);
    GstVideoInfo drawnInfo;
    if (!gst_video_info_from_caps(&drawnInfo, drawnCaps.get()))
        throw DeviceError({.kind = DeviceFailure::Kind::FormatNotDescribed, .device = device, .format = format.name()});
    ElementPtr bin = makeElement("bin");
    ElementPtr drawn = createPaintedSource(drawnCaps.get(), std::move(painter));
    gst_bin_add(GST_BIN(bin.get()), drawn.get());
    PadPtr drawnPad(gst_element_get_static_pad(drawn.get(), "src"));
    addProbe(drawnPad.get(), GST_PAD_PROBE_TYPE_BUFFER, addSyncMark, drawnInfo);

    GstElement* last = drawn.get();
    if (format.pixelFormat != "BGRx") {
        ElementPtr convert = makeElement("videoconvert");
        ElementPtr output = makeElement("capsfilter");
        CapsPtr outputCaps = rawCaps(format.pixelFormat.c_str(), format, fields);
        g_object_set(output.get(), "caps", outputCaps.get(), nullptr);
        gst_bin_add_many(GST_BIN(bin.get()), convert.get(), output.get(), nullptr);
        link(drawn.get(), convert.get());
        link(convert.get(), output.get());
        last = output.get();
    }

    PadPtr lastPad(gst_element_get_static_pad(last, "src"));
    if (fields.interlaced())
        markFieldOrder(lastPad.get(), fields.topFieldFirst);
    gst_element_add_pad(bin.get(), gst_ghost_pad_new("src", lastPad.get()));
    return bin;
}

}  // namespace capture
