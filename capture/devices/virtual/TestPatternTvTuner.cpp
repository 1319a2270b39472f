#include "TestPatternTvTuner.h"

#include "BarsPainter.h"
#include "PatternSource.h"
#include "TunerPainter.h"
#include "TvPictureFields.h"

#include "capture/devices/DeviceFailure.h"

#include <utility>

namespace capture {

TestPatternTvTuner::TestPatternTvTuner(std::shared_ptr<Studio> studio)
    : m_controls(std::make_shared<VirtualControls>(tvDecoderProfile())),
      m_tuner(std::make_shared<SimulatedTuner>(std::move(studio)))
{
}

std::string TestPatternTvTuner::name() const
{
    return "Test Pattern TV Tuner";
}

std::vector<std::string> TestPatternTvTuner::inputs()
{
    return {"Television", "Composite"};
}

std::vector<VideoFormat> TestPatternTvTuner::formats(int input)
{
    if (input != Television && input != Composite)
        return {};
    return {
        {"BGRx", 640, 480, 30, 1}, {"BGRx", 720, 576, 25, 1}, {"BGRx", 320, 240, 30, 1},
        {"YUY2", 640, 480, 30, 1}, {"I420", 640, 480, 30, 1},
    };
}

DeviceControls& TestPatternTvTuner::controls()
{
    return *m_controls;
}

Tuner* TestPatternTvTuner::tuner()
{
    return m_tuner.get();
}

ElementPtr TestPatternTvTuner::createSource(int input, const VideoFormat& format)
{
    switch (input) {
    case Television:
        return createPatternSource(name(), format,
                                   std::make_unique<TunerPainter>(format.width, format.height, m_controls, m_tuner,
                                                                  tvPictureFieldsOf(format)),
                                   tvPictureFieldsOf(format));
    case Composite:
        return createPatternSource(name(), format, std::make_unique<BarsPainter>(format.width, format.height, m_controls));
    default:
        throw DeviceError({.kind = DeviceFailure::Kind::NoSuchInput,
                           .device = name(),
                           .builtIn = true,
                           .inputs = {"Television", "Composite"},
                           .number = input});
    }
}

}  // namespace capture
