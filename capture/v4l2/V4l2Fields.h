#pragma once

#include "V4l2File.h"
#include "V4l2Inputs.h"
#include "capture/devices/TvLines.h"

#include <linux/videodev2.h>

#include <gst/gst.h>

#include <cstdint>

namespace capture {

// How the lines of a picture were taken and how wide its pixels are, as the driver says.
struct V4l2Fields {
    // Alternate: each field in a buffer of its own; Sequential: both in one buffer, the lines
    // of one field after those of the other (V4L2_FIELD_SEQ_TB, _SEQ_BT).
    enum class Layout { Progressive, Interleaved, Alternate, Sequential };
    Layout layout = Layout::Progressive;
    bool topFieldFirst = true;
    // The driver's answer (enum v4l2_field), which the stream asks for again as it starts.
    std::uint32_t driverField = V4L2_FIELD_ANY;
    // GStreamer's x/y: the width of a pixel over its height.
    int aspectNumerator = 1;
    int aspectDenominator = 1;
};

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
V4l2Fields fieldsOf(const V4l2File& file, std::uint32_t field, std::uint32_t width, std::uint32_t height);

// Sets interlace-mode on raw video caps as the graph gets the pictures: alternate and sequential
// fields come woven into frames, so every interlaced layout is "interleaved". The order of the
// fields and the pixel aspect are set apart (setFieldOrderAndAspect), as v4l2src puts V4L2's
// fraction into its own caps unchanged.
void setInterlacing(GstCaps* caps, const V4l2Fields& fields);
void setFieldOrderAndAspect(GstCaps* caps, const V4l2Fields& fields);

}  // namespace capture
