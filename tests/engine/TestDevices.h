#pragma once

#include "capture/devices/CameraSettings.h"
#include "capture/devices/VideoDevice.h"

#include <string>
#include <vector>

namespace capture::testing {

// A live test-pattern camera (videotestsrc) offering the formats it is given. failAfter > 0
// makes the source fail after that many frames, as a device that is unplugged does.
class PatternCamera : public VideoDevice {
public:
    explicit PatternCamera(std::vector<VideoFormat> formats, int failAfter = 0);

    std::string name() const override { return "Pattern camera"; }
    std::vector<std::string> inputs() override { return {"Camera"}; }
    std::vector<VideoFormat> formats(int) override { return m_formats; }
    CameraSettings& settings() override { return m_settings; }
    Tuner* tuner() override { return nullptr; }
    ElementPtr createSource(int input, const VideoFormat& format) override;

private:
    class NoSettings : public CameraSettings {
    public:
        SettingRange range(Member) override { return {}; }
        SettingWrite set(Member, std::int32_t) override { return SettingWrite::Unsupported; }
    };

    std::vector<VideoFormat> m_formats;
    int m_failAfter;
    NoSettings m_settings;
};

// A live 440 Hz tone, 44.1 kHz stereo.
class ToneMicrophone : public AudioDevice {
public:
    std::string name() const override { return "Tone"; }
    ElementPtr createSource() override;
};

VideoFormat smallFormat(const char* pixelFormat = "YUY2");

}  // namespace capture::testing
