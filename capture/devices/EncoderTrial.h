#pragma once

#include <gst/gst.h>

#include <string>

namespace capture {

enum class EncoderMedia { Video, Audio };

// What trying an encoder found: whether the control offers it, and if not, why.
struct EncoderTrial {
    bool offered = false;
    std::string reason;  // "it did not take the test picture", "it encoded 9 pictures a second"
};

// Encodes a second of the test camera's picture (1280x720 at 30 a second; an encoder that
// takes only some sizes gets its first) or of the test tone into AVI, with the encoder made as
// a recording makes it. Offered when it gets through, a picture encoder only when a second of
// pictures costs it at most one processor's second: a recording with one that costs more loses
// pictures once anything else runs.
EncoderTrial tryEncoder(const std::string& factory, EncoderMedia media);

// What a trial holds for: the encoder's name and its plugin's version, file, size and time;
// an encoder whose plugin is updated is tried again.
std::string trialKey(GstElementFactory* factory);

}  // namespace capture
