#pragma once

#include "tests/support/kernel/FakeV4l2Device.h"

#include <optional>
#include <string_view>

namespace capture::emulated {

// The emulated cards by profile name, as a node's placeholder file names them:
// "webcam"  "Emulated USB Camera": YUYV 640x480 and 1280x720 at 30 and 15 fps, Motion JPEG
//           1280x720 and 1920x1080 at 30 fps, the usual UVC controls: automatic white balance
//           with the temperature, automatic exposure (manual or aperture priority) with the
//           exposure time, which brightens or darkens the YUYV picture once manual, automatic
//           focus with the focus distance, mains frequency, zoom, pan and tilt;
// "tvcard"  "Emulated TV Card": a tuner input and a composite input, PAL, NTSC and SECAM, YUYV
//           and grey, stations on a few European channels (E5, E7, E10, 21, 25, 33), the
//           decoder's picture settings and chroma AGC, audio mute, volume, balance, bass, treble
//           and loudness;
// "tvcard-fields"  the same card sending each field in a buffer of its own (ALTERNATE), as
//           capture chips without a field interleaver do;
// "tvcard-seq"  the same card storing both fields in one buffer, the top field's lines first
//           (SEQ_TB), which v4l2src refuses;
// "bayer"   "Emulated Bayer Camera": raw GRBG Bayer only, 640x480 at 30 and 15 fps.
// `node` (the N of videoN) tells cards of one profile apart by their bus.
std::optional<FakeV4l2Hardware> emulatedHardware(std::string_view profile, unsigned node);

// The vision carriers (MHz) on which the TV card receives a station.
extern const std::initializer_list<double> emulatedStationsMHz;

}  // namespace capture::emulated
