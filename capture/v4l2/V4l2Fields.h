#pragma once

#include "V4l2File.h"
#include "V4l2Inputs.h"
#include "capture/devices/PictureFields.h"

#include <linux/videodev2.h>

#include <cstdint>

namespace capture {

// The node's TV standard now (VIDIOC_G_STD); 0 where it has none.
std::uint64_t currentStandard(const V4l2File& file);

// The field layout to ask the driver for on this input: an analog input (a tuner, or any
// input with TV standards) sends two fields a frame, so its interlaced layout is asked for;
// what else the driver offers there (one field, or one picture from both) halves the picture
// or its motion. Other inputs leave the choice to the driver.
std::uint32_t fieldRequestFor(const V4l2InputInfo& input);

// What the driver answered for the format it now has (its field and size), with the order of
// the fields from the driver where it says it, else from the TV standard (top first for 625
// lines, bottom first for 525), and the pixel aspect from VIDIOC_CROPCAP (V4L2's y/x) scaled to
// the picture, else the standard's for a 720-wide sampling, else square.
PictureFields fieldsOf(const V4l2File& file, std::uint32_t field, std::uint32_t width, std::uint32_t height);

}  // namespace capture
