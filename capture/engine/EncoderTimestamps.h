#pragma once

#include <gst/gst.h>

namespace capture {

// Some video encoders (GStreamer 1.22's MPEG-4 from libav among them) put out pictures without
// a usable timestamp. avimux then cannot place them against the sound: it writes sound until
// its queue runs dry, the pictures wait, and the record queue, full, throws them away - a
// recording of a minute kept one second of picture, or none. videorate makes the stream
// constant-rate before the encoder, so a picture without a time is stamped where it falls in
// that rate, counted in running time from the first picture the encoder took, and placed in
// the encoder's own output segment (libav's starts 1000 hours in).
void stampUntimedPictures(GstElement* encoder);

}  // namespace capture
