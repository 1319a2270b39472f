#pragma once

#include "EncoderTrialCache.h"
#include "LiveEncoder.h"

#include <string>
#include <vector>

namespace capture {

struct EncoderInfo {
    std::string factory;   // "jpegenc": what the engine builds
    std::string longName;  // "JPEG image encoder": what the control lists
    std::vector<PictureSize> sizes;  // the only picture sizes it takes (DV); empty for any
};

// An encoder the registry has and the control does not offer, and why.
struct EncoderLeftOut {
    std::string factory;
    std::string reason;
};

// The encoders whose output the AVI muxer takes and that recorded the test camera's picture
// or the test tone here in real time (EncoderTrial.h), found in the GStreamer registry and
// listed by their readable names in a stable order. Trials already run are taken from the
// cache; new ones are added to it.
struct EncoderCatalogue {
    std::vector<EncoderInfo> video;
    std::vector<EncoderInfo> audio;
    std::vector<EncoderLeftOut> leftOut;

    static EncoderCatalogue fromRegistry(EncoderTrialCache cache = EncoderTrialCache());
};

}  // namespace capture
