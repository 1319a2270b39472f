#pragma once

#include "VideoDevice.h"

namespace capture {

// An audio source that the GStreamer device monitor found.
class GstAudioDevice : public AudioDevice {
public:
    explicit GstAudioDevice(GstHandle<GstDevice> device);

    std::string name() const override { return m_name; }
    ElementPtr createSource() override;

private:
    GstHandle<GstDevice> m_device;
    std::string m_name;
};

}  // namespace capture
