#include "VirtualDevices.h"

#include "Studio.h"
#include "TestPatternCamera.h"
#include "TestPatternTvTuner.h"
#include "TestTone.h"

namespace capture {

VirtualDevices createVirtualDevices()
{
    auto studio = std::make_shared<Studio>();
    VirtualDevices devices;
    devices.camera = std::make_unique<TestPatternCamera>();
    devices.tuner = std::make_unique<TestPatternTvTuner>(studio);
    devices.tone = std::make_unique<TestTone>();
    return devices;
}

}  // namespace capture
