#include "GraphParts.h"

#include "capture/devices/GstHandle.h"

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

PipelineFailure classifyError(GstMessage* message, const GraphParts& parts)
{
    PipelineFailure failure = parts.failureAt(GST_MESSAGE_SRC(message));
    GError* rawError = nullptr;
    gchar* rawDebug = nullptr;
    gst_message_parse_error(message, &rawError, &rawDebug);
    const ErrorPtr error(rawError);
    const GCharPtr debug(rawDebug);

    failure.text = error ? error->message : "unknown error";
    failure.debug = debug ? debug.get() : "";
    failure.diskFull = error && error->domain == GST_RESOURCE_ERROR && error->code == GST_RESOURCE_ERROR_NO_SPACE_LEFT;
    failure.notNegotiated = error && error->domain == GST_CORE_ERROR && error->code == GST_CORE_ERROR_NEGOTIATION;
    const GstStructure* details = nullptr;
    gst_message_parse_error_details(message, &details);
    gint flow = 0;
    if (details && gst_structure_get_enum(details, "flow-return", GST_TYPE_FLOW_RETURN, &flow))
        failure.notNegotiated = failure.notNegotiated || flow == GST_FLOW_NOT_NEGOTIATED;
    if (g_strrstr(failure.debug.c_str(), "not-negotiated"))
        failure.notNegotiated = true;
    return failure;
}

std::string factoryName(GstElement* element)
{
    GstElementFactory* factory = gst_element_get_factory(element);
    return factory ? GST_OBJECT_NAME(factory) : GST_OBJECT_NAME(element);
}

}  // namespace capture
