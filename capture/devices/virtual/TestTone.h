#pragma once

#include "capture/devices/VideoDevice.h"

namespace capture {

// "Test Tone": a live 1 kHz sine with a 3 kHz beep at each sync mark (SyncMark.h), the sound of the "Test Pattern TV Tuner". Muting the tuner
// silences what is played, not the tone: a recording keeps the sound, as a VCR's would.
class TestTone : public AudioDevice {
public:
    std::string name() const override;
    ElementPtr createSource() override;
    std::string physicalDevice() const override;
};

}  // namespace capture
