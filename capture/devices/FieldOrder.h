#pragma once

#include <gst/gst.h>

namespace capture {

// Marks every picture that passes the pad as interlaced in this field order. A deinterlacer
// reads each picture's flags, and a source that only guesses the order (v4l2src for a driver
// that leaves it to the standard, a source whose buffers carry no flags) would have it take the
// fields the wrong way round: every moving edge jumps back and forth then.
void markFieldOrder(GstPad* pad, bool topFieldFirst);

}  // namespace capture
