#include "V4l2SourceElement.h"

#include "capture/contract/CaptureError.h"
#include "capture/devices/GstElements.h"

namespace capture {

ElementPtr createV4l2SourceElement(const std::string& path, const V4l2FormatChoice& choice)
{
    if (!gst_is_initialized())
        gst_init(nullptr, nullptr);

    ElementPtr bin(gst_bin_new(nullptr));
    ElementPtr source = makeElement("v4l2src");
    ElementPtr filter = makeElement("capsfilter");
    g_object_set(source.get(), "device", path.c_str(), nullptr);
    // A rate the driver did not list is only our guess; pinning it could fail negotiation.
    const CapsPtr caps = capsOf(choice.format, choice.rateListed);
    g_object_set(filter.get(), "caps", caps.get(), nullptr);

    // The bin takes its own reference to each child; the handles drop theirs.
    gst_bin_add(GST_BIN(bin.get()), source.get());
    gst_bin_add(GST_BIN(bin.get()), filter.get());
    if (!gst_element_link(source.get(), filter.get()))
        throw CaptureError("The V4L2 source could not be linked to its format filter.");

    PadPtr target(gst_element_get_static_pad(filter.get(), "src"));
    gst_element_add_pad(bin.get(), gst_ghost_pad_new("src", target.get()));
    return bin;
}

}  // namespace capture
