#include "PaintedSource.h"

#include "capture/gst/MediaTime.h"

#include <gst/base/gstpushsrc.h>
#include <gst/video/gstvideopool.h>
#include <gst/video/video.h>

#include <algorithm>
#include <future>

namespace capture {

namespace {

// A pattern generator draws a still pattern once into a buffer of its own and copies it into
// every frame; the first frame of a start paid for drawing it and for faulting in both 720p
// buffers, 8 to 9 ms. This source has the painter draw into the frame itself.
//
// The first frame is drawn while the graph is still being built and started, on a thread of
// its own, into memory of its own: drawing it and faulting in its pages (2.5 to 3.5 ms at 720p)
// is then off the way to the first picture.
struct PaintedSource {
    GstPushSrc parent;
    GstCaps* caps;
    FramePainter* painter;
    GstVideoInfo info;
    GstClockTime frameDuration;
    std::uint64_t frames;
    std::future<BufferPtr>* firstFrame;  // drawn ahead; empty once taken or given up
    bool firstFrameTaken;
};

struct PaintedSourceClass {
    GstPushSrcClass parent_class;
};

G_DEFINE_TYPE(PaintedSource, painted_source, GST_TYPE_PUSH_SRC)

GstStaticPadTemplate sourceTemplate = GST_STATIC_PAD_TEMPLATE("src", GST_PAD_SRC, GST_PAD_ALWAYS, GST_STATIC_CAPS("video/x-raw"));

PaintedSource* self(gpointer object)
{
    return reinterpret_cast<PaintedSource*>(object);
}

GstCaps* fixedCaps(GstBaseSrc* source, GstCaps* filter)
{
    GstCaps* caps = self(source)->caps;
    return filter ? gst_caps_intersect_full(filter, caps, GST_CAPS_INTERSECT_FIRST) : gst_caps_ref(caps);
}

// Waits for the frame drawn ahead, if it is still wanted.
BufferPtr takeFirstFrame(PaintedSource* painted)
{
    if (!painted->firstFrame->valid())
        return {};
    return painted->firstFrame->get();
}

gboolean takeCaps(GstBaseSrc* source, GstCaps* caps)
{
    PaintedSource* painted = self(source);
    const gsize drawnAhead = GST_VIDEO_INFO_SIZE(&painted->info);
    if (!gst_video_info_from_caps(&painted->info, caps) || GST_VIDEO_INFO_FPS_N(&painted->info) <= 0)
        return FALSE;
    if (GST_VIDEO_INFO_SIZE(&painted->info) != drawnAhead)
        takeFirstFrame(painted);  // drawn for other caps: dropped
    gst_base_src_set_blocksize(source, guint(GST_VIDEO_INFO_SIZE(&painted->info)));
    painted->frameDuration = frameTime(guint64(std::max(GST_VIDEO_INFO_FPS_N(&painted->info), 0)),
                                       guint64(GST_VIDEO_INFO_FPS_D(&painted->info)));
    return TRUE;
}

// Frames from a pool: each is faulted in once, not at every frame.
gboolean decideAllocation(GstBaseSrc* source, GstQuery* query)
{
    const auto size = guint(GST_VIDEO_INFO_SIZE(&self(source)->info));
    if (gst_query_get_n_allocation_pools(query) == 0) {
        GstHandle<GstBufferPool> pool(gst_video_buffer_pool_new());
        gst_query_add_allocation_pool(query, pool.get(), size, 0, 0);
    } else {
        GstBufferPool* offered = nullptr;
        guint offeredSize = 0;
        guint least = 0;
        guint most = 0;
        gst_query_parse_nth_allocation_pool(query, 0, &offered, &offeredSize, &least, &most);
        GstHandle<GstBufferPool> pool(offered ? offered : gst_video_buffer_pool_new());
        gst_query_set_nth_allocation_pool(query, 0, pool.get(), std::max(size, offeredSize), least, most);
    }
    return GST_BASE_SRC_CLASS(painted_source_parent_class)->decide_allocation(source, query);
}

GstFlowReturn allocate(GstBaseSrc* source, guint64 offset, guint size, GstBuffer** buffer)
{
    PaintedSource* painted = self(source);
    if (painted->frames == 0) {
        if (BufferPtr first = takeFirstFrame(painted)) {
            painted->firstFrameTaken = true;
            *buffer = first.release();
            return GST_FLOW_OK;
        }
    }
    return GST_BASE_SRC_CLASS(painted_source_parent_class)->alloc(source, offset, size, buffer);
}

// A live source is pushed when its frame begins on the clock.
void frameTimes(GstBaseSrc*, GstBuffer* buffer, GstClockTime* start, GstClockTime* end)
{
    *start = GST_BUFFER_PTS(buffer);
    *end = GST_BUFFER_PTS_IS_VALID(buffer) && GST_BUFFER_DURATION_IS_VALID(buffer)
               ? GST_BUFFER_PTS(buffer) + GST_BUFFER_DURATION(buffer)
               : GST_CLOCK_TIME_NONE;
}

// A camera's frame is whole only when its time is over: the source says it is a frame late, as
// a camera would.
gboolean answer(GstBaseSrc* source, GstQuery* query)
{
    const PaintedSource* painted = self(source);
    if (GST_QUERY_TYPE(query) == GST_QUERY_LATENCY && GST_CLOCK_TIME_IS_VALID(painted->frameDuration) && painted->frameDuration > 0) {
        gst_query_set_latency(query, TRUE, painted->frameDuration, painted->frameDuration);
        return TRUE;
    }
    return GST_BASE_SRC_CLASS(painted_source_parent_class)->query(source, query);
}

gboolean startOver(GstBaseSrc* source)
{
    self(source)->frames = 0;
    self(source)->firstFrameTaken = false;
    return TRUE;
}

GstFlowReturn paintFrame(GstPushSrc* source, GstBuffer* buffer)
{
    PaintedSource* painted = self(source);
    const std::uint64_t index = painted->frames++;
    GST_BUFFER_PTS(buffer) = index * painted->frameDuration;
    GST_BUFFER_DTS(buffer) = GST_CLOCK_TIME_NONE;
    GST_BUFFER_DURATION(buffer) = painted->frameDuration;
    GST_BUFFER_OFFSET(buffer) = index;
    GST_BUFFER_OFFSET_END(buffer) = index + 1;
    if (index == 0 && painted->firstFrameTaken)
        return GST_FLOW_OK;
    GstVideoFrame frame;
    if (!gst_video_frame_map(&frame, &painted->info, buffer, GST_MAP_WRITE))
        return GST_FLOW_ERROR;
    painted->painter->paint(static_cast<std::uint8_t*>(GST_VIDEO_FRAME_PLANE_DATA(&frame, 0)),
                            GST_VIDEO_FRAME_PLANE_STRIDE(&frame, 0), index);
    gst_video_frame_unmap(&frame);
    return GST_FLOW_OK;
}

void finalize(GObject* object)
{
    PaintedSource* painted = self(object);
    takeFirstFrame(painted);  // the painter is in use until it is drawn
    delete painted->firstFrame;
    delete painted->painter;
    if (painted->caps)
        gst_caps_unref(painted->caps);
    G_OBJECT_CLASS(painted_source_parent_class)->finalize(object);
}

void painted_source_class_init(PaintedSourceClass* type)
{
    G_OBJECT_CLASS(type)->finalize = finalize;
    GstElementClass* element = GST_ELEMENT_CLASS(type);
    gst_element_class_set_static_metadata(element, "Painted picture source", "Source/Video",
                                          "Live pictures drawn by the built-in devices", "Orvex");
    gst_element_class_add_static_pad_template(element, &sourceTemplate);
    GstBaseSrcClass* base = GST_BASE_SRC_CLASS(type);
    base->get_caps = fixedCaps;
    base->set_caps = takeCaps;
    base->get_times = frameTimes;
    base->start = startOver;
    base->decide_allocation = decideAllocation;
    base->alloc = allocate;
    base->query = answer;
    GST_PUSH_SRC_CLASS(type)->fill = paintFrame;
}

void painted_source_init(PaintedSource* painted)
{
    painted->frameDuration = GST_CLOCK_TIME_NONE;
    painted->firstFrame = new std::future<BufferPtr>;
    gst_base_src_set_live(GST_BASE_SRC(painted), TRUE);
    gst_base_src_set_format(GST_BASE_SRC(painted), GST_FORMAT_TIME);
}

}  // namespace

ElementPtr createPaintedSource(GstCaps* caps, std::unique_ptr<FramePainter> painter)
{
    ElementPtr element(GST_ELEMENT(g_object_new(painted_source_get_type(), nullptr)));
    PaintedSource* painted = self(element.get());
    painted->caps = gst_caps_ref(caps);
    painted->painter = painter.release();
    if (gst_video_info_from_caps(&painted->info, caps) && GST_VIDEO_INFO_N_PLANES(&painted->info) == 1)
        *painted->firstFrame = std::async(std::launch::async, [info = painted->info, painter = painted->painter] {
            BufferPtr frame(gst_buffer_new_allocate(nullptr, GST_VIDEO_INFO_SIZE(&info), nullptr));
            GstMapInfo map;
            if (!frame || !gst_buffer_map(frame.get(), &map, GST_MAP_WRITE))
                return BufferPtr();
            painter->paint(map.data, GST_VIDEO_INFO_PLANE_STRIDE(&info, 0), 0);
            gst_buffer_unmap(frame.get(), &map);
            return frame;
        });
    return element;
}

}  // namespace capture
