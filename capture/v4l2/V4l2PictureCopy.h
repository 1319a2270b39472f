#pragma once

#include <gst/video/video.h>

#include <cstddef>
#include <cstdint>

namespace capture {

// Copies a raw picture as a V4L2 driver lays it out in one buffer (the planes one after the
// other, bytesPerLine for the first plane's lines and the others' scaled as the format scales
// its components) into the frame's own layout. False, leaving the frame unfinished, when the
// picture holds fewer bytes than the frame needs.
bool copyPicture(const std::uint8_t* data, std::size_t size, std::uint32_t bytesPerLine, GstVideoFrame& frame);

// Copies one field, a picture of half the frame's lines laid out as for copyPicture, onto every
// other line of a frame of layout info in buffer: the top field from the frame's first line on,
// the bottom field onto the lines between. Each plane of a subsampled format is woven alike.
bool copyField(const std::uint8_t* data, std::size_t size, std::uint32_t bytesPerLine, bool bottom,
               const GstVideoInfo& info, GstBuffer* buffer);

// Weaves a frame whose two fields come in one picture, all the lines of one field and then all
// those of the other (V4L2_FIELD_SEQ_TB, _SEQ_BT): the picture's first half onto the lines of
// the bottom field where bottomFirst, else of the top one, its second half onto the others.
// Packed formats only: how a driver stores the fields of a format of several planes is not
// settled, so false for those, as for a picture shorter than the frame.
bool copyFieldsInTurn(const std::uint8_t* data, std::size_t size, std::uint32_t bytesPerLine, bool bottomFirst,
                      const GstVideoInfo& info, GstBuffer* buffer);

}  // namespace capture
