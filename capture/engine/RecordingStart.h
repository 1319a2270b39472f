#pragma once

#include <gst/gst.h>

namespace capture {

// An AVI file keeps no timestamps: each stream begins at its first buffer, so picture and sound
// are in step only if their first buffers hold the same moment. Each record branch would
// otherwise begin with whatever reached it first, a few milliseconds to a buffer's time apart
// from the other. This makes both begin at the first recorded picture's running time: sound
// before it is cut away to the sample, and sound that only begins after it is preceded by
// silence.
//
// soundLeadSamples is how many samples later than its input an encoder's sound begins once
// decoded (an MP3 encoder's delay and its decoder's): that much more of the sound is cut, so
// that what a player hears at the picture's start is what was recorded at that moment.
//
// picturePad and soundPad are the tee pads that feed the record branches, the sound's still in
// the device's raw format. The probes hold their state themselves.
void startRecordingTogether(GstPad* picturePad, GstPad* soundPad, guint soundLeadSamples);

}  // namespace capture
