#pragma once

#include "CaptureEngine.h"
#include "PipelineFailure.h"
#include "capture/devices/DeviceFailure.h"

#include <string>

namespace capture {

// The catalogue of what the user is told when something fails: every sentence is made here,
// through QCoreApplication::translate, one function for each kind of failure.

// After a streaming failure: which part failed and what it said, how much of the recording
// was saved and where, and what to do next.
std::string failureMessage(const PipelineFailure& failure, const CaptureStats& saved, bool recordingClosed);

// When Start could not begin: which part failed, and what to do.
std::string startFailureMessage(const PipelineFailure& failure);

// What a device refused, and what to do.
std::string deviceFailureMessage(const DeviceFailure& failure);

// A caught error's words for the user: a device's refusal from the catalogue, any other
// error's own text.
std::string messageOf(const CaptureError& error);

// A TV picture shown without its sound, which could not be played for `reason`.
std::string soundRefusedMessage(const std::string& audioDevice, const std::string& reason);

}  // namespace capture
