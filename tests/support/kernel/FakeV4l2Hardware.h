#pragma once

#include "FakeV4l2Device.h"

namespace capture {

// A USB webcam as the UVC driver presents it: nine picture settings (no colour enable),
// automatic white balance on, YUYV and Motion JPEG at several sizes and rates.
FakeV4l2Hardware fakeUvcCamera(const std::string& card = "USB 2.0 Camera");

// The metadata node a UVC camera adds beside its video node.
FakeV4l2Hardware fakeUvcMetadataNode(const std::string& card = "USB 2.0 Camera");

// An analog TV card: a "Television" tuner input and a "Composite1" input; brightness,
// contrast, hue, saturation and audio mute; every standard; sizes and rates from the standard.
// The tuner takes 44 to 958 MHz in 62.5 kHz units, or in 62.5 Hz units with `lowUnits`.
FakeV4l2Hardware fakeTvCard(bool lowUnits = false);

// The same card behind the multi-planar API only, as many SoC and some PCIe capture drivers are.
FakeV4l2Hardware multiPlanar(FakeV4l2Hardware hardware);

// A control as the kernel's standard controls describe it.
FakeV4l2Hardware::Control fakeControl(std::uint32_t id, const char* name, std::int32_t minimum,
                                      std::int32_t maximum, std::int32_t step, std::int32_t value);
FakeV4l2Hardware::Control fakeBoolean(std::uint32_t id, const char* name, bool value);

}  // namespace capture
