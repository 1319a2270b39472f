#pragma once

#include <array>
#include <string_view>

namespace capture {

// Every member of the capture control under its number. The windows, the fake's log and the
// trace all speak in these numbers.
enum class Member : int {
    VideoDevice = 1,
    VideoFormat = 2,
    VideoDevices = 3,
    VideoFormats = 4,
    VideoCompressors = 5,
    CaptureToFile = 6,
    CaptureFileName = 7,
    Brightness = 8,
    Contrast = 9,
    Hue = 10,
    Saturation = 11,
    Sharpness = 12,
    Gamma = 13,
    ColorEnable = 14,
    WhiteBalance = 15,
    BacklightCompensation = 16,
    Gain = 17,
    AudioDevices = 25,
    AudioDevice = 26,
    CaptureAudio = 27,
    VideoCompressor = 28,
    AudioCompressor = 29,
    UseVideoCompressor = 30,
    UseAudioCompressor = 31,
    AudioCompressors = 32,
    ShowPreview = 33,
    CaptureVideo = 34,
    KeepAspectRatio = 35,
    BackgroundColor = 36,
    TVChannels = 37,
    TVCountryCode = 38,
    TVChannel = 39,
    TVMute = 40,
    VideoInputs = 41,
    VideoInput = 42,
    Start = 48,
    Stop = 49,
    SnapShot = 50,
    ShowPropertyPage = 51,
    HasTVTuner = 52,
};

constexpr int number(Member member) { return static_cast<int>(member); }

// The member's name as the control publishes it ("VideoDevices"); "?" for a number it lacks.
std::string_view memberName(Member member);

// Members of the objects the control hands out.
namespace ItemMember {
constexpr int Name = 1;
constexpr int Available = 2;  // channel items only
}  // namespace ItemMember

namespace CollectionMember {
constexpr int IndexOf = 2;
constexpr int ShowItemPropertyPage = 4;  // video compressors only
}  // namespace CollectionMember

// The ten camera settings in the order the camera window sets them up.
constexpr std::array<Member, 10> cameraProperties = {
    Member::Brightness, Member::Contrast,    Member::Hue,          Member::Saturation,
    Member::Sharpness,  Member::Gamma,       Member::ColorEnable,  Member::WhiteBalance,
    Member::BacklightCompensation, Member::Gain,
};

constexpr bool isCameraProperty(Member member)
{
    return number(member) >= number(Member::Brightness) && number(member) <= number(Member::Gain);
}

constexpr bool isCollection(Member member)
{
    switch (member) {
    case Member::VideoDevices:
    case Member::VideoFormats:
    case Member::VideoCompressors:
    case Member::AudioDevices:
    case Member::AudioCompressors:
    case Member::TVChannels:
    case Member::VideoInputs:
        return true;
    default:
        return false;
    }
}

}  // namespace capture
