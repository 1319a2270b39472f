#pragma once

#include "capture/gst/GstHandle.h"

#include <string>
#include <vector>

namespace capture {

// An encoder made for live capture into AVI on a small machine: each encoder the control
// knows gets settings that keep up with the camera and start giving pictures at once, and
// constant quality where it has it, so a still picture costs little. Null when the factory
// is not installed. The settings are only a starting point: the encoder's page shows them as
// its defaults, and what the user sets there goes over them.
ElementPtr makeLiveEncoder(const std::string& factory);

struct PictureSize {
    int width = 0;
    int height = 0;
    bool operator==(const PictureSize&) const = default;
};

// The picture sizes a video encoder takes where it takes only some (DV, H.263), as its input
// says, in its order, less those whose output the AVI muxer refuses (DV's high-definition ones);
// empty where it takes any, or is not installed.
std::vector<PictureSize> sizesTakenBy(const std::string& factory);

// Raw pictures of one size, their rate and pixel shape left open. Before such an encoder, behind
// a videorate and a videoscale, it keeps the recording's size and lets the encoder have its own
// rate and pixel shape (DV: 30000/1001 a second and 8:9 pixels at 720x480); the picture keeps
// its proportions, with borders where the pixel shapes differ.
CapsPtr pictureSizeCaps(PictureSize size);

// "720x576, 720x480".
std::string sizesText(const std::vector<PictureSize>& sizes);

}  // namespace capture
