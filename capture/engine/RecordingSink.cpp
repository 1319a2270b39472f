#include "RecordingSink.h"

#include "AviFields.h"
#include "PadProbes.h"
#include "RecordingWriter.h"

#include "capture/devices/PictureFields.h"

#include "capture/gst/GstHandle.h"
#include "capture/gst/PadProbe.h"

#include <gst/base/gstbasesink.h>

#include <cstring>
#include <optional>
#include <vector>

namespace capture {

namespace {

struct RecordingSinkElement {
    GstBaseSink parent;
    RecordingWriter* writer;
    std::function<void()>* onEndOfStream;
    gboolean reported;
    gint fields;  // RecordedFields, set from the pictures' caps on their streaming thread
};

struct RecordingSinkElementClass {
    GstBaseSinkClass parent;
};

GstStaticPadTemplate sinkTemplate = GST_STATIC_PAD_TEMPLATE("sink", GST_PAD_SINK, GST_PAD_ALWAYS, GST_STATIC_CAPS_ANY);

GType recordingSinkType();

RecordingSinkElement* asSink(gpointer object)
{
    return G_TYPE_CHECK_INSTANCE_CAST(object, recordingSinkType(), RecordingSinkElement);
}

void report(RecordingSinkElement* self, RecordingWriter::Result result)
{
    if (self->reported || result == RecordingWriter::Result::Written)
        return;
    self->reported = TRUE;
    const int error = self->writer->lastError();
    if (self->writer->reachedLargestSize()) {
        GST_ELEMENT_ERROR(self, STREAM, MUX,
                          ("the file reached the largest size an AVI file can index; start a new recording to go on"),
                          (nullptr));
    } else if (result == RecordingWriter::Result::Full || error == ENOSPC || error == EDQUOT) {
        GST_ELEMENT_ERROR(self, RESOURCE, NO_SPACE_LEFT, ("The disk is full."), (nullptr));
    } else {
        GST_ELEMENT_ERROR(self, RESOURCE, WRITE, ("The recording could not be written: %s.", std::strerror(error)),
                          (nullptr));
    }
}

// avimux holds every picture back until the sound is half a second past it (a fixed delay
// in its interleaving), so at any moment the last half second of pictures waits in the
// queues before it instead of being in the file, and a killed process loses it. Running the
// sound half a second later at the muxer's inputs evens that out: each buffer is written as
// soon as the other streams have reached its time. Only the order in the file changes; AVI
// keeps no timestamps.
constexpr gint64 kMuxerPictureDelay = GST_SECOND / 2;

gboolean delaySound(GstElement*, GstPad* pad, gpointer)
{
    GstPadTemplate* templ = GST_PAD_PAD_TEMPLATE(pad);
    if (templ && g_str_has_prefix(GST_PAD_TEMPLATE_NAME_TEMPLATE(templ), "audio"))
        gst_pad_set_offset(pad, kMuxerPictureDelay);
    return TRUE;
}

// Called as the sink starts, before anything flows: the muxer's inputs are all there by then
// and none has had its segment yet (a sink pad applies its offset to the segments it receives).
gboolean start(GstBaseSink* base)
{
    PadPtr own(gst_element_get_static_pad(GST_ELEMENT(base), "sink"));
    PadPtr peer(gst_pad_get_peer(own.get()));
    ElementPtr muxer(peer ? gst_pad_get_parent_element(peer.get()) : nullptr);
    GstElementFactory* factory = muxer ? gst_element_get_factory(muxer.get()) : nullptr;
    if (factory && g_strcmp0(GST_OBJECT_NAME(factory), "avimux") == 0)
        gst_element_foreach_sink_pad(muxer.get(), delaySound, nullptr);
    return TRUE;
}

// avimux writes its header at the start of the file, first as it begins and again with the
// final counts as it closes; both times it says one field a frame.
RecordingWriter::Result writeHeader(RecordingSinkElement* self, const GstMapInfo& map)
{
    const auto fields = RecordedFields(g_atomic_int_get(&self->fields));
    std::vector<std::uint8_t> header(map.data, map.data + map.size);
    if (fields == RecordedFields::Whole || !describeFields(header.data(), header.size(), fields))
        return self->writer->write(map.data, map.size);
    return self->writer->write(header.data(), header.size());
}

GstFlowReturn render(GstBaseSink* base, GstBuffer* buffer)
{
    RecordingSinkElement* self = asSink(base);
    GstMapInfo map;
    if (!gst_buffer_map(buffer, &map, GST_MAP_READ))
        return GST_FLOW_ERROR;
    const RecordingWriter::Result result = self->writer->position() == 0 ? writeHeader(self, map)
                                                                         : self->writer->write(map.data, map.size);
    gst_buffer_unmap(buffer, &map);
    // Never a flow error: that would stop the tee and with it the preview. The bus message
    // makes the engine close the recording.
    report(self, result);
    return GST_FLOW_OK;
}

gboolean event(GstBaseSink* base, GstEvent* event)
{
    RecordingSinkElement* self = asSink(base);
    if (GST_EVENT_TYPE(event) == GST_EVENT_SEGMENT) {
        const GstSegment* segment = nullptr;
        gst_event_parse_segment(event, &segment);
        if (segment->format == GST_FORMAT_BYTES)
            self->writer->seek(segment->start);
    } else if (GST_EVENT_TYPE(event) == GST_EVENT_EOS) {
        // The muxer has closed the file: it is a whole recording, whatever was held.
        self->writer->keep();
        if (self->onEndOfStream && *self->onEndOfStream)
            (*self->onEndOfStream)();
    }
    return GST_BASE_SINK_CLASS(g_type_class_peek_parent(G_OBJECT_GET_CLASS(base)))->event(base, event);
}

gboolean query(GstBaseSink* base, GstQuery* query)
{
    if (GST_QUERY_TYPE(query) == GST_QUERY_SEEKING) {
        GstFormat format;
        gst_query_parse_seeking(query, &format, nullptr, nullptr, nullptr);
        gst_query_set_seeking(query, format, format == GST_FORMAT_BYTES, 0, -1);
        return TRUE;
    }
    return GST_BASE_SINK_CLASS(g_type_class_peek_parent(G_OBJECT_GET_CLASS(base)))->query(base, query);
}

void finalize(GObject* object)
{
    delete asSink(object)->onEndOfStream;
    G_OBJECT_CLASS(g_type_class_peek_parent(G_OBJECT_GET_CLASS(object)))->finalize(object);
}

void classInit(gpointer klass, gpointer)
{
    G_OBJECT_CLASS(klass)->finalize = finalize;
    auto* elementClass = GST_ELEMENT_CLASS(klass);
    gst_element_class_add_static_pad_template(elementClass, &sinkTemplate);
    gst_element_class_set_static_metadata(elementClass, "Recording file sink", "Sink/File",
                                          "Writes a recording and keeps room to close it", "capture");
    auto* sinkClass = GST_BASE_SINK_CLASS(klass);
    sinkClass->start = start;
    sinkClass->render = render;
    sinkClass->event = event;
    sinkClass->query = query;
}

void instanceInit(GTypeInstance* instance, gpointer)
{
    RecordingSinkElement* self = reinterpret_cast<RecordingSinkElement*>(instance);
    self->writer = nullptr;
    self->onEndOfStream = nullptr;
    self->reported = FALSE;
    self->fields = gint(RecordedFields::Whole);
    auto* base = reinterpret_cast<GstBaseSink*>(instance);
    gst_base_sink_set_sync(base, FALSE);
    // The muxer waits for every stream before it writes; the pipeline must not wait for it.
    gst_base_sink_set_async_enabled(base, FALSE);
    gst_base_sink_set_last_sample_enabled(base, FALSE);
}

GType recordingSinkType()
{
    static const GType type = [] {
        GTypeInfo info{};
        info.class_size = sizeof(RecordingSinkElementClass);
        info.class_init = classInit;
        info.instance_size = sizeof(RecordingSinkElement);
        info.instance_init = instanceInit;
        return g_type_register_static(GST_TYPE_BASE_SINK, "CaptureRecordingSink", &info, GTypeFlags(0));
    }();
    return type;
}

}  // namespace

ElementPtr createRecordingSink(RecordingWriter& writer, std::function<void()> onEndOfStream)
{
    ElementPtr sink(GST_ELEMENT(g_object_new(recordingSinkType(), "name", "recordsink", nullptr)));
    RecordingSinkElement* self = asSink(sink.get());
    self->writer = &writer;
    self->onEndOfStream = new std::function<void()>(std::move(onEndOfStream));
    return sink;
}

void describeFieldsOf(GstElement* recordingSink, GstPad* pictures)
{
    addProbe<ElementPtr>(
        pictures, GST_PAD_PROBE_TYPE_EVENT_DOWNSTREAM,
        [](GstPad*, GstPadProbeInfo* info, ElementPtr& sink) {
            const GstStructure* format = formatInCapsEvent(info);
            if (!format)
                return GST_PAD_PROBE_OK;
            const std::optional<PictureFields> said = fieldsInCaps(format);
            RecordedFields fields = RecordedFields::Whole;
            if (said && said->interlaced())
                fields = said->topFieldFirst ? RecordedFields::TopFirst : RecordedFields::BottomFirst;
            g_atomic_int_set(&asSink(sink.get())->fields, gint(fields));
            return GST_PAD_PROBE_OK;
        },
        ElementPtr::share(recordingSink));
}

}  // namespace capture
