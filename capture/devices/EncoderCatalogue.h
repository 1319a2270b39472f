#pragma once

#include <string>
#include <vector>

namespace capture {

struct EncoderInfo {
    std::string factory;   // "jpegenc": what the engine builds
    std::string longName;  // "JPEG image encoder": what the control lists
};

// The encoders whose output the AVI muxer takes, found in the GStreamer registry and listed
// by their readable names in a stable order.
struct EncoderCatalogue {
    std::vector<EncoderInfo> video;
    std::vector<EncoderInfo> audio;

    static EncoderCatalogue fromRegistry();
};

}  // namespace capture
