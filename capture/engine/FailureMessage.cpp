#include "FailureMessage.h"

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

std::string advice(const PipelineFailure& failure)
{
    if (failure.diskFull)
        return " Free some space or choose another disk, then record again.";
    if (failure.deviceGone)
        return " Connect it again and choose it in the device list, or choose another device.";
    switch (failure.part) {
    case Part::VideoSource:
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

std::string startFailureMessage(const PipelineFailure& failure)
{
    std::string message = "Capture could not start: " + culprit(failure) + " failed (" + failure.text + ").";
    if (failure.notNegotiated && (failure.part == Part::VideoSource || failure.part == Part::Encoder))
        return message + " The device and the recording could not agree on a picture format: choose another format"
                         " or compressor, then start again.";
    return message + advice(failure);
}

}  // namespace capture
