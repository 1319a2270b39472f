#include "DeviceFailure.h"

namespace capture {

namespace {

// For a log: the kind by number and whatever fields are set.
std::string logText(const DeviceFailure& failure)
{
    std::string text = "device failure " + std::to_string(static_cast<int>(failure.kind));
    for (const std::string* field : {&failure.device, &failure.element, &failure.format, &failure.input, &failure.value})
        if (!field->empty())
            text += " \"" + *field + "\"";
    if (failure.error != 0)
        text += " errno " + std::to_string(failure.error);
    return text;
}

}  // namespace

DeviceError::DeviceError(DeviceFailure failure) : CaptureError(logText(failure)), m_failure(std::move(failure)) {}

}  // namespace capture
