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

// A device's refusal to get ready to stream, as a failure of the video source.
PipelineFailure refusalFailure(const DeviceFailure& refusal);

// "in use by v4l2-ctl (process 4242)": who streams from a busy device, or that it cannot be told.
std::string holderText(const PipelineFailure& failure);

// What the view says while a preview waits for the program that streams from its device.
std::string heldMessage(const PipelineFailure& failure);

}  // namespace capture
