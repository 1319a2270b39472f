#pragma once

#include "capture/devices/VideoDevice.h"
#include "capture/devices/virtual/VirtualControls.h"
#include "capture/devices/virtual/VirtualDevices.h"
#include "capture/engine/CaptureEngine.h"

#include <string>
#include <vector>

namespace capture::testing {

// A test-pattern camera (videotestsrc) offering the formats it is given. It can stop after a
// number of frames, with an error or an end-of-stream, as devices do when unplugged, or
// misbehave as broken devices do: send JPEG under a raw format's name, or JPEG frames that are
// not pictures.
class PatternCamera : public VideoDevice {
public:
    enum class Behaviour { Live, FailsAfter, EndsAfter, WrongFormat, CorruptJpeg };

    explicit PatternCamera(std::vector<VideoFormat> formats, Behaviour behaviour = Behaviour::Live, int frames = 0);

    std::string name() const override { return "Pattern camera"; }
    std::vector<std::string> inputs() override { return {"Camera"}; }
    std::vector<VideoFormat> formats(int) override { return m_formats; }
    DeviceControls& controls() override { return m_controls; }
    Tuner* tuner() override { return nullptr; }
    ElementPtr createSource(int input, const VideoFormat& format) override;

private:
    std::vector<VideoFormat> m_formats;
    Behaviour m_behaviour;
    int m_frames;
    VirtualControls m_controls{SettingProfile{}};  // none
};

// A live 440 Hz tone, 44.1 kHz stereo.
// A 440 Hz microphone; a failing one stops with an error after its first buffer.
class ToneMicrophone : public AudioDevice {
public:
    explicit ToneMicrophone(bool fails = false) : m_fails(fails) {}
    std::string name() const override { return m_fails ? "Failing microphone" : "Tone"; }
    ElementPtr createSource() override;

private:
    ElementPtr toneSource();
    ElementPtr failingSource();
    bool m_fails;
};

// A 440 Hz tone that loses a quarter of its first two seconds in bursts of 116 ms, as a sound
// card's source does when it overruns: the buffers after a gap carry their true, later times.
class LossyMicrophone : public AudioDevice {
public:
    std::string name() const override { return "Lossy microphone"; }
    ElementPtr createSource() override;
};

// The test tone as a sound card delivers it: a tenth of a second that nobody takes in time is
// lost, as a card's ring buffer overruns (the tone alone would wait and lose nothing).
class CardMicrophone : public AudioDevice {
public:
    std::string name() const override { return "Card microphone"; }
    ElementPtr createSource() override;
};

VideoFormat smallFormat(const char* pixelFormat = "YUY2");

// A small preview of the test camera with the test tone; recording() sends it to a file.
CaptureRequest preview(const VirtualDevices& devices);
CaptureRequest recording(const VirtualDevices& devices, const std::string& fileName);

}  // namespace capture::testing
