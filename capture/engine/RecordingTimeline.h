#pragma once

#include "GraphBuilder.h"

#include <gst/gst.h>

#include <memory>

namespace capture {

class PictureHold;
class RecordingEnd;
struct RunState;

// A recording's timeline, attached in one place once the graph is built: both streams begin
// at the first recorded picture (RecordingStart), the picture is held through a stall
// (PictureHold), what is taken after the stop is dropped, and each branch ends at the moment
// of the stop (RecordingEnd). Owned by the run, which outlives the pads it watches.
class RecordingTimeline {
public:
    RecordingTimeline(GstElement* pipeline, const GraphLayout& layout, RunState& run);
    ~RecordingTimeline();

    RecordingTimeline(const RecordingTimeline&) = delete;
    RecordingTimeline& operator=(const RecordingTimeline&) = delete;

    // The recording stops at this running time (none when the graph has no time yet): no more
    // pictures are held, and each branch is told where to end. Call before end-of-stream
    // enters the branches.
    void stop(GstClockTime runningTime);

private:
    std::unique_ptr<PictureHold> m_hold;  // while the picture is recorded
    std::shared_ptr<RecordingEnd> m_end;
};

}  // namespace capture
