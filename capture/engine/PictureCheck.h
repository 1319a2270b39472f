#pragma once

#include "PipelineFailure.h"

#include <gst/gst.h>

#include <cstddef>
#include <cstdint>
#include <string>

namespace capture {

struct RunState;

// Whether a Motion JPEG frame is a whole picture: it begins with a start-of-image marker,
// its header segments up to the scan are well formed and include a frame header, and it ends
// with an end-of-image marker (zero bytes after it, which some cameras pad with, are allowed).
// A frame cut short by a lost USB packet, or bytes that are no picture, fail.
bool wholeJpeg(const std::uint8_t* data, std::size_t size);

// The video source's frames: one the driver flagged as damaged, or a Motion JPEG frame that is
// not a whole picture, is dropped here (neither shown nor recorded) and counted as broken. A
// device that sends frames but nothing usable for several seconds fails the run. Call after
// watchVideoSource, whose count of captured frames includes the broken ones.
// decodedLater: the preview decodes the frames and says which it could read (countDecoderDrops).
void checkPictures(GstPad* sourcePad, RunState& run, bool jpeg, bool decodedLater);

// The failure of a device whose frames were all broken for the last `seconds`.
PipelineFailure nothingDecodable(const std::string& device, int seconds);

// The preview's Motion JPEG decoder: a frame it takes in and gives nothing for is counted as
// broken, one it gives out is a picture. It never fails the run on its own count of errors.
void countDecoderDrops(GstElement* decoder, RunState& run);

}  // namespace capture
