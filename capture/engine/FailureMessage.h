#pragma once

#include "CaptureEngine.h"
#include "PipelineFailure.h"

#include <string>

namespace capture {

// What the user is told after a streaming failure: which part failed and what it said, how
// much of the recording was saved and where, and what to do next.
std::string failureMessage(const PipelineFailure& failure, const CaptureStats& saved, bool recordingClosed);

// What the user is told when Start could not begin: which part failed, and what to do.
std::string startFailureMessage(const PipelineFailure& failure);

}  // namespace capture
