#include "FakeV4l2Hardware.h"

namespace capture {

FakeV4l2Hardware::Control fakeControl(std::uint32_t id, const char* name, std::int32_t minimum,
                                      std::int32_t maximum, std::int32_t step, std::int32_t value)
{
    FakeV4l2Hardware::Control control;
    control.id = id;
    control.name = name;
    control.minimum = minimum;
    control.maximum = maximum;
    control.step = step;
    control.defaultValue = value;
    control.value = value;
    return control;
}

FakeV4l2Hardware::Control fakeBoolean(std::uint32_t id, const char* name, bool value)
{
    FakeV4l2Hardware::Control control = fakeControl(id, name, 0, 1, 1, value ? 1 : 0);
    control.type = V4L2_CTRL_TYPE_BOOLEAN;
    return control;
}

FakeV4l2Hardware fakeUvcCamera(const std::string& card)
{
    FakeV4l2Hardware hw;
    hw.driver = "uvcvideo";
    hw.privilegedStreaming = true;
    hw.card = card;
    hw.busInfo = "usb-0000:00:14.0-1";
    hw.deviceCaps = V4L2_CAP_VIDEO_CAPTURE | V4L2_CAP_STREAMING | V4L2_CAP_EXT_PIX_FORMAT;
    hw.otherNodeCaps = V4L2_CAP_META_CAPTURE;
    hw.inputs = {{"Camera 1", V4L2_INPUT_TYPE_CAMERA, 0, 0, {}}};

    hw.controls.push_back(fakeControl(V4L2_CID_BRIGHTNESS, "Brightness", -64, 64, 1, 0));
    hw.controls.push_back(fakeControl(V4L2_CID_CONTRAST, "Contrast", 0, 95, 1, 32));
    hw.controls.push_back(fakeControl(V4L2_CID_SATURATION, "Saturation", 0, 100, 1, 64));
    hw.controls.push_back(fakeControl(V4L2_CID_HUE, "Hue", -2000, 2000, 100, 0));
    hw.controls.push_back(fakeBoolean(V4L2_CID_AUTO_WHITE_BALANCE, "White Balance, Automatic", true));
    hw.controls.push_back(fakeControl(V4L2_CID_GAMMA, "Gamma", 100, 500, 1, 300));
    hw.controls.push_back(fakeControl(V4L2_CID_GAIN, "Gain", 0, 100, 8, 0));
    auto powerLine = fakeControl(V4L2_CID_POWER_LINE_FREQUENCY, "Power Line Frequency", 0, 2, 1, 1);
    powerLine.type = V4L2_CTRL_TYPE_MENU;
    powerLine.menu = {"Disabled", "50 Hz", "60 Hz"};
    hw.controls.push_back(powerLine);
    auto temperature = fakeControl(V4L2_CID_WHITE_BALANCE_TEMPERATURE, "White Balance Temperature", 2800, 6500, 10, 4600);
    temperature.autoId = V4L2_CID_AUTO_WHITE_BALANCE;
    hw.controls.push_back(temperature);
    hw.controls.push_back(fakeControl(V4L2_CID_SHARPNESS, "Sharpness", 0, 7, 1, 3));
    hw.controls.push_back(fakeControl(V4L2_CID_BACKLIGHT_COMPENSATION, "Backlight Compensation", 0, 2, 1, 1));

    const std::vector<v4l2_fract> fast{{1, 30}, {1, 15}};
    hw.formats.push_back({V4L2_PIX_FMT_YUYV, "YUYV 4:2:2", {{640, 480, fast}, {320, 240, fast}, {1280, 720, {{1, 10}}}}, {}});
    hw.formats.push_back({V4L2_PIX_FMT_MJPEG, "Motion-JPEG", {{1280, 720, {{1, 30}}}, {1920, 1080, {{1, 30}}}, {640, 480, fast}}, {}});
    return hw;
}

FakeV4l2Hardware multiPlanar(FakeV4l2Hardware hardware)
{
    hardware.deviceCaps = (hardware.deviceCaps & ~std::uint32_t(V4L2_CAP_VIDEO_CAPTURE)) | V4L2_CAP_VIDEO_CAPTURE_MPLANE;
    return hardware;
}

FakeV4l2Hardware fakeUvcMetadataNode(const std::string& card)
{
    FakeV4l2Hardware hw;
    hw.driver = "uvcvideo";
    hw.privilegedStreaming = true;
    hw.card = card;
    hw.busInfo = "usb-0000:00:14.0-1";
    hw.deviceCaps = V4L2_CAP_META_CAPTURE | V4L2_CAP_STREAMING;
    hw.otherNodeCaps = V4L2_CAP_VIDEO_CAPTURE;
    return hw;
}

FakeV4l2Hardware fakeTvCard(bool lowUnits)
{
    FakeV4l2Hardware hw;
    hw.driver = "fake-tv";
    hw.card = "Analog TV Card";
    hw.busInfo = "PCI:0000:03:00.0";
    hw.deviceCaps = V4L2_CAP_VIDEO_CAPTURE | V4L2_CAP_TUNER | V4L2_CAP_AUDIO | V4L2_CAP_READWRITE | V4L2_CAP_STREAMING;
    hw.otherNodeCaps = V4L2_CAP_VBI_CAPTURE;
    hw.standards = V4L2_STD_ALL;
    hw.listsFrameSizes = false;
    hw.inputs = {{"Television", V4L2_INPUT_TYPE_TUNER, 0, V4L2_STD_ALL, {}},
                 {"Composite1", V4L2_INPUT_TYPE_CAMERA, 0, V4L2_STD_ALL, {}}};

    hw.controls.push_back(fakeControl(V4L2_CID_BRIGHTNESS, "Brightness", 0, 255, 1, 128));
    hw.controls.push_back(fakeControl(V4L2_CID_CONTRAST, "Contrast", 0, 127, 1, 68));
    hw.controls.push_back(fakeControl(V4L2_CID_SATURATION, "Saturation", 0, 127, 1, 64));
    hw.controls.push_back(fakeControl(V4L2_CID_HUE, "Hue", -128, 127, 1, 0));
    hw.controls.push_back(fakeBoolean(V4L2_CID_AUDIO_MUTE, "Mute", false));
    hw.controls.push_back(fakeControl(V4L2_CID_AUDIO_VOLUME, "Volume", -15, 0, 1, 0));

    hw.formats.push_back({V4L2_PIX_FMT_YUYV, "YUYV 4:2:2", {}, {}});
    hw.formats.push_back({V4L2_PIX_FMT_UYVY, "UYVY 4:2:2", {}, {}});
    hw.formats.push_back({V4L2_PIX_FMT_GREY, "8-bit Greyscale", {}, {}});

    FakeV4l2Hardware::Tuner tuner;
    tuner.index = 0;
    tuner.name = "Television";
    tuner.capability = V4L2_TUNER_CAP_NORM | V4L2_TUNER_CAP_STEREO | (lowUnits ? V4L2_TUNER_CAP_LOW : 0);
    const std::uint32_t unitsPerMHz = lowUnits ? 16000 : 16;
    tuner.rangeLow = 44 * unitsPerMHz;
    tuner.rangeHigh = 958 * unitsPerMHz;
    tuner.frequency = tuner.rangeLow;
    hw.tuners.push_back(tuner);
    return hw;
}

}  // namespace capture
