#include "FailureMessage.h"

#include <cstdio>

namespace capture {

namespace {

std::string what(const PipelineFailure& failure, bool recording)
{
    using Part = PipelineFailure::Part;
    if (failure.diskFull)
        return "The disk is full, so the recording was stopped.";
    switch (failure.part) {
    case Part::VideoSource:
        return "The video device stopped delivering pictures (" + failure.text + ").";
    case Part::AudioSource:
        // A TV preview plays its sound without recording it.
        return "The audio device stopped delivering sound (" + failure.text + ")"
               + (recording ? "; the recording was stopped." : ".");
    case Part::Preview:
        return "The preview stopped (" + failure.text + ").";
    case Part::Recording:
        break;
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
    if (failure.part == PipelineFailure::Part::VideoSource)
        return " Check that the device is connected, then start the preview again.";
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
    const char* device = failure.part == PipelineFailure::Part::AudioSource ? "audio" : "video";
    return std::string("The ") + device + " device could not be started (" + failure.text
           + "). Check that it is connected and not in use by another program.";
}

}  // namespace capture
