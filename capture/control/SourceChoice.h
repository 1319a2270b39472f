#pragma once

#include "capture/devices/CameraSettings.h"
#include "capture/devices/DeviceCatalogue.h"
#include "capture/devices/KeptCamera.h"

#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace capture {

// What the control captures from: the video device, its input, the format on that input, the
// TV standard (by the country code) and the sound that goes with the picture. Formats are
// taken as the device offers them for the chosen input now, so the format is kept by value:
// it stays chosen while the input still offers it and falls back to the input's current one
// (the first listed) when an input or standard change drops it. A camera that keeps settings
// gets them when it is chosen: its kept input, standard and format, which the puts that follow
// override, and its controls.
class SourceChoice {
public:
    // The catalogue's first video device on its default input; raises CaptureError when the
    // catalogue has no video device. The catalogue and the kept cameras must outlive the choice.
    SourceChoice(DeviceCatalogue& devices, const KeptCameras& keptCameras);

    VideoDevice& device() const { return *m_device; }
    // The chosen device's controls, with what it keeps.
    KeptCamera& controls() const { return *m_kept; }
    // The chosen device's ten picture settings.
    CameraSettings& settings() const { return *m_settings; }
    // Where the device is listed now; -1 once it was unplugged.
    int deviceIndex() const { return m_deviceIndex; }
    std::string deviceName() const;
    // The chosen device when it was unplugged; it stays chosen until another is.
    const VideoDevice* lostDevice() const { return m_lost.get(); }

    int input() const { return m_input; }
    std::vector<std::string> inputs() const { return m_device->inputs(); }
    std::string inputName() const;
    // The chosen input's formats as the device offers them now; its current one first.
    std::vector<VideoFormat> formats() const { return m_device->formats(m_input); }
    // The chosen one, or the input's current one; nothing when the input offers none.
    std::optional<VideoFormat> format() const;

    std::optional<double> countryCode() const { return m_countryCode; }
    // An index into the catalogue's audio devices; -1 when there is none.
    int audioDevice() const { return m_audioDevice; }

    // False when that device was chosen already (it keeps its input and format).
    bool chooseDevice(int index);
    void chooseInput(int index);
    void chooseFormat(int index);
    void chooseAudioDevice(int index);
    void setCountryCode(double code);

    // The catalogue changed: these devices were taken out of it.
    void devicesChanged(std::vector<std::unique_ptr<VideoDevice>> gone);

private:
    void take(VideoDevice& device);
    void noteSource();
    int defaultInput() const;
    void followDevice();
    void keepFormatIfOffered();

    DeviceCatalogue& m_devices;
    const KeptCameras& m_keptCameras;
    // The chosen device by identity: its index is derived again whenever devices come or go.
    VideoDevice* m_device = nullptr;
    std::unique_ptr<KeptCamera> m_kept;          // over m_device's controls
    std::unique_ptr<CameraSettings> m_settings;  // over m_kept
    std::unique_ptr<VideoDevice> m_lost;
    int m_deviceIndex = 0;
    int m_input = 0;
    std::optional<VideoFormat> m_format;  // nothing: the input's current one
    std::optional<double> m_countryCode;  // kept for a device without a tuner, given to one chosen later
    int m_audioDevice = -1;
    // Until an audio device is chosen, the sound follows the video device: a TV card's own.
    bool m_audioChosen = false;
};

}  // namespace capture
