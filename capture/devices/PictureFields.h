#pragma once

#include "TvLines.h"

#include <gst/gst.h>

#include <cstdint>
#include <optional>

namespace capture {

// How a source's pictures were taken: whole or as two fields, how the fields are laid out,
// which was taken first, the TV line system, and how wide the pixels are. Each source
// describes its pictures with it; the caps are written from it and read back into it here.
struct PictureFields {
    // As a driver gives the fields: in one picture line by line (Interleaved), each in a buffer
    // of its own (Alternate), or both in one buffer, one's lines after the other's
    // (Sequential). The graph always gets them interleaved: the others are woven on the way.
    enum class Layout { Progressive, Interleaved, Alternate, Sequential };
    Layout layout = Layout::Progressive;
    bool topFieldFirst = true;
    TvLines lines = TvLines::Unknown;
    PixelAspect aspect{};  // reduced, and small enough for GStreamer's fraction

    bool interlaced() const { return layout != Layout::Progressive; }
    bool operator==(const PictureFields&) const = default;
};

// numerator:denominator reduced; nothing where GStreamer's fraction cannot hold it.
std::optional<PixelAspect> reducedAspect(std::uint64_t numerator, std::uint64_t denominator);

// What of the fields to write into caps: the interlacing alone (what a source that writes the
// rest itself is asked for), the order and the aspect alone (said over such a source's own), or
// all of it.
enum class FieldsInCaps { Interlacing, OrderAndAspect, All };
void writeFields(GstCaps* caps, const PictureFields& fields, FieldsInCaps what = FieldsInCaps::All);

// The fields raw video caps describe (as the graph has them: interleaved). Nothing where the
// caps say interlaced without saying which field first.
std::optional<PictureFields> fieldsInCaps(const GstStructure* format);

// Flags one picture, which must be writable, as interlaced in this field order.
void flagFieldOrder(GstBuffer* picture, bool topFieldFirst);

// Marks every picture that passes the pad as interlaced in this field order. A deinterlacer
// reads each picture's flags, and a source that only guesses the order (v4l2src for a driver
// that leaves it to the standard, a source whose buffers carry no flags) would have it take the
// fields the wrong way round: every moving edge jumps back and forth then.
void markFieldOrder(GstPad* pad, bool topFieldFirst);

// Says the fields after a source that describes them wrongly or not at all (v4l2src copies
// V4L2's y/x aspect as if it were GStreamer's x/y, and guesses the order): the order and the
// aspect over its caps, the order on each picture. Adds to `bin` after `last`; the element the
// pictures leave by is returned. Null when the two cannot be linked.
GstElement* stateFieldsAfter(GstBin* bin, GstElement* last, const PictureFields& fields);

}  // namespace capture
