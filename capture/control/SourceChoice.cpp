#include "SourceChoice.h"

#include "capture/contract/CaptureError.h"
#include "capture/engine/FailureMessage.h"

#include <algorithm>

namespace capture {

namespace {

template <typename List>
bool holds(const List& list, int index)
{
    return index >= 0 && index < static_cast<int>(list.size());
}

}  // namespace

SourceChoice::SourceChoice(DeviceCatalogue& devices, const KeptCameras& keptCameras)
    : m_devices(devices), m_keptCameras(keptCameras)
{
    if (m_devices.videoCount() == 0)
        throw CaptureError(emptyCatalogueMessage());
    take(m_devices.video(0));
    followDevice();
}

// The device on its default input and format, or on the ones it keeps, with its kept controls.
void SourceChoice::take(VideoDevice& device)
{
    m_device = &device;
    m_kept = std::make_unique<KeptCamera>(device.controls(), m_keptCameras, device.identity(), device.name());
    m_settings = std::make_unique<CameraSettings>(*m_kept);
    m_input = defaultInput();
    m_format.reset();
    const std::optional<KeptSettings> kept = m_kept->keptSource();
    Tuner* tuner = m_device->tuner();
    if (tuner && (m_countryCode || (kept && kept->countryCode)))
        tuner->setCountryCode(m_countryCode ? *m_countryCode : *kept->countryCode);
    if (kept && kept->input && holds(inputs(), *kept->input))
        m_input = *kept->input;
    if (kept && kept->format) {
        m_format = kept->format;
        keepFormatIfOffered();
    }
    m_kept->apply();
    noteSource();
}

// What the camera would keep of its source, were keeping on.
void SourceChoice::noteSource()
{
    const bool tuner = m_device->tuner() != nullptr;
    m_kept->useSource(m_input, tuner ? m_countryCode : std::nullopt, m_format);
}

std::string SourceChoice::deviceName() const
{
    return m_deviceIndex >= 0 ? m_devices.videoName(m_deviceIndex) : m_device->name();
}

std::string SourceChoice::inputName() const
{
    const auto names = inputs();
    return holds(names, m_input) ? names[static_cast<std::size_t>(m_input)] : std::string();
}

std::optional<VideoFormat> SourceChoice::format() const
{
    if (m_format)
        return m_format;
    const auto offered = formats();
    return offered.empty() ? std::nullopt : std::optional<VideoFormat>(offered.front());
}

bool SourceChoice::chooseDevice(int index)
{
    VideoDevice& chosen = m_devices.video(index);
    if (&chosen == m_device)
        return false;
    m_deviceIndex = index;
    take(chosen);
    m_lost.reset();
    followDevice();
    return true;
}

void SourceChoice::chooseInput(int index)
{
    m_input = index;
    keepFormatIfOffered();
    noteSource();
}

void SourceChoice::chooseFormat(int index)
{
    m_format = formats().at(static_cast<std::size_t>(index));
    noteSource();
}

void SourceChoice::chooseAudioDevice(int index)
{
    m_audioDevice = index;
    m_audioChosen = true;
}

void SourceChoice::setCountryCode(double code)
{
    m_countryCode = code;
    if (Tuner* tuner = m_device->tuner()) {
        tuner->setCountryCode(code);
        keepFormatIfOffered();
        noteSource();
    }
}

void SourceChoice::devicesChanged(std::vector<std::unique_ptr<VideoDevice>> gone)
{
    for (auto& device : gone)
        if (device.get() == m_device)
            m_lost = std::move(device);
    m_deviceIndex = m_devices.indexOf(*m_device);
}

// A TV card starts on its tuner, wherever the card lists it; other devices on their first input.
int SourceChoice::defaultInput() const
{
    const Tuner* tuner = m_device->tuner();
    const std::optional<int> tunerInput = tuner ? tuner->input() : std::nullopt;
    return tunerInput && holds(inputs(), *tunerInput) ? *tunerInput : 0;
}

// So that a program that never chooses sound records a TV card's own, not a microphone.
void SourceChoice::followDevice()
{
    if (m_audioChosen)
        return;
    if (m_devices.audioCount() == 0)
        m_audioDevice = -1;
    else
        m_audioDevice = m_devices.ownSound(m_deviceIndex).value_or(0);
}

// A format the input or standard no longer offers would only fail at the next start.
void SourceChoice::keepFormatIfOffered()
{
    if (!m_format)
        return;
    const auto offered = formats();
    if (std::find(offered.begin(), offered.end(), *m_format) == offered.end())
        m_format.reset();
}

}  // namespace capture
