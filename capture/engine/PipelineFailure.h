#pragma once

#include "capture/devices/DeviceFailure.h"

#include <optional>
#include <stdexcept>
#include <string>

namespace capture {

// Why a run of the graph failed, in which part, and which device or element said so.
struct PipelineFailure {
    enum class Part { VideoSource, AudioSource, Preview, Encoder, File };
    Part part = Part::VideoSource;
    std::string element;          // the device's name for a source, else the element's factory
    std::string text;             // what the element said
    std::string debug;            // GStreamer's debug text (paths, errno), for the log
    bool notNegotiated = false;   // two elements could not agree on a format
    bool diskFull = false;
    bool deviceGone = false;      // the source's device answered "no such device": unplugged
    // The errno the video device answered where it is known: EBUSY (another program streams
    // from it), ENOSPC at stream start (its USB connection has no room for the format).
    int deviceError = 0;
    std::optional<NodeHolder> holder;  // who streams from a busy device, when that could be told
    bool unfed = false;  // a virtual camera that no program feeds yet

    // A failure of `part` that says `text`; from(...) names the device or element in it.
    static PipelineFailure at(Part part, std::string text);
    PipelineFailure from(std::string device) &&;

    bool endsRecordingOnly() const { return part == Part::AudioSource || part == Part::Encoder || part == Part::File; }
};

// "video source", "encoder"...: how the user is told which part failed.
const char* partName(PipelineFailure::Part part);

// "the encoder \"x264enc\"": the part, and the device or element in it.
std::string culprit(const PipelineFailure& failure);

// The graph for a request cannot be put together: a part cannot be made or linked.
class GraphError : public std::runtime_error {
public:
    explicit GraphError(PipelineFailure failure);
    const PipelineFailure& failure() const { return m_failure; }

private:
    PipelineFailure m_failure;
};

}  // namespace capture
