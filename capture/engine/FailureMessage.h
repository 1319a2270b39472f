#pragma once

#include "CaptureEngine.h"
#include "PipelineFailure.h"
#include "capture/v4l2/V4l2Refusal.h"

#include <string>

namespace capture {

// What the user is told after a streaming failure: which part failed and what it said, how
// much of the recording was saved and where, and what to do next.
std::string failureMessage(const PipelineFailure& failure, const CaptureStats& saved, bool recordingClosed);

// What the user is told when Start could not begin: which part failed, and what to do.
std::string startFailureMessage(const PipelineFailure& failure);

// A device's refusal to get ready to stream, as a failure of the video source.
PipelineFailure refusalFailure(const V4l2Refusal& refusal);

// "in use by v4l2-ctl (process 4242)": who streams from a busy device, or that it cannot be told.
std::string holderText(const PipelineFailure& failure);

// What the view says while a preview waits for the program that streams from its device.
std::string heldMessage(const PipelineFailure& failure);

}  // namespace capture
