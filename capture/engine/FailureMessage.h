#pragma once

#include "CaptureEngine.h"
#include "PipelineFailure.h"
#include "capture/devices/DeviceControls.h"
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

// The graph has nothing to show or to record from.
std::string noVideoDeviceMessage();
std::string noPictureFormatMessage(const std::string& videoDevice);
std::string noPicturesMessage(const std::string& videoDevice);
std::string noSoundMessage(const std::string& audioDevice);
// Why an encoder that takes only some picture sizes (DV) cannot record this one: "it takes
// only pictures of 720x480, 720x576, not 1280x720".
std::string encoderSizesMessage(const std::string& sizes, const std::string& asked);

// The chosen device was unplugged and is chosen still.
std::string lostDeviceMessage(const std::string& videoDevice);
// A catalogue without a single video device, which the built-in ones make impossible.
std::string emptyCatalogueMessage();

// A still picture that could not be written, with the writer's reason.
std::string snapshotMessage(const std::string& file, const std::string& reason, bool folderInTheWay);

// A write that another program kept from the device, shown on the picture for a moment.
enum class HeldWrite { TunerSettings, Channel, Mute, Unmute };
std::string heldTunerMessage(HeldWrite what);
std::string heldSettingMessage(const std::string& setting);

// Why the device refused a control's write, beside that control on the page.
std::string controlRefusal(ControlWrite result);

// A station scan that failed without saying why.
std::string unknownScanFailure();

// "in use by v4l2-ctl (process 4242)": who streams from a busy device, or that it cannot be told.
std::string holderText(const PipelineFailure& failure);

// What the view says while a preview waits for the program that streams from its device.
std::string heldMessage(const PipelineFailure& failure);
// What the view says while a preview waits for a program to feed its virtual camera.
std::string unfedMessage(const PipelineFailure& failure);

}  // namespace capture
