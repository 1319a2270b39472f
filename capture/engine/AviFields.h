#pragma once

#include <cstddef>
#include <cstdint>

namespace capture {

// How the pictures of a recording were taken: whole, or as two fields a frame, and which of
// them first.
enum class RecordedFields { Whole, TopFirst, BottomFirst };

// Makes the video properties header ("vprp", OpenDML 1.02) of the first video stream in an AVI
// header say two fields a frame, described in the order they were taken: each field is half
// the frame's lines, and its VideoYValidStartLine is the frame line it starts on (0 for the
// top field, 1 for the bottom one). The frame aspect the muxer wrote stays; where it wrote no
// header (square pixels), one is added with the frame's own aspect.
//
// The header keeps its size: the room comes from the chunk the muxer puts right after, its
// OpenDML super index or the JUNK that holds the super index's place, which gives up the bytes
// at its end. That is done only where those bytes are unused (JUNK, or index entries beyond
// those in use, all zero); otherwise, or for anything else that is not as expected, the header
// is left exactly as it was and false is returned.
//
// header holds the file's first size bytes as the muxer writes them (up to the "movi" list).
bool describeFields(std::uint8_t* header, std::size_t size, RecordedFields fields);

}  // namespace capture
