#include "GraphParts.h"

#include "FailureMessage.h"
#include "capture/gst/GstHandle.h"
#include "capture/v4l2/NodeHolder.h"
#include "capture/v4l2/V4l2File.h"
#include "capture/v4l2/V4l2MappedSource.h"

#include <cerrno>

namespace capture {

void GraphParts::add(GstElement* element, PipelineFailure::Part part, std::string label)
{
    m_members.push_back({element, part, std::move(label)});
}

PipelineFailure GraphParts::failureAt(GstObject* origin) const
{
    PipelineFailure failure;
    for (const Member& member : m_members) {
        if (origin && gst_object_has_as_ancestor(origin, GST_OBJECT(member.element))) {
            failure.part = member.part;
            failure.element = member.label;
            break;
        }
    }
    if (failure.element.empty() && origin) {
        GstObject* element = origin;
        while (element && !GST_IS_ELEMENT(element))
            element = GST_OBJECT_PARENT(element);  // a pad's element
        failure.element = element ? factoryName(GST_ELEMENT(element)) : GST_OBJECT_NAME(origin);
    }
    return failure;
}

namespace {

// An unplugged V4L2 device's node leaves /dev, or stays and refuses every open with ENODEV
// (vivid's "disconnect"), while the errors its source posts then (a buffer that cannot be had,
// a failed poll) do not always carry the errno. Asked on the error path only. Sources that name
// their device otherwise (ALSA's "hw:1,0") are not asked.
std::string nodePath(GstObject* origin)
{
    if (!GST_IS_ELEMENT(origin) || !g_object_class_find_property(G_OBJECT_GET_CLASS(origin), "device"))
        return {};
    gchar* rawPath = nullptr;
    g_object_get(origin, "device", &rawPath, nullptr);
    const GCharPtr path(rawPath);
    return path && path.get()[0] == '/' ? path.get() : std::string();
}

bool deviceNodeGone(GstObject* origin)
{
    const std::string path = nodePath(origin);
    return !path.empty() && isNodeGone(kernelV4l2Io(), path);
}

// What a V4L2 source's node answered, where its error says: v4l2src posts "busy" for a format
// or buffers another open holds, and puts the errno's text in its debug string for a failed
// stream start (ENOSPC: uvcvideo finds no USB bandwidth for the format); the control's own
// source always names the errno.
int sourceDeviceError(const GError* error, const std::string& debug)
{
    const auto says = [&](int code) { return debug.find(g_strerror(code)) != std::string::npos; };
    if ((error && error->domain == GST_RESOURCE_ERROR && error->code == GST_RESOURCE_ERROR_BUSY) || says(EBUSY))
        return EBUSY;
    if (says(ENOSPC))
        return ENOSPC;
    return 0;
}

}  // namespace

PipelineFailure classifyError(GstMessage* message, const GraphParts& parts)
{
    PipelineFailure failure = parts.failureAt(GST_MESSAGE_SRC(message));
    GError* rawError = nullptr;
    gchar* rawDebug = nullptr;
    gst_message_parse_error(message, &rawError, &rawDebug);
    const ErrorPtr error(rawError);
    const GCharPtr debug(rawDebug);

    const GstStructure* details = nullptr;
    gst_message_parse_error_details(message, &details);
    const std::optional<DeviceFailure> refusal = streamFailureOf(details);
    failure.text = refusal ? deviceFailureMessage(*refusal) : error ? error->message : "unknown error";
    failure.debug = debug ? debug.get() : "";
    const bool source = failure.part == PipelineFailure::Part::VideoSource || failure.part == PipelineFailure::Part::AudioSource;
    // v4l2src says "no space left" for a buffer it cannot get from the driver: only a file's
    // writer means the disk.
    failure.diskFull = !source && error && error->domain == GST_RESOURCE_ERROR
                       && error->code == GST_RESOURCE_ERROR_NO_SPACE_LEFT;
    failure.notNegotiated = error && error->domain == GST_CORE_ERROR && error->code == GST_CORE_ERROR_NEGOTIATION;
    gint flow = 0;
    if (details && gst_structure_get_enum(details, "flow-return", GST_TYPE_FLOW_RETURN, &flow))
        failure.notNegotiated = failure.notNegotiated || flow == GST_FLOW_NOT_NEGOTIATED;
    if (g_strrstr(failure.debug.c_str(), "not-negotiated"))
        failure.notNegotiated = true;
    // Where the source put the errno's text in its debug string, ENODEV is what a driver answers
    // once its device is unplugged.
    failure.deviceGone = source
                         && (g_strrstr(failure.debug.c_str(), g_strerror(ENODEV)) || deviceNodeGone(GST_MESSAGE_SRC(message)));
    if (failure.part == PipelineFailure::Part::VideoSource && !failure.deviceGone) {
        failure.deviceError = sourceDeviceError(error.get(), failure.debug);
        if (failure.deviceError == EBUSY)
            if (const std::string path = nodePath(GST_MESSAGE_SRC(message)); !path.empty())
                failure.holder = findNodeHolder(path);
    }
    return failure;
}

std::string factoryName(GstElement* element)
{
    GstElementFactory* factory = gst_element_get_factory(element);
    return factory ? GST_OBJECT_NAME(factory) : GST_OBJECT_NAME(element);
}

}  // namespace capture
