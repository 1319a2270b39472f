#pragma once

#include "Studio.h"

#include "capture/devices/VideoDevice.h"

#include <memory>

namespace capture {

// "Test Tone": a live 1 kHz sine, silent while the virtual tuner is muted.
class TestTone : public AudioDevice {
public:
    explicit TestTone(std::shared_ptr<const Studio> studio);

    std::string name() const override;
    ElementPtr createSource() override;

private:
    std::shared_ptr<const Studio> m_studio;
};

}  // namespace capture
