#pragma once

#include "CaptureEngine.h"
#include "CapturePipeline.h"

#include <string>

namespace capture {

// What the user is told after a streaming failure: what happened, how much of the recording
// was saved and where, and what to do next.
std::string failureMessage(const PipelineFailure& failure, const CaptureStats& saved, bool recordingClosed);

// What Start raises when a device cannot be started.
std::string startFailureMessage(const PipelineFailure& failure);

}  // namespace capture
