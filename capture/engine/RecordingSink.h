#pragma once

#include "capture/gst/GstHandle.h"

#include <functional>

namespace capture {

class RecordingWriter;

// A sink element that hands the muxer's output to a RecordingWriter: it follows the muxer's
// seeks (the header is rewritten at the end), tells when end-of-stream has arrived, and turns
// a full disk or a failed write into an error message on the bus instead of a flow error, so
// that nothing upstream stops: the preview goes on while the recording is closed. It also
// makes the muxer write pictures as soon as it has them (see start() in the source), so that
// what is in the file lags what was captured by no more than what is in flight.
//
// onEndOfStream is called on the streaming thread; writer must outlive the element's run.
ElementPtr createRecordingSink(RecordingWriter& writer, std::function<void()> onEndOfStream);

// The pictures that reach the recording pass pictures as the source sent them (before any
// encoder): where their caps say two fields a frame in a known order, the file's header says
// so too (describeFields).
void describeFieldsOf(GstElement* recordingSink, GstPad* pictures);

}  // namespace capture
