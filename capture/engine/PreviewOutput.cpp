#include "PreviewOutput.h"

#include "CaptureEngine.h"
#include "capture/devices/PixelShape.h"

#include <gst/app/gstappsink.h>
#include <gst/video/video.h>

#include <QImage>

#include <memory>

namespace capture {

namespace {

struct PreviewContext {
    FrameSink* sink;
    std::function<void()> onFrame;
};

// Owned by the QImage that shows it: unmapped, and the sample dropped, when the image goes.
struct MappedFrame {
    SamplePtr sample;
    GstVideoFrame frame{};
};

void releaseFrame(void* info)
{
    auto* mapped = static_cast<MappedFrame*>(info);
    gst_video_frame_unmap(&mapped->frame);
    delete mapped;
}

GstFlowReturn newSample(GstAppSink* appsink, gpointer data)
{
    auto* context = static_cast<PreviewContext*>(data);
    auto mapped = std::make_unique<MappedFrame>();
    mapped->sample = SamplePtr(gst_app_sink_pull_sample(appsink));
    if (!mapped->sample)
        return GST_FLOW_EOS;

    GstVideoInfo info;
    GstBuffer* buffer = gst_sample_get_buffer(mapped->sample.get());
    GstCaps* caps = gst_sample_get_caps(mapped->sample.get());
    if (!buffer || !caps || !gst_video_info_from_caps(&info, caps)
        || !gst_video_frame_map(&mapped->frame, &info, buffer, GST_MAP_READ))
        return GST_FLOW_OK;  // a frame we cannot read is skipped, the next one may do

    // BGRx in memory is 0xffRRGGBB read as a 32-bit word on little-endian machines.
    GstVideoFrame& frame = mapped->frame;
    QImage image(static_cast<const uchar*>(GST_VIDEO_FRAME_PLANE_DATA(&frame, 0)), GST_VIDEO_FRAME_WIDTH(&frame),
                 GST_VIDEO_FRAME_HEIGHT(&frame), GST_VIDEO_FRAME_PLANE_STRIDE(&frame, 0), QImage::Format_RGB32,
                 releaseFrame, mapped.release());
    setPixelAspect(image, GST_VIDEO_INFO_PAR_N(&info), GST_VIDEO_INFO_PAR_D(&info));
    context->sink->present(image);
    if (context->onFrame)
        context->onFrame();
    return GST_FLOW_OK;
}

void destroyContext(gpointer data)
{
    delete static_cast<PreviewContext*>(data);
}

}  // namespace

ElementPtr createPreviewOutput(FrameSink& sink, std::function<void()> onFrame)
{
    ElementPtr appsink(gst_element_factory_make("appsink", "previewsink"));
    if (!appsink)
        return appsink;
    CapsPtr caps(gst_caps_new_simple("video/x-raw", "format", G_TYPE_STRING, "BGRx", nullptr));
    auto* app = GST_APP_SINK(appsink.get());
    gst_app_sink_set_caps(app, caps.get());
    gst_app_sink_set_max_buffers(app, 1);
    gst_app_sink_set_drop(app, TRUE);
    // A live picture: shown when it arrives, never held back to the clock.
    g_object_set(appsink.get(), "sync", FALSE, "enable-last-sample", FALSE, nullptr);

    GstAppSinkCallbacks callbacks{};
    callbacks.new_sample = newSample;
    gst_app_sink_set_callbacks(app, &callbacks, new PreviewContext{&sink, std::move(onFrame)}, destroyContext);
    return appsink;
}

}  // namespace capture
