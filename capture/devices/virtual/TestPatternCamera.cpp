#include "TestPatternCamera.h"

#include "BarsPainter.h"
#include "PatternSource.h"

#include "capture/devices/DeviceFailure.h"

namespace capture {

TestPatternCamera::TestPatternCamera() : m_controls(std::make_shared<VirtualControls>(webcamProfile())) {}

std::string TestPatternCamera::name() const
{
    return "Test Pattern Camera";
}

std::vector<std::string> TestPatternCamera::inputs()
{
    return {"Camera"};
}

std::vector<VideoFormat> TestPatternCamera::formats(int input)
{
    if (input != 0)
        return {};
    return {
        {"BGRx", 640, 480, 30, 1},  {"BGRx", 1280, 720, 30, 1}, {"BGRx", 320, 240, 30, 1},
        {"YUY2", 640, 480, 30, 1},  {"I420", 640, 480, 30, 1},
    };
}

DeviceControls& TestPatternCamera::controls()
{
    return *m_controls;
}

Tuner* TestPatternCamera::tuner()
{
    return nullptr;
}

ElementPtr TestPatternCamera::createSource(int input, const VideoFormat& format)
{
    if (input != 0)
        throw DeviceError({.kind = DeviceFailure::Kind::NoSuchInput, .device = name(), .builtIn = true, .inputs = {"Camera"}, .number = input});
    return createPatternSource(name(), format, std::make_unique<BarsPainter>(format.width, format.height, m_controls));
}

}  // namespace capture
