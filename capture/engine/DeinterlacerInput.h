#pragma once

#include <gst/gst.h>

namespace capture {

// Every interlaced picture entering the deinterlacer through this pad is replaced by a copy of
// its own, with room to spare after its last line; progressive pictures pass untouched.
//
// The deinterlacer keeps the last few fields as its history. Held in the source's own buffers,
// that history can take every buffer a driver has (four, on many), and then the source waits
// for one back while the deinterlacer waits for the next picture: the view stops. Its line
// loops also read ahead: greedyh in GStreamer 1.22 reads a byte past the last line of a UYVY
// picture, which faults in a driver's mapping that ends at a page boundary. A copy ending in
// padding costs one memcpy a picture and rules out both.
void copyInterlacedPicturesInto(GstPad* deinterlacerInput);

// The field taken first is known from the caps only: the deinterlacer's "fields" is set to it
// as the caps reach the deinterlacer, before it reads them.
void followFieldTakenFirst(GstElement* deinterlace);

}  // namespace capture
