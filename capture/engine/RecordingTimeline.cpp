#include "RecordingTimeline.h"

#include "PadProbes.h"
#include "PictureHold.h"
#include "RecordingEnd.h"
#include "RecordingStart.h"

namespace capture {

RecordingTimeline::RecordingTimeline(GstElement* pipeline, const GraphLayout& layout, RunState& run)
{
    // On the branches' first pads the start is decided before anything is dropped for the stop.
    if (layout.pictureEnd || layout.soundEnd)
        m_end = RecordingEnd::attach(layout.pictureEnd.get(), layout.soundEnd.get());
    if (layout.recordBranch && layout.soundRecordBranch)
        startRecordingTogether(layout.recordBranch.get(), layout.soundRecordBranch.get(), layout.soundLeadSamples);
    if (layout.recordBranch)
        dropWhenRecordingStops(layout.recordBranch.get(), run);
    if (layout.soundRecordBranch)
        dropWhenRecordingStops(layout.soundRecordBranch.get(), run);
    if (layout.recordQueue) {
        PadPtr entry(gst_element_get_static_pad(layout.recordQueue, "sink"));
        m_hold = std::make_unique<PictureHold>(pipeline, entry.get(), GstClockTime(layout.frameDuration));
    }
}

RecordingTimeline::~RecordingTimeline() = default;

void RecordingTimeline::stop(GstClockTime runningTime)
{
    if (m_hold)
        m_hold->stop();
    if (m_end && GST_CLOCK_TIME_IS_VALID(runningTime) && runningTime > 0)
        m_end->stopAt(runningTime);
}

}  // namespace capture
