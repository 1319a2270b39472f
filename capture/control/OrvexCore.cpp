#include "OrvexCore.h"

#include "OrvexRange.h"
#include "OrvexValues.h"
#include "Snapshot.h"
#include "ViewNotices.h"
#include "capture/pages/ControlPropertyPage.h"
#include "capture/engine/FailureMessage.h"
#include "capture/pages/EncoderPropertyPage.h"
#include "capture/view/VideoView.h"

#include <algorithm>

namespace capture {

namespace {

std::string name(Member member) { return std::string(memberName(member)); }

}  // namespace

// Marks a call into the control for as long as it runs; a device change that arrives meanwhile
// (from a page's event loop) is applied from the event loop once the outermost call is over,
// so that no call sees the catalogue change under it and a collection just fetched still
// matches the indexes put right after it.
class OrvexCore::Handling {
public:
    explicit Handling(OrvexCore& core) : m_core(core) { ++m_core.m_handling; }
    ~Handling()
    {
        if (--m_core.m_handling == 0 && m_core.m_devicesChanged)
            QTimer::singleShot(0, &m_core.m_context, [core = &m_core] {
                if (core->m_devicesChanged)
                    core->devicesChanged();
            });
    }
    Handling(const Handling&) = delete;
    Handling& operator=(const Handling&) = delete;

private:
    OrvexCore& m_core;
};

OrvexCore::OrvexCore(DeviceCatalogue devices, EncoderCatalogue encoders, VideoView& view,
                     std::unique_ptr<DeviceWatch> watch)
    : m_devices(std::move(devices)), m_source(m_devices, m_keptCameras), m_encoders(std::move(encoders)), m_view(view),
      m_encoderPages(std::make_shared<ItemPageOpener>([this](int index) { return showEncoderPage(index); })),
      m_watch(std::move(watch)), m_tuner(view), m_engine(std::make_unique<CaptureEngine>(view)),
      m_monitor(*m_engine, view, [this] { return audioDeviceName(); })
{
    if (m_encoders.video.empty())
        m_settings.videoCompressor = -1;
    if (m_encoders.audio.empty())
        m_settings.audioCompressor = -1;
    m_view.setKeepAspectRatio(m_settings.keepAspectRatio);
    m_view.setBackgroundColor(qColour(m_settings.backgroundColor));

    m_engine->setErrorHandler([this](const std::string& message) { streamingFailed(message); });
    m_engine->setSoundLevelHandler([this](const SoundLevel& level) { m_monitor.showSoundLevel(level); });
    if (m_watch)
        m_watch->setChangeHandler([this] { devicesChanged(); });
    m_heldRetry.setInterval(1000);
    QObject::connect(&m_heldRetry, &QTimer::timeout, &m_context, [this] { retryHeldDevice(); });
    m_keptCheck.setInterval(50);
    QObject::connect(&m_keptCheck, &QTimer::timeout, &m_context, [this] { checkKeptAfterFirstPictures(); });
}

OrvexCore::~OrvexCore()
{
    // The engine finalizes a recording in progress and stops handing frames to the view.
    m_engine.reset();
}

// Devices that went are no longer listed; the chosen one keeps its choice, and a chosen one
// that went stays chosen (a start then says it is no longer connected) until another is chosen.
// A device in use that is pulled out fails its stream first, as any lost device does.
void OrvexCore::devicesChanged()
{
    if (m_handling > 0) {
        m_devicesChanged = true;
        return;
    }
    m_devicesChanged = false;
    std::vector<const VideoDevice*> before;
    for (int i = 0; i < m_devices.videoCount(); ++i)
        before.push_back(&m_devices.video(i));
    m_source.devicesChanged(m_watch->update(m_devices));
    // A camera plugged (back) in gets what it keeps before anything streams from it.
    for (int i = 0; i < m_devices.videoCount(); ++i) {
        VideoDevice& device = m_devices.video(i);
        if (std::find(before.begin(), before.end(), &device) == before.end() && device.connected())
            KeptCamera(device.controls(), m_keptCameras, device.identity(), device.name()).apply();
    }
}

void OrvexCore::checkKeptAfterFirstPictures()
{
    constexpr std::int64_t firstPictures = 3;
    const CaptureStats stats = m_engine->stats();
    if (!stats.running || ++m_keptChecks > 100) {
        m_keptCheck.stop();
        return;
    }
    if (stats.framesCaptured < firstPictures)
        return;
    m_keptCheck.stop();
    m_source.controls().applyChanged();
}

// --- puts ------------------------------------------------------------------------------------

void OrvexCore::put(Member member, const Value& value)
{
    const Handling handling(*this);
    if (isCameraProperty(member))
        return putCameraSetting(member, value);

    switch (member) {
    case Member::VideoDevice:
        return chooseVideoDevice(indexIn(member, value, m_devices.videoCount(), "video device"));
    case Member::VideoInput:
        return m_source.chooseInput(indexIn(member, value, static_cast<int>(m_source.inputs().size()), "video input"));
    case Member::VideoFormat:
        return m_source.chooseFormat(indexIn(member, value, static_cast<int>(m_source.formats().size()), "video format"));
    case Member::AudioDevice:
        return m_source.chooseAudioDevice(indexIn(member, value, m_devices.audioCount(), "audio device"));
    case Member::VideoCompressor:
        m_settings.videoCompressor = indexIn(member, value, static_cast<int>(m_encoders.video.size()),
                                             "video compressor");
        return;
    case Member::AudioCompressor:
        m_settings.audioCompressor = indexIn(member, value, static_cast<int>(m_encoders.audio.size()),
                                             "audio compressor");
        return;
    case Member::CaptureToFile: m_settings.captureToFile = toBoolean(value); return;
    case Member::CaptureFileName: m_settings.captureFileName = toText(value); return;
    case Member::CaptureAudio: m_settings.captureAudio = toBoolean(value); return;
    case Member::CaptureVideo: m_settings.captureVideo = toBoolean(value); return;
    case Member::ShowPreview: m_settings.showPreview = toBoolean(value); return;
    case Member::UseVideoCompressor: m_settings.useVideoCompressor = toBoolean(value); return;
    case Member::UseAudioCompressor: m_settings.useAudioCompressor = toBoolean(value); return;
    case Member::KeepAspectRatio:
        m_settings.keepAspectRatio = toBoolean(value);
        m_view.setKeepAspectRatio(m_settings.keepAspectRatio);
        return;
    case Member::BackgroundColor:
        m_settings.backgroundColor = colourOf(value);
        m_view.setBackgroundColor(qColour(m_settings.backgroundColor));
        return;
    case Member::TVCountryCode: return m_source.setCountryCode(toDouble(value));
    case Member::TVChannel: return tuneTo(toDouble(value));
    case Member::TVMute: return mute(toBoolean(value));
    default:
        throw CaptureError("Member " + name(member) + " (" + std::to_string(number(member))
                           + ") cannot be set.");
    }
}

void OrvexCore::chooseVideoDevice(int index)
{
    if (m_source.chooseDevice(index))
        giveTunerSettings();
}

// A device chosen after the tuner was set up gets the channel and sound the windows put before
// (its standard came with the choice).
void OrvexCore::giveTunerSettings()
{
    if (Tuner* tuner = videoDevice().tuner())
        m_tuner.giveSettings(*tuner, m_settings.tvChannel, m_settings.tvMute);
}

void OrvexCore::tuneTo(double channel)
{
    if (m_tuner.tune(videoDevice().tuner(), channel))
        m_settings.tvChannel = channel;
}

void OrvexCore::mute(bool muted)
{
    if (!m_tuner.mute(videoDevice().tuner(), muted))
        return;
    m_settings.tvMute = muted;
    m_engine->setSoundMuted(muted);
}

void OrvexCore::putCameraSetting(Member property, const Value& value)
{
    const std::int32_t wanted = toInt32(value);
    if (m_source.settings().set(property, wanted) == SettingWrite::Busy)
        m_view.showNotice(QString::fromStdString(heldSettingMessage(settingLabel(property).toStdString())),
                          noticeTime);
}

// --- gets ------------------------------------------------------------------------------------

Value OrvexCore::get(Member member)
{
    const Handling handling(*this);
    if (member == Member::HasTVTuner)
        return Value::boolean(videoDevice().tuner() != nullptr);
    if (isCollection(member) || isCameraProperty(member))
        throw CaptureError("Member " + name(member) + " hands out an object, not a value.");
    throw CaptureError("Member " + name(member) + " (" + std::to_string(number(member))
                       + ") cannot be read.");
}

std::unique_ptr<CaptureCollection> OrvexCore::collection(Member member)
{
    const Handling handling(*this);
    switch (member) {
    case Member::VideoDevices:
        return std::make_unique<OrvexCollection>(member, videoDeviceEntries(m_devices));
    case Member::AudioDevices:
        return std::make_unique<OrvexCollection>(member, audioDeviceEntries(m_devices));
    case Member::VideoInputs:
        return std::make_unique<OrvexCollection>(member, entriesOf(m_source.inputs()));
    case Member::VideoFormats:
        return std::make_unique<OrvexCollection>(member, entriesOf(m_source.formats()));
    case Member::VideoCompressors:
        return std::make_unique<OrvexCollection>(member, entriesOf(m_encoders.video),
                                                 std::weak_ptr<ItemPageOpener>(m_encoderPages));
    case Member::AudioCompressors:
        return std::make_unique<OrvexCollection>(member, entriesOf(m_encoders.audio));
    case Member::TVChannels: {
        std::vector<OrvexCollection::Entry> entries;
        if (Tuner* tuner = videoDevice().tuner())
            for (const TunerChannel& channel : tuner->channels())
                entries.push_back({channel.name, channel.available});
        return std::make_unique<OrvexCollection>(member, std::move(entries));
    }
    default:
        throw CaptureError("Member " + name(member) + " (" + std::to_string(number(member))
                           + ") is not a collection.");
    }
}

std::unique_ptr<CameraPropertyRange> OrvexCore::cameraProperty(Member member)
{
    const Handling handling(*this);
    if (!isCameraProperty(member))
        throw CaptureError("Member " + name(member) + " (" + std::to_string(number(member))
                           + ") is not a camera setting.");
    return std::make_unique<OrvexRange>(member, m_source.settings().range(member));
}

// --- calls -----------------------------------------------------------------------------------

Value OrvexCore::call(Member member, const Value& argument)
{
    const Handling handling(*this);
    switch (member) {
    case Member::Start: return start();
    case Member::Stop: stop(); return Value();
    case Member::SnapShot: return snapShot(argument);
    case Member::ShowPropertyPage: showPropertyPage(); return Value();
    default:
        throw CaptureError("Member " + name(member) + " (" + std::to_string(number(member))
                           + ") cannot be called.");
    }
}

Value OrvexCore::snapShot(const Value& path)
{
    // False only while there is no picture yet.
    const QImage picture = m_view.lastFrame();
    if (picture.isNull())
        return Value::boolean(false);
    saveSnapshot(picture, QString::fromStdString(toText(path)));
    return Value::boolean(true);
}

void OrvexCore::showPropertyPage()
{
    ControlPropertyPage page(*this, m_view.window());
    page.exec();
}

bool OrvexCore::showEncoderPage(int index)
{
    const std::string& factory = m_encoders.video.at(static_cast<size_t>(index)).factory;
    if (!EncoderPropertyPage::hasEditableProperties(factory))
        return false;
    EncoderPropertyPage page(factory, encoderSettings(factory), m_view.window());
    if (page.exec() == QDialog::Accepted)
        m_encoderSettings[factory] = page.settings();
    return true;
}

const EncoderSettings& OrvexCore::encoderSettings(const std::string& factory) const
{
    static const EncoderSettings none;
    auto it = m_encoderSettings.find(factory);
    return it != m_encoderSettings.end() ? it->second : none;
}

// --- what the view and the page show ------------------------------------------------------------

void OrvexCore::streamingFailed(const std::string& message)
{
    m_view.showError(QString::fromStdString(message));
    m_monitor.refreshRecordingStatus();
}

std::vector<double> OrvexCore::soundLevels() const
{
    return m_monitor.soundLevels();
}

std::string OrvexCore::videoDeviceName() const { return m_source.deviceName(); }

std::string OrvexCore::videoInputName() const { return m_source.inputName(); }

std::string OrvexCore::videoFormatName() const
{
    const auto format = m_source.format();
    return format ? format->name() : std::string();
}

std::string OrvexCore::audioDeviceName() const
{
    if (!m_settings.captureAudio || m_source.audioDevice() < 0)
        return {};
    return m_devices.audioName(m_source.audioDevice());
}

std::optional<TunerState> OrvexCore::tuner() const
{
    if (!videoDevice().tuner())
        return std::nullopt;
    return TunerState{m_source.countryCode(), m_settings.tvChannel, m_settings.tvMute};
}

Tuner* OrvexCore::stationScanner()
{
    Tuner* tuner = videoDevice().tuner();
    return tuner && tuner->canScan() ? tuner : nullptr;
}

std::string OrvexCore::recordingFile() const
{
    return m_monitor.recordingFile();
}

std::string OrvexCore::lastFailure() const
{
    const std::optional<PipelineFailure>& failure = m_refusal ? m_refusal : m_engine->lastFailure();
    if (!failure)
        return {};
    std::string text = culprit(*failure) + ": " + failure->text;
    return failure->deviceError == EBUSY ? text + " (" + holderText(*failure) + ")" : text;
}

LiveStatistics OrvexCore::statistics() const
{
    return m_monitor.statistics();
}

}  // namespace capture
