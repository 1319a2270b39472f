#include "V4l2MappedSource.h"

#include "V4l2MappedStream.h"
#include "V4l2FrameAssembly.h"
#include "V4l2Formats.h"
#include "V4l2Inputs.h"

#include "capture/devices/GstElements.h"
#include "capture/devices/PictureFields.h"
#include "capture/gst/MediaTime.h"

#include <gst/base/gstpushsrc.h>
#include <gst/video/video.h>

#include <unistd.h>

#include <cerrno>
#include <memory>
#include <mutex>
#include <new>
#include <utility>

namespace capture {
namespace {

struct PollFree {
    void operator()(GstPoll* poll) const { gst_poll_free(poll); }
};

// Everything the element keeps, in C++ types. The streaming thread owns the stream between
// start and stop; unlock() only touches the poll, which is thread-safe.
struct MappedSourceState {
    std::string device;
    bool multiPlanar = false;  // the kernel's multi-planar API; else the single-planar one through libv4l2
    std::uint32_t fourcc = 0;
    std::uint32_t field = V4L2_FIELD_ANY;  // the layout of the fields to ask for
    bool followFeeder = false;  // a virtual camera: let go of it while its program is away
    CapsPtr caps;  // guarded by the object lock: the negotiated caps once streaming
    std::unique_ptr<V4l2MappedStream> stream;
    std::unique_ptr<GstPoll, PollFree> poll{gst_poll_new(TRUE)};
    GstPollFD pollFd = GST_POLL_FD_INIT;
    GstClockTime frameDuration = GST_CLOCK_TIME_NONE;
    std::size_t bufferCount = 0;  // guarded by the object lock: 0 while not streaming
    std::unique_ptr<FrameAssembler> assembler;  // while streaming
};

struct OrvexMappedSrc {
    GstPushSrc parent;
    MappedSourceState* state;
};

struct OrvexMappedSrcClass {
    GstPushSrcClass parent;
};

enum { PropDevice = 1, PropMultiPlanar, PropFourcc, PropField, PropCaps, PropFollowFeeder };

GType orvex_mapped_src_get_type();
G_DEFINE_TYPE(OrvexMappedSrc, orvex_mapped_src, GST_TYPE_PUSH_SRC)

MappedSourceState& stateOf(gpointer self)
{
    return *reinterpret_cast<OrvexMappedSrc*>(self)->state;
}

void orvex_mapped_src_init(OrvexMappedSrc* self)
{
    self->state = new MappedSourceState;
    gst_base_src_set_live(GST_BASE_SRC(self), TRUE);
    gst_base_src_set_format(GST_BASE_SRC(self), GST_FORMAT_TIME);
}

void finalize(GObject* object)
{
    delete reinterpret_cast<OrvexMappedSrc*>(object)->state;
    G_OBJECT_CLASS(orvex_mapped_src_parent_class)->finalize(object);
}

void setProperty(GObject* object, guint id, const GValue* value, GParamSpec* pspec)
{
    MappedSourceState& state = stateOf(object);
    GST_OBJECT_LOCK(object);
    switch (id) {
    case PropDevice: state.device = g_value_get_string(value) ? g_value_get_string(value) : ""; break;
    case PropMultiPlanar: state.multiPlanar = g_value_get_boolean(value); break;
    case PropFourcc: state.fourcc = g_value_get_uint(value); break;
    case PropField: state.field = g_value_get_uint(value); break;
    case PropFollowFeeder: state.followFeeder = g_value_get_boolean(value); break;
    case PropCaps: {
        const GstCaps* caps = gst_value_get_caps(value);
        state.caps = CapsPtr(caps ? gst_caps_copy(caps) : nullptr);
        break;
    }
    default: G_OBJECT_WARN_INVALID_PROPERTY_ID(object, id, pspec); break;
    }
    GST_OBJECT_UNLOCK(object);
}

void getProperty(GObject* object, guint id, GValue* value, GParamSpec* pspec)
{
    MappedSourceState& state = stateOf(object);
    GST_OBJECT_LOCK(object);
    switch (id) {
    case PropDevice: g_value_set_string(value, state.device.c_str()); break;
    case PropMultiPlanar: g_value_set_boolean(value, state.multiPlanar); break;
    case PropFourcc: g_value_set_uint(value, state.fourcc); break;
    case PropField: g_value_set_uint(value, state.field); break;
    case PropFollowFeeder: g_value_set_boolean(value, state.followFeeder); break;
    case PropCaps: gst_value_set_caps(value, state.caps.get()); break;
    default: G_OBJECT_WARN_INVALID_PROPERTY_ID(object, id, pspec); break;
    }
    GST_OBJECT_UNLOCK(object);
}

using Step = V4l2StreamError::Step;

constexpr const char* detailsName = "orvex-v4l2-stream";

// The node, the step and the errno go in the details, for the control to say; the debug text
// carries the errno's own words, which is how the control tells an unplugged device (ENODEV)
// from another failure.
void postFailure(GstBaseSrc* source, Step step, int error)
{
    const std::string device = stateOf(source).device;
    const std::string text = device + ": streaming step " + std::to_string(static_cast<int>(step));
    const std::string debug = text + ": " + g_strerror(error) + " (errno " + std::to_string(error) + ")";
    GstStructure* details = gst_structure_new(detailsName, "device", G_TYPE_STRING, device.c_str(), "step", G_TYPE_INT,
                                              static_cast<int>(step), "errno", G_TYPE_INT, error, nullptr);
    gst_element_message_full_with_details(GST_ELEMENT(source), GST_MESSAGE_ERROR, GST_RESOURCE_ERROR,
                                          error == ENODEV ? GST_RESOURCE_ERROR_NOT_FOUND : GST_RESOURCE_ERROR_FAILED,
                                          g_strdup(text.c_str()), g_strdup(debug.c_str()), __FILE__, GST_FUNCTION,
                                          __LINE__, details);
}

struct StreamFailure {
    Step step;
    int error;
};

// Streams the node in the format of these fixed caps: the stream, its frames' assembly and its
// place in the poll. Nothing changes where it fails.
std::optional<StreamFailure> streamIn(GstBaseSrc* source, MappedSourceState& state, CapsPtr caps)
{
    if (!caps || !gst_caps_is_fixed(caps.get()))
        return StreamFailure{Step::NoFixedFormat, EINVAL};
    GstStructure* structure = gst_caps_get_structure(caps.get(), 0);
    int width = 0, height = 0, numerator = 0, denominator = 0;
    gst_structure_get_int(structure, "width", &width);
    gst_structure_get_int(structure, "height", &height);
    gst_structure_get_fraction(structure, "framerate", &numerator, &denominator);
    const bool raw = gst_structure_has_name(structure, "video/x-raw");
    GstVideoInfo info;
    if (raw && !gst_video_info_from_caps(&info, caps.get()))
        return StreamFailure{Step::NoLayout, EINVAL};
    std::unique_ptr<V4l2MappedStream> stream;
    try {
        const auto api = state.multiPlanar ? V4l2MappedStream::Api::MultiPlanar : V4l2MappedStream::Api::SinglePlanar;
        stream = std::make_unique<V4l2MappedStream>(
            state.multiPlanar ? kernelV4l2Io() : systemV4l2Io(), state.device, api, state.fourcc,
            std::uint32_t(width), std::uint32_t(height), v4l2_fract{std::uint32_t(denominator), std::uint32_t(numerator)},
            state.field);
    } catch (const V4l2StreamError& error) {
        return StreamFailure{error.step(), error.error()};
    }

    // The caps say the rate the driver took.
    const v4l2_fract interval = stream->interval();
    GstClockTime frameDuration = GST_CLOCK_TIME_NONE;
    if (interval.numerator && interval.denominator) {
        gst_structure_set(structure, "framerate", GST_TYPE_FRACTION, int(interval.denominator), int(interval.numerator), nullptr);
        frameDuration = frameTime(interval.denominator, interval.numerator);
    } else if (numerator > 0 && denominator > 0) {
        frameDuration = frameTime(numerator, denominator);
    }
    std::unique_ptr<FrameAssembler> assembler;
    try {
        assembler = frameAssemblerFor({.driverField = stream->field(),
                                       .raw = raw ? &info : nullptr,
                                       .topFirst = fieldsInCaps(structure).value_or(PictureFields{}).topFieldFirst,
                                       .frameDuration = frameDuration});
    } catch (const V4l2StreamError& error) {
        return StreamFailure{error.step(), error.error()};
    }
    state.stream = std::move(stream);
    state.assembler = std::move(assembler);
    GST_OBJECT_LOCK(source);
    state.frameDuration = frameDuration;
    state.caps = std::move(caps);
    state.bufferCount = state.stream->bufferCount();
    GST_OBJECT_UNLOCK(source);

    gst_poll_fd_init(&state.pollFd);
    state.pollFd.fd = state.stream->fd();
    gst_poll_add_fd(state.poll.get(), &state.pollFd);
    gst_poll_fd_ctl_read(state.poll.get(), &state.pollFd, TRUE);
    return std::nullopt;
}

void letGo(GstBaseSrc* source, MappedSourceState& state)
{
    GST_OBJECT_LOCK(source);
    state.bufferCount = 0;
    GST_OBJECT_UNLOCK(source);
    if (state.stream)
        gst_poll_remove_fd(state.poll.get(), &state.pollFd);
    state.stream.reset();
    state.assembler.reset();
}

gboolean start(GstBaseSrc* source)
{
    MappedSourceState& state = stateOf(source);
    GST_OBJECT_LOCK(source);
    CapsPtr caps(state.caps ? gst_caps_copy(state.caps.get()) : nullptr);
    GST_OBJECT_UNLOCK(source);
    if (const auto failure = streamIn(source, state, std::move(caps))) {
        postFailure(source, failure->step, failure->error);
        return FALSE;
    }
    return TRUE;
}

gboolean stop(GstBaseSrc* source)
{
    letGo(source, stateOf(source));
    return TRUE;
}

// How long a virtual camera may send nothing before it is let go, and how often it is looked at
// again then.
constexpr GstClockTime feederPatience = GST_SECOND;
constexpr GstClockTime feederLook = 100 * GST_MSECOND;

// A virtual camera whose program stopped feeding it. The driver refuses the program a new format
// while anyone reads the node, so it is let go; once a program feeds it again, it is taken in
// that program's format, which the caps then say. Returns once it streams again, or when the
// element is stopped (FLUSHING) or the node went (ERROR, said).
GstFlowReturn awaitFeeder(GstBaseSrc* source, MappedSourceState& state)
{
    letGo(source, state);
    for (;;) {
        // The poll holds no descriptor now: it sleeps, unless the element is unlocked.
        if (gst_poll_wait(state.poll.get(), feederLook) < 0 && errno == EBUSY)
            return GST_FLOW_FLUSHING;
        if (::access(state.device.c_str(), F_OK) != 0) {
            postFailure(source, Step::Gone, ENODEV);
            return GST_FLOW_ERROR;
        }
        const V4l2File node(kernelV4l2Io(), state.device);
        if (!node.isOpen() || !virtualCameraFed(node))
            continue;
        const auto fed = currentFormat(node);
        if (!fed || fed->format.pixelFormat == "MJPG")
            continue;
        GST_OBJECT_LOCK(source);
        state.fourcc = fed->fourcc;
        GST_OBJECT_UNLOCK(source);
        CapsPtr caps = capsOf(fed->format, true);
        if (streamIn(source, state, CapsPtr(gst_caps_copy(caps.get()))))
            continue;  // the program went again meanwhile
        GST_OBJECT_LOCK(source);
        CapsPtr taken(gst_caps_copy(state.caps.get()));
        GST_OBJECT_UNLOCK(source);
        gst_base_src_set_caps(source, taken.get());
        return GST_FLOW_OK;
    }
}

GstCaps* getCaps(GstBaseSrc* source, GstCaps* filter)
{
    MappedSourceState& state = stateOf(source);
    GST_OBJECT_LOCK(source);
    GstCaps* caps = state.caps ? gst_caps_copy(state.caps.get()) : gst_caps_new_any();
    GST_OBJECT_UNLOCK(source);
    if (!filter)
        return caps;
    GstCaps* both = gst_caps_intersect_full(filter, caps, GST_CAPS_INTERSECT_FIRST);
    gst_caps_unref(caps);
    return both;
}

gboolean unlock(GstBaseSrc* source)
{
    gst_poll_set_flushing(stateOf(source).poll.get(), TRUE);
    return TRUE;
}

gboolean unlockStop(GstBaseSrc* source)
{
    gst_poll_set_flushing(stateOf(source).poll.get(), FALSE);
    return TRUE;
}

gboolean query(GstBaseSrc* source, GstQuery* query)
{
    MappedSourceState& state = stateOf(source);
    if (GST_QUERY_TYPE(query) == GST_QUERY_LATENCY) {
        GST_OBJECT_LOCK(source);
        const std::size_t buffers = state.bufferCount;
        const GstClockTime frame = state.frameDuration;
        GST_OBJECT_UNLOCK(source);
        if (buffers > 0 && GST_CLOCK_TIME_IS_VALID(frame)) {
            // A picture is stamped when taken and handed on a frame later at most; the driver
            // holds as many as it has buffers.
            gst_query_set_latency(query, TRUE, frame, frame * buffers);
            return TRUE;
        }
    }
    return GST_BASE_SRC_CLASS(orvex_mapped_src_parent_class)->query(source, query);
}

// The running time at which the driver took the picture: the clock's now, less the picture's
// age where the driver stamped it on the monotonic clock.
GstClockTime captureTime(GstElement* element, const V4l2Picture& picture)
{
    GstClockTime running = runningTimeNow(element);
    if (!GST_CLOCK_TIME_IS_VALID(running))
        return GST_CLOCK_TIME_NONE;
    if (picture.monotonicNs >= 0) {
        const std::int64_t age = g_get_monotonic_time() * 1000 - picture.monotonicNs;
        if (age > 0 && age < std::int64_t(GST_SECOND))
            running = running > GstClockTime(age) ? running - GstClockTime(age) : 0;
    }
    return running;
}

GstFlowReturn create(GstPushSrc* pushSource, GstBuffer** out)
{
    GstBaseSrc* source = GST_BASE_SRC(pushSource);
    MappedSourceState& state = stateOf(source);
    if (!state.stream) {
        // A virtual camera let go of while the element was stopped or flushed.
        if (!state.followFeeder)
            return GST_FLOW_FLUSHING;
        if (const GstFlowReturn resumed = awaitFeeder(source, state); resumed != GST_FLOW_OK)
            return resumed;
    }
    for (;;) {
        const gint ready = gst_poll_wait(state.poll.get(), state.followFeeder ? feederPatience : GST_CLOCK_TIME_NONE);
        if (ready == 0 && state.followFeeder) {
            if (const GstFlowReturn resumed = awaitFeeder(source, state); resumed != GST_FLOW_OK)
                return resumed;
            continue;
        }
        if (ready < 0) {
            if (errno == EBUSY)
                return GST_FLOW_FLUSHING;
            if (errno == EINTR || errno == EAGAIN)
                continue;
            postFailure(source, Step::WaitOn, errno);
            return GST_FLOW_ERROR;
        }
        const bool failed = gst_poll_fd_has_error(state.poll.get(), &state.pollFd);
        AssembledFrame made;
        const int error = state.stream->next([&](const V4l2Picture& picture) {
            // A picture the driver flags is dropped: the gap in the timestamps counts it.
            if (!picture.flaggedBad)
                made = state.assembler->take(picture, captureTime(GST_ELEMENT(source), picture));
        });
        GstBuffer* buffer = made.frame;
        if (error == EAGAIN && !failed)
            continue;
        if (error != 0 && error != EAGAIN) {
            gst_clear_buffer(&buffer);
            postFailure(source, error == ENODEV ? Step::Gone : Step::StoppedDelivering, error);
            return GST_FLOW_ERROR;
        }
        if (error == EAGAIN) {
            postFailure(source, Step::StreamFault, EIO);
            return GST_FLOW_ERROR;
        }
        if (made.failed) {
            postFailure(source, Step::CopyFailed, ENOMEM);
            return GST_FLOW_ERROR;
        }
        if (!buffer)
            continue;
        *out = buffer;
        return GST_FLOW_OK;
    }
}

void orvex_mapped_src_class_init(OrvexMappedSrcClass* klass)
{
    GObjectClass* object = G_OBJECT_CLASS(klass);
    object->finalize = finalize;
    object->set_property = setProperty;
    object->get_property = getProperty;
    const auto flags = GParamFlags(G_PARAM_READWRITE | G_PARAM_STATIC_STRINGS);
    g_object_class_install_property(object, PropDevice,
                                    g_param_spec_string("device", "Device", "The V4L2 node", nullptr, flags));
    g_object_class_install_property(object, PropMultiPlanar,
                                    g_param_spec_boolean("multi-planar", "Multi-planar",
                                                         "Through the kernel's multi-planar API, else through libv4l2",
                                                         FALSE, flags));
    g_object_class_install_property(object, PropFourcc,
                                    g_param_spec_uint("fourcc", "Fourcc", "The V4L2 pixel format", 0, G_MAXUINT32, 0, flags));
    g_object_class_install_property(object, PropField,
                                    g_param_spec_uint("field", "Field", "The V4L2 layout of the fields to ask for", 0,
                                                      G_MAXUINT32, V4L2_FIELD_ANY, flags));
    g_object_class_install_property(object, PropFollowFeeder,
                                    g_param_spec_boolean("follow-feeder", "Follow the feeder",
                                                         "A virtual camera: let go of the node while its program sends nothing, "
                                                         "and take it again in the format the program feeds next",
                                                         FALSE, flags));
    g_object_class_install_property(object, PropCaps,
                                    g_param_spec_boxed("caps", "Caps", "The format to stream", GST_TYPE_CAPS, flags));

    GstElementClass* element = GST_ELEMENT_CLASS(klass);
    gst_element_class_set_static_metadata(element, "Memory-mapped V4L2 source", "Source/Video",
                                          "Captures from a V4L2 node through libv4l2 or the multi-planar API",
                                          "orvex");
    static GstStaticPadTemplate sourceTemplate =
        GST_STATIC_PAD_TEMPLATE("src", GST_PAD_SRC, GST_PAD_ALWAYS, GST_STATIC_CAPS_ANY);
    gst_element_class_add_static_pad_template(element, &sourceTemplate);

    GstBaseSrcClass* base = GST_BASE_SRC_CLASS(klass);
    base->start = start;
    base->stop = stop;
    base->get_caps = getCaps;
    base->unlock = unlock;
    base->unlock_stop = unlockStop;
    base->query = query;
    GST_PUSH_SRC_CLASS(klass)->create = create;
}

}  // namespace

ElementPtr createV4l2MappedSource(const std::string& path, V4l2MappedStream::Api api, std::uint32_t fourcc,
                                  const GstCaps* caps, std::uint32_t field)
{
    const gboolean multiPlanar = api == V4l2MappedStream::Api::MultiPlanar;
    return ElementPtr(GST_ELEMENT(g_object_new(orvex_mapped_src_get_type(), "device", path.c_str(), "multi-planar",
                                               multiPlanar, "fourcc", fourcc, "field", field, "caps", caps, nullptr)));
}

std::optional<DeviceFailure> streamFailureOf(const GstStructure* details)
{
    int step = 0;
    int error = 0;
    if (!details || !gst_structure_has_name(details, detailsName) || !gst_structure_get_int(details, "step", &step)
        || !gst_structure_get_int(details, "errno", &error))
        return std::nullopt;
    const char* device = gst_structure_get_string(details, "device");
    return DeviceFailure{.kind = DeviceFailure::Kind::StreamRefused,
                         .device = device ? device : "",
                         .streamStep = static_cast<Step>(step),
                         .error = error};
}

}  // namespace capture
