#include "V4l2SourceElement.h"

#include "V4l2Inputs.h"
#include "V4l2MappedSource.h"

#include "capture/devices/DeviceFailure.h"
#include "capture/devices/PictureFields.h"
#include "capture/devices/GstElements.h"


namespace capture {
namespace {

// GStreamer 1.22's v4l2src, stopping on a driver that can orphan its buffers (every videobuf2
// driver, uvcvideo among them), orphans its buffer pool and then never drops one reference to
// it. The pool holds the element, a duplicate of the node's descriptor and its poll sockets, so
// each run would keep about six descriptors and the whole element for the life of the process.
// With GST_V4L2_FORCE_DRAIN set it stops the pool the ordinary way, which releases all of it.
// The plugin reads the variable on whichever thread stops a pool, so it is set once, while the
// process is still one thread (static initialisation), unless the user set it; this is the one
// place the process environment is written.
[[maybe_unused]] const bool drainPoolsOnStop = [] {
    g_setenv("GST_V4L2_FORCE_DRAIN", "1", FALSE);
    return true;
}();

// Fields that only the control's own source weaves into frames.
bool wovenByTheControl(const PictureFields& fields)
{
    return fields.layout == PictureFields::Layout::Alternate || fields.layout == PictureFields::Layout::Sequential;
}

// v4l2src cannot stream a multi-planar node, and reads through libv4l2 only when the process
// environment says so as it is made (GST_V4L2_USE_LIBV4L2, for every v4l2src alike); native
// formats keep v4l2src's direct path and what libv4l2 turns off (DMABuf export, CREATE_BUFS).
// The control's own source takes the other two (see V4l2MappedSource.h).
//
// Fields that come in buffers of their own, or one after the other in one buffer (which
// v4l2src refuses), are woven into frames by the control's source too, on either API. The
// control's source asks for the fields the device took.
ElementPtr makeSource(const std::string& path, const V4l2FormatChoice& choice, const GstCaps* caps)
{
    const std::uint32_t field = choice.driverField;
    if (wovenByTheControl(choice.fields)) {
        const bool planar = isMultiPlanarOnly(V4l2File(kernelV4l2Io(), path));
        return createV4l2MappedSource(path, planar ? V4l2MappedStream::Api::MultiPlanar : V4l2MappedStream::Api::SinglePlanar,
                                      choice.fourcc, caps, field);
    }
    if (choice.format.converted)
        return createV4l2MappedSource(path, V4l2MappedStream::Api::SinglePlanar, choice.fourcc, caps, field);
    if (isMultiPlanarOnly(V4l2File(kernelV4l2Io(), path)))
        return createV4l2MappedSource(path, V4l2MappedStream::Api::MultiPlanar, choice.fourcc, caps, field);
    return makeElement("v4l2src");
}

bool isRaw(const V4l2FormatChoice& choice)
{
    return choice.format.pixelFormat != "MJPG";
}

}  // namespace

// source ! videoconvert ! videoscale ! videorate ! capsfilter, the source following the program
// that feeds the virtual camera.
ElementPtr createVirtualCameraSource(const std::string& path, const V4l2FormatChoice& choice)
{
    const CapsPtr caps = capsOf(choice.format, choice.rateListed);
    ElementPtr source = createV4l2MappedSource(path, V4l2MappedStream::Api::SinglePlanar, choice.fourcc, caps.get());
    g_object_set(source.get(), "follow-feeder", TRUE, nullptr);
    ElementPtr filter = makeElement("capsfilter");
    g_object_set(filter.get(), "caps", caps.get(), nullptr);
    ElementPtr bin = sourceBin({source, makeElement("videoconvert"), makeElement("videoscale"), makeElement("videorate"), filter});
    if (!bin)
        throw DeviceError({.kind = DeviceFailure::Kind::V4l2SourceUnlinked});
    return bin;
}

ElementPtr createV4l2SourceElement(const std::string& path, const V4l2FormatChoice& choice, bool virtualCamera)
{
    if (!gst_is_initialized())
        gst_init(nullptr, nullptr);
    if (virtualCamera && isRaw(choice) && !choice.fields.interlaced())
        return createVirtualCameraSource(path, choice);

    ElementPtr bin(gst_bin_new(nullptr));
    // A rate the driver did not list is only our guess; pinning it could fail negotiation.
    const CapsPtr caps = capsOf(choice.format, choice.rateListed);
    // The control's own weave says the fields in the caps it sends, and on each frame, as the
    // caps it is given say them; any other source is asked for the interlacing, and the rest is
    // said after it.
    const bool woven = wovenByTheControl(choice.fields);
    if (isRaw(choice) && choice.fields.interlaced())
        writeFields(caps.get(), choice.fields, woven ? FieldsInCaps::All : FieldsInCaps::Interlacing);
    ElementPtr source = makeSource(path, choice, caps.get());
    ElementPtr filter = makeElement("capsfilter");
    g_object_set(source.get(), "device", path.c_str(), nullptr);
    g_object_set(filter.get(), "caps", caps.get(), nullptr);

    // The bin takes its own reference to each child; the handles drop theirs.
    gst_bin_add(GST_BIN(bin.get()), source.get());
    gst_bin_add(GST_BIN(bin.get()), filter.get());
    if (!gst_element_link(source.get(), filter.get()))
        throw DeviceError({.kind = DeviceFailure::Kind::V4l2SourceUnlinked});

    GstElement* last = filter.get();
    if (isRaw(choice) && !woven)
        last = stateFieldsAfter(GST_BIN(bin.get()), filter.get(), choice.fields);
    if (!last)
        throw DeviceError({.kind = DeviceFailure::Kind::V4l2SourceUnlinked});

    PadPtr target(gst_element_get_static_pad(last, "src"));
    gst_element_add_pad(bin.get(), gst_ghost_pad_new("src", target.get()));
    return bin;
}

}  // namespace capture
