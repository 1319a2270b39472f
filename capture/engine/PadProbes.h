#pragma once

#include <gst/gst.h>

namespace capture {

struct MuxerInput;
struct RunState;

// What a run watches on its streaming threads. Each probe only counts, drops or signals into
// the run's state; the state must outlive the pads (the pipeline goes first).

// The video source's pictures: counted, with the ones a live source missed; an end-of-stream
// from it means the device went away.
void watchVideoSource(GstPad* sourcePad, RunState& run);

// The audio source: an end-of-stream from it is a lost device.
void watchAudioSource(GstPad* sourcePad, RunState& run);

// Buffers leaving here are dropped once the recording is being closed.
void dropWhenRecordingStops(GstPad* pad, RunState& run);

// A stream's first and last time at the muxer, and the moment it is first fed.
void watchMuxerInput(GstPad* muxerPad, MuxerInput& input);

// A leaky queue that overruns throws the newest frame away: counted as dropped.
void countOverruns(GstElement* queue, RunState& run);

// In an event probe: the format the caps event passing says (their first structure); null for
// any other event.
const GstStructure* formatInCapsEvent(GstPadProbeInfo* info);

}  // namespace capture
