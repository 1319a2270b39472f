#include "GstElements.h"

#include "DeviceFailure.h"

namespace capture {

ElementPtr sourceBin(std::initializer_list<ElementPtr> chain)
{
    ElementPtr bin(gst_bin_new(nullptr));
    // The bin takes its own reference to each child; the handles drop theirs.
    const ElementPtr* previous = nullptr;
    for (const ElementPtr& element : chain) {
        gst_bin_add(GST_BIN(bin.get()), element.get());
        if (previous && !gst_element_link(previous->get(), element.get()))
            return {};
        previous = &element;
    }
    if (previous) {
        PadPtr target(gst_element_get_static_pad(previous->get(), "src"));
        gst_element_add_pad(bin.get(), gst_ghost_pad_new("src", target.get()));
    }
    return bin;
}

ElementPtr makeElement(const char* factory)
{
    if (!gst_is_initialized())
        gst_init(nullptr, nullptr);
    ElementPtr element(gst_element_factory_make(factory, nullptr));
    if (!element)
        throw DeviceError({.kind = DeviceFailure::Kind::MissingElement, .element = factory});
    return element;
}

CapsPtr capsOf(const VideoFormat& format, bool withRate)
{
    GstCaps* caps = format.pixelFormat == "MJPG"
        ? gst_caps_new_empty_simple("image/jpeg")
        : gst_caps_new_simple("video/x-raw", "format", G_TYPE_STRING, format.pixelFormat.c_str(), nullptr);
    GstStructure* structure = gst_caps_get_structure(caps, 0);
    gst_structure_set(structure, "width", G_TYPE_INT, format.width, "height", G_TYPE_INT, format.height, nullptr);
    if (withRate && format.fpsNumerator > 0 && format.fpsDenominator > 0)
        gst_structure_set(structure, "framerate", GST_TYPE_FRACTION, format.fpsNumerator, format.fpsDenominator, nullptr);
    return CapsPtr(caps);
}

GstClockTime runningTimeNow(GstElement* element)
{
    GstClock* clock = gst_element_get_clock(element);
    if (!clock)
        return GST_CLOCK_TIME_NONE;
    const GstClockTime now = gst_clock_get_time(clock);
    gst_object_unref(clock);
    const GstClockTime base = gst_element_get_base_time(element);
    return now > base ? now - base : 0;
}

}  // namespace capture
