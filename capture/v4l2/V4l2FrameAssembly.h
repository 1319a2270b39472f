#pragma once

#include "V4l2MappedStream.h"

#include <gst/video/video.h>

#include <cstdint>
#include <memory>

namespace capture {

// What one picture from the driver made.
struct AssembledFrame {
    GstBuffer* frame = nullptr;  // a whole frame, stamped; the caller's to own
    bool failed = false;         // memory could not be had: the stream cannot go on
};

// Makes the frames a stream sends from the pictures the driver gives, one way per layout of
// the pictures, chosen when the stream starts.
class FrameAssembler {
public:
    virtual ~FrameAssembler() = default;
    // One picture, taken at `takenAt` (running time). No frame and no failure when the picture
    // only begins a frame (a first field, held) or cannot be used (too short, a field whose
    // partner was lost): the gap in the timestamps counts it.
    virtual AssembledFrame take(const V4l2Picture& picture, GstClockTime takenAt) = 0;
};

// The pictures' layout, as the stream took it.
struct PictureLayout {
    std::uint32_t driverField = V4L2_FIELD_NONE;  // enum v4l2_field
    const GstVideoInfo* raw = nullptr;            // the frame's layout; null for compressed pictures
    bool topFirst = true;                         // which field of alternate fields begins a frame
    GstClockTime frameDuration = GST_CLOCK_TIME_NONE;
};

// Compressed pictures go on as sent; raw ones are copied into the frame's layout; fields stored
// one after the other in one buffer are woven as they are copied (packed formats only); fields
// in buffers of their own are woven in pairs. A layout that cannot be made into frames throws
// V4l2StreamError (FieldsApart, FieldsInTurn).
std::unique_ptr<FrameAssembler> frameAssemblerFor(const PictureLayout& layout);

}  // namespace capture
