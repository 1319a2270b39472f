#include "EmulatedProfiles.h"

#include "EmulatedPictures.h"
#include "tests/support/kernel/FakeV4l2Hardware.h"

#include <string>

namespace capture::emulated {

const std::initializer_list<double> emulatedStationsMHz = {175.25, 189.25, 210.25, 471.25, 503.25, 567.25};

namespace {

FakeV4l2Hardware::Control menuControl(std::uint32_t id, const char* name, std::int32_t maximum, std::int32_t value,
                                      std::vector<std::string> entries)
{
    auto control = fakeControl(id, name, 0, maximum, 1, value);
    control.type = V4L2_CTRL_TYPE_MENU;
    control.menu = std::move(entries);
    return control;
}

FakeV4l2Hardware webcam(unsigned node)
{
    // What the UVC driver reports for a common USB camera.
    FakeV4l2Hardware hw = fakeUvcCamera("Emulated USB Camera");
    hw.busInfo = "usb-0000:00:14.0-" + std::to_string(node + 1);
    hw.controls.push_back(menuControl(V4L2_CID_EXPOSURE_AUTO, "Auto Exposure", 3, 3,
                                      {"", "Manual Mode", "", "Aperture Priority Mode"}));
    auto exposure = fakeControl(V4L2_CID_EXPOSURE_ABSOLUTE, "Exposure Time, Absolute", 3, 2047, 1, 250);
    exposure.autoId = V4L2_CID_EXPOSURE_AUTO;
    exposure.manualValue = V4L2_EXPOSURE_MANUAL;
    hw.controls.push_back(exposure);
    hw.controls.push_back(fakeBoolean(V4L2_CID_EXPOSURE_AUTO_PRIORITY, "Exposure, Dynamic Framerate", false));
    hw.controls.push_back(fakeBoolean(V4L2_CID_FOCUS_AUTO, "Focus, Automatic Continuous", true));
    auto focus = fakeControl(V4L2_CID_FOCUS_ABSOLUTE, "Focus, Absolute", 0, 250, 5, 0);
    focus.autoId = V4L2_CID_FOCUS_AUTO;
    hw.controls.push_back(focus);
    hw.controls.push_back(fakeControl(V4L2_CID_ZOOM_ABSOLUTE, "Zoom, Absolute", 100, 500, 1, 100));
    hw.controls.push_back(fakeControl(V4L2_CID_PAN_ABSOLUTE, "Pan, Absolute", -36000, 36000, 3600, 0));
    hw.controls.push_back(fakeControl(V4L2_CID_TILT_ABSOLUTE, "Tilt, Absolute", -36000, 36000, 3600, 0));

    const std::vector<v4l2_fract> both{{1, 30}, {1, 15}};
    hw.formats = {{V4L2_PIX_FMT_YUYV, "YUYV 4:2:2", {{640, 480, both}, {1280, 720, both}}, {}},
                  {V4L2_PIX_FMT_MJPEG, "Motion-JPEG", {{1280, 720, {{1, 30}}}, {1920, 1080, {{1, 30}}}}, {}}};
    hw.picture = std::make_shared<CameraPicture>();
    return hw;
}

FakeV4l2Hardware tvCard(unsigned node)
{
    FakeV4l2Hardware hw = fakeTvCard();
    hw.card = "Emulated TV Card";
    hw.busInfo = "PCI:0000:03:" + std::to_string(node) + ".0";
    hw.standards = V4L2_STD_PAL | V4L2_STD_NTSC | V4L2_STD_SECAM;
    for (auto& input : hw.inputs)
        input.standards = hw.standards;
    hw.formats = {{V4L2_PIX_FMT_YUYV, "YUYV 4:2:2", {}, {}}, {V4L2_PIX_FMT_GREY, "8-bit Greyscale", {}, {}}};
    hw.stationsMHz = emulatedStationsMHz;
    hw.audioInputs = {"Tuner", "Line In"};
    // What a PCI capture card's decoder and audio chip add to the picture settings and mute.
    hw.controls.push_back(fakeBoolean(V4L2_CID_CHROMA_AGC, "Chroma AGC", true));
    hw.controls.push_back(fakeControl(V4L2_CID_AUDIO_BALANCE, "Balance", 0, 127, 1, 64));
    hw.controls.push_back(fakeControl(V4L2_CID_AUDIO_BASS, "Bass", 0, 65535, 1, 32768));
    hw.controls.push_back(fakeControl(V4L2_CID_AUDIO_TREBLE, "Treble", 0, 65535, 1, 32768));
    hw.controls.push_back(fakeBoolean(V4L2_CID_AUDIO_LOUDNESS, "Loudness", false));
    hw.picture = std::make_shared<TvPicture>();
    return hw;
}

FakeV4l2Hardware bayerCamera(unsigned node)
{
    FakeV4l2Hardware hw;
    hw.driver = "gspca_emulated";
    hw.card = "Emulated Bayer Camera";
    hw.busInfo = "usb-0000:00:1d.0-" + std::to_string(node + 1);
    hw.deviceCaps = V4L2_CAP_VIDEO_CAPTURE | V4L2_CAP_STREAMING | V4L2_CAP_READWRITE;
    hw.inputs = {{"gspca_emulated", V4L2_INPUT_TYPE_CAMERA, 0, 0, {}}};
    hw.controls.push_back(fakeControl(V4L2_CID_BRIGHTNESS, "Brightness", 0, 255, 1, 128));
    hw.controls.push_back(fakeControl(V4L2_CID_CONTRAST, "Contrast", 0, 255, 1, 128));
    hw.formats = {{V4L2_PIX_FMT_SGRBG8, "8-bit Bayer GRGR/BGBG", {{640, 480, {{1, 30}, {1, 15}}}}, {}}};
    hw.picture = std::make_shared<CameraPicture>();
    return hw;
}

}  // namespace

std::optional<FakeV4l2Hardware> emulatedHardware(std::string_view profile, unsigned node)
{
    if (profile == "webcam")
        return webcam(node);
    if (profile == "tvcard")
        return tvCard(node);
    if (profile == "tvcard-fields") {
        FakeV4l2Hardware fields = tvCard(node);
        fields.interlacedField = V4L2_FIELD_ALTERNATE;
        return fields;
    }
    if (profile == "tvcard-seq") {
        FakeV4l2Hardware fields = tvCard(node);
        fields.interlacedField = V4L2_FIELD_SEQ_TB;
        return fields;
    }
    if (profile == "bayer")
        return bayerCamera(node);
    return std::nullopt;
}

}  // namespace capture::emulated
