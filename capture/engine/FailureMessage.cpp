#include "FailureMessage.h"

#include "capture/v4l2/V4l2File.h"

#include <cerrno>
#include <cstdio>

namespace capture {

namespace {

using Part = PipelineFailure::Part;

std::string quoted(const std::string& name)
{
    return name.empty() ? std::string() : " \"" + name + "\"";
}

std::string what(const PipelineFailure& failure, bool recording)
{
    if (failure.diskFull)
        return "The disk is full, so the recording was stopped.";
    const std::string who = quoted(failure.element);
    if (failure.deviceGone)
        return std::string(failure.part == Part::VideoSource ? "The video device" : "The audio device") + who
               + " is no longer connected (" + failure.text + ")" + (recording ? "; the recording was stopped." : ".");
    switch (failure.part) {
    case Part::VideoSource:
        return "The video device" + who + " stopped delivering pictures (" + failure.text + ").";
    case Part::AudioSource:
        // A TV preview plays its sound without recording it.
        return "The audio device" + who + " stopped delivering sound (" + failure.text + ")"
               + (recording ? "; the recording was stopped." : ".");
    case Part::Preview:
        return "The preview stopped: its element" + who + " failed (" + failure.text + ").";
    case Part::Encoder:
        return "The recording was stopped: the encoder" + who + " failed (" + failure.text + ").";
    case Part::File:
        return "The recording was stopped: the file" + who + " could not be written (" + failure.text + ").";
    }
    return "The recording was stopped (" + failure.text + ").";
}

std::string saved(const CaptureStats& stats, bool closed)
{
    char text[160];
    std::snprintf(text, sizeof text, " %.1f seconds (%.1f MB) were saved to ", stats.recordedSeconds,
                  static_cast<double>(stats.bytesWritten) / 1e6);
    std::string result = text + ("\"" + stats.fileName + "\"");
    result += closed ? "." : "; the file could not be closed properly, some players may not read all of it.";
    return result;
}

// What to do about what the device answered, where its answer says more than the failure.
std::string deviceAdvice(const PipelineFailure& failure)
{
    switch (failure.deviceError) {
    case EBUSY:
        return " It is " + holderText(failure) + ": close that program and start again.";
    case ENOSPC:
        return " Its USB connection has no room for this format: choose a smaller format or Motion JPEG, or "
               "connect the camera to another USB port, then start again.";
    case EACCES:
    case EPERM:
        return " You are not allowed to use it: ask for access to video devices (the video group).";
    }
    return "";
}

std::string advice(const PipelineFailure& failure)
{
    if (std::string words = deviceAdvice(failure); !words.empty())
        return words;
    if (failure.diskFull)
        return " Free some space or choose another disk, then record again.";
    if (failure.deviceGone)
        return " Connect it again and choose it in the device list, or choose another device.";
    switch (failure.part) {
    case Part::VideoSource:
        if (failure.deviceError != 0)
            return " Choose another device, input or format and start again.";
        [[fallthrough]];
    case Part::AudioSource:
        return " Check that the device is connected and not in use by another program, then start again.";
    case Part::Encoder:
        return failure.notNegotiated ? " Choose another picture format or another compressor, then record again."
                                     : " Choose another compressor, then record again.";
    case Part::File:
        return " Choose another file or folder, then record again.";
    case Part::Preview:
        return " Start the preview again.";
    }
    return "";
}

}  // namespace

std::string failureMessage(const PipelineFailure& failure, const CaptureStats& stats, bool recordingClosed)
{
    std::string message = what(failure, !stats.fileName.empty());
    if (!stats.fileName.empty())
        message += saved(stats, recordingClosed);
    return message + advice(failure);
}

PipelineFailure refusalFailure(const V4l2Refusal& refusal)
{
    std::string step;
    switch (refusal.step()) {
    case V4l2Refusal::Step::SelectInput: step = "it did not switch to the input \"" + refusal.subject() + "\""; break;
    case V4l2Refusal::Step::SetStandard: step = "it did not take the TV standard"; break;
    case V4l2Refusal::Step::SetFormat: step = "it did not take the format \"" + refusal.subject() + "\""; break;
    }
    PipelineFailure failure
        = PipelineFailure::at(Part::VideoSource, step + ": " + errorText(refusal.error())).from(refusal.device());
    failure.deviceError = refusal.error();
    failure.holder = refusal.holder();
    failure.deviceGone = refusal.error() == ENODEV || refusal.error() == ENOENT || refusal.error() == ENXIO;
    return failure;
}

std::string holderText(const PipelineFailure& failure)
{
    if (!failure.holder)
        return "in use by another program, which cannot be told (it may run as another user)";
    return "in use by " + failure.holder->program + " (process " + std::to_string(failure.holder->pid) + ")";
}

std::string heldMessage(const PipelineFailure& failure)
{
    return "The video device" + quoted(failure.element) + " is " + holderText(failure)
           + ". The picture appears as soon as that program lets go of it.";
}

std::string startFailureMessage(const PipelineFailure& failure)
{
    std::string message = "Capture could not start: " + culprit(failure) + " failed (" + failure.text + ").";
    if (failure.notNegotiated && (failure.part == Part::VideoSource || failure.part == Part::Encoder))
        return message + " The device and the recording could not agree on a picture format: choose another format"
                         " or compressor, then start again.";
    return message + advice(failure);
}

}  // namespace capture
