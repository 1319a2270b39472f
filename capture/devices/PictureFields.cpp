#include "PictureFields.h"

#include "GstElements.h"

#include "capture/gst/GstHandle.h"
#include "capture/gst/PadProbe.h"

#include <gst/video/video.h>

#include <numeric>

namespace capture {

std::optional<PixelAspect> reducedAspect(std::uint64_t numerator, std::uint64_t denominator)
{
    if (!numerator || !denominator)
        return std::nullopt;
    const std::uint64_t divisor = std::gcd(numerator, denominator);
    numerator /= divisor;
    denominator /= divisor;
    if (numerator > 0x7fffffff || denominator > 0x7fffffff)
        return std::nullopt;
    return PixelAspect{numerator, denominator};
}

void writeFields(GstCaps* caps, const PictureFields& fields, FieldsInCaps what)
{
    for (guint index = 0; index < gst_caps_get_size(caps); ++index) {
        GstStructure* structure = gst_caps_get_structure(caps, index);
        if (what != FieldsInCaps::OrderAndAspect)
            gst_structure_set(structure, "interlace-mode", G_TYPE_STRING,
                              fields.interlaced() ? "interleaved" : "progressive", nullptr);
        if (what == FieldsInCaps::Interlacing)
            continue;
        gst_structure_set(structure, "pixel-aspect-ratio", GST_TYPE_FRACTION, int(fields.aspect.numerator),
                          int(fields.aspect.denominator), nullptr);
        if (fields.interlaced())
            gst_structure_set(structure, "field-order", G_TYPE_STRING,
                              fields.topFieldFirst ? "top-field-first" : "bottom-field-first", nullptr);
    }
}

std::optional<PictureFields> fieldsInCaps(const GstStructure* format)
{
    PictureFields fields;
    int numerator = 1, denominator = 1;
    if (gst_structure_get_fraction(format, "pixel-aspect-ratio", &numerator, &denominator) && numerator > 0 &&
        denominator > 0)
        fields.aspect = {std::uint64_t(numerator), std::uint64_t(denominator)};
    const char* mode = gst_structure_get_string(format, "interlace-mode");
    if (g_strcmp0(mode, "interleaved") != 0)
        return fields;
    fields.layout = PictureFields::Layout::Interleaved;
    const char* order = gst_structure_get_string(format, "field-order");
    if (g_strcmp0(order, "top-field-first") != 0 && g_strcmp0(order, "bottom-field-first") != 0)
        return std::nullopt;
    fields.topFieldFirst = g_strcmp0(order, "top-field-first") == 0;
    return fields;
}

void flagFieldOrder(GstBuffer* picture, bool topFieldFirst)
{
    GST_BUFFER_FLAG_SET(picture, GST_VIDEO_BUFFER_FLAG_INTERLACED);
    if (topFieldFirst)
        GST_BUFFER_FLAG_SET(picture, GST_VIDEO_BUFFER_FLAG_TFF);
    else
        GST_BUFFER_FLAG_UNSET(picture, GST_VIDEO_BUFFER_FLAG_TFF);
}

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
            flagFieldOrder(buffer, top);
            return GST_PAD_PROBE_OK;
        },
        topFieldFirst);
}

GstElement* stateFieldsAfter(GstBin* bin, GstElement* last, const PictureFields& fields)
{
    const bool square = fields.aspect.numerator == fields.aspect.denominator;
    if (!fields.interlaced() && square)
        return last;
    ElementPtr setter = makeElement("capssetter");
    const CapsPtr said(gst_caps_new_empty_simple("video/x-raw"));
    writeFields(said.get(), fields, FieldsInCaps::OrderAndAspect);
    g_object_set(setter.get(), "caps", said.get(), "join", TRUE, "replace", FALSE, nullptr);
    gst_bin_add(bin, setter.get());
    if (!gst_element_link(last, setter.get()))
        return nullptr;
    if (fields.interlaced()) {
        PadPtr output(gst_element_get_static_pad(setter.get(), "src"));
        markFieldOrder(output.get(), fields.topFieldFirst);
    }
    return setter.get();
}

}  // namespace capture
