#include "PipelineFailure.h"

#include <utility>

namespace capture {

PipelineFailure PipelineFailure::at(Part part, std::string text)
{
    PipelineFailure failure;
    failure.part = part;
    failure.text = std::move(text);
    return failure;
}

PipelineFailure PipelineFailure::from(std::string device) &&
{
    element = std::move(device);
    return std::move(*this);
}

const char* partName(PipelineFailure::Part part)
{
    switch (part) {
    case PipelineFailure::Part::VideoSource: return "video source";
    case PipelineFailure::Part::AudioSource: return "audio source";
    case PipelineFailure::Part::Preview: return "preview";
    case PipelineFailure::Part::Encoder: return "encoder";
    case PipelineFailure::Part::File: return "recording file";
    }
    return "graph";
}

std::string culprit(const PipelineFailure& failure)
{
    std::string text = std::string("the ") + partName(failure.part);
    if (!failure.element.empty())
        text += " \"" + failure.element + "\"";
    return text;
}

GraphError::GraphError(PipelineFailure failure)
    : std::runtime_error(culprit(failure) + ": " + failure.text), m_failure(std::move(failure))
{
}

}  // namespace capture
