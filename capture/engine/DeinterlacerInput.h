#pragma once

#include <gst/gst.h>
#include <gst/video/video.h>

namespace capture {

// Every interlaced picture entering the deinterlacer through this pad is replaced by a copy of
// its own, with room to spare after its last line; progressive pictures pass untouched.
//
// The deinterlacer keeps the last few fields as its history. Held in the source's own buffers,
// that history can take every buffer a driver has (four, on many), and then the source waits
// for one back while the deinterlacer waits for the next picture: the view stops. Its line
// loops also read ahead: greedyh in GStreamer 1.22 reads a byte past the last line of a UYVY picture; in a driver's
// mapping that ends at a page boundary, such a read faults. A copy ending in padding costs one
// memcpy a picture and makes both impossible.
void copyInterlacedPicturesInto(GstPad* deinterlacerInput);

// The bytes left after a copied picture's last line: two of its lines, a page at least.
gsize paddingAfterPicture(const GstVideoInfo& info);

}  // namespace capture
