#include "Member.h"

namespace capture {

std::string_view memberName(Member member)
{
    switch (member) {
    case Member::VideoDevice: return "VideoDevice";
    case Member::VideoFormat: return "VideoFormat";
    case Member::VideoDevices: return "VideoDevices";
    case Member::VideoFormats: return "VideoFormats";
    case Member::VideoCompressors: return "VideoCompressors";
    case Member::CaptureToFile: return "CaptureToFile";
    case Member::CaptureFileName: return "CaptureFileName";
    case Member::Brightness: return "Brightness";
    case Member::Contrast: return "Contrast";
    case Member::Hue: return "Hue";
    case Member::Saturation: return "Saturation";
    case Member::Sharpness: return "Sharpness";
    case Member::Gamma: return "Gamma";
    case Member::ColorEnable: return "ColorEnable";
    case Member::WhiteBalance: return "WhiteBalance";
    case Member::BacklightCompensation: return "BacklightCompensation";
    case Member::Gain: return "Gain";
    case Member::AudioDevices: return "AudioDevices";
    case Member::AudioDevice: return "AudioDevice";
    case Member::CaptureAudio: return "CaptureAudio";
    case Member::VideoCompressor: return "VideoCompressor";
    case Member::AudioCompressor: return "AudioCompressor";
    case Member::UseVideoCompressor: return "UseVideoCompressor";
    case Member::UseAudioCompressor: return "UseAudioCompressor";
    case Member::AudioCompressors: return "AudioCompressors";
    case Member::ShowPreview: return "ShowPreview";
    case Member::CaptureVideo: return "CaptureVideo";
    case Member::KeepAspectRatio: return "KeepAspectRatio";
    case Member::BackgroundColor: return "BackgroundColor";
    case Member::TVChannels: return "TVChannels";
    case Member::TVCountryCode: return "TVCountryCode";
    case Member::TVChannel: return "TVChannel";
    case Member::TVMute: return "TVMute";
    case Member::VideoInputs: return "VideoInputs";
    case Member::VideoInput: return "VideoInput";
    case Member::Start: return "Start";
    case Member::Stop: return "Stop";
    case Member::SnapShot: return "SnapShot";
    case Member::ShowPropertyPage: return "ShowPropertyPage";
    case Member::HasTVTuner: return "HasTVTuner";
    }
    return "?";
}

}  // namespace capture
