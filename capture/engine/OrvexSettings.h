#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace capture {

// What the puts gave the control, kept until Start applies them. Indexes point into the
// control's catalogues; -1 means there is nothing to choose (no audio device, no encoder).
struct OrvexSettings {
    // Where the chosen device is listed now (devices come and go); -1 once it was unplugged.
    int videoDevice = 0;
    int videoInput = 0;
    int videoFormat = 0;
    int audioDevice = 0;
    // Until an audio device is put, it follows the video device: a TV card's own sound.
    bool audioDeviceChosen = false;
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
    std::optional<double> tvCountryCode;
    std::optional<double> tvChannel;
    bool tvMute = false;
};

}  // namespace capture
