#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace capture {

// What the puts gave the control, kept until Start applies them. Indexes point into the
// control's catalogues; -1 means there is nothing to choose (no audio device, no encoder).
struct OrvexSettings {
    // The device, input, format, standard and sound are kept by SourceChoice.
    int videoCompressor = 0;
    int audioCompressor = 0;

    bool useVideoCompressor = false;
    bool useAudioCompressor = false;
    bool captureVideo = true;
    bool captureAudio = true;
    bool showPreview = true;
    bool captureToFile = false;
    std::string captureFileName;

    bool keepAspectRatio = true;
    std::uint32_t backgroundColor = 0;  // red in the low byte

    // Kept for a device without a tuner, and given to the tuner of a device chosen later.
    std::optional<double> tvChannel;
    bool tvMute = false;
};

}  // namespace capture
