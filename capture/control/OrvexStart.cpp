// The control's start and stop: the request made of its settings, and a preview that waits for
// the program holding its device.
#include "OrvexCore.h"

#include "OrvexValues.h"
#include "capture/engine/FailureMessage.h"
#include "capture/view/VideoView.h"

#include <cerrno>

namespace capture {

CaptureRequest OrvexCore::captureRequest() const
{
    CaptureRequest request;
    request.videoDevice = &videoDevice();
    request.videoInput = m_source.input();
    request.videoFormat = m_source.format();
    if (m_source.audioDevice() >= 0)
        request.audioDevice = &m_devices.audio(m_source.audioDevice());

    request.captureVideo = m_settings.captureVideo;
    request.captureAudio = m_settings.captureAudio && request.audioDevice;
    // A TV is heard; a camera's microphone never is (it would whistle through the speakers).
    request.playSound = videoDevice().tuner() && request.audioDevice && !request.audioDevice->isMicrophone();
    request.soundMuted = m_settings.tvMute;
    request.showPreview = m_settings.showPreview;
    request.toFile = m_settings.captureToFile;
    request.fileName = m_settings.captureFileName;

    auto choice = [this](const std::vector<EncoderInfo>& encoders, int index) {
        const EncoderInfo& encoder = encoders[static_cast<size_t>(index)];
        return EncoderChoice{encoder.factory, encoderSettings(encoder.factory)};
    };
    if (m_settings.useVideoCompressor && holds(m_encoders.video, m_settings.videoCompressor))
        request.videoEncoder = choice(m_encoders.video, m_settings.videoCompressor);
    if (m_settings.useAudioCompressor && holds(m_encoders.audio, m_settings.audioCompressor))
        request.audioEncoder = choice(m_encoders.audio, m_settings.audioCompressor);
    return request;
}

void OrvexCore::refuseLostDevice() const
{
    if (const VideoDevice* lost = m_source.lostDevice())
        throw CaptureError(lostDeviceMessage(lost->name()));
}

Value OrvexCore::start()
{
    refuseLostDevice();
    const bool compressorMissing
        = (m_settings.useVideoCompressor && m_settings.captureVideo && m_encoders.video.empty())
        || (m_settings.useAudioCompressor && m_settings.captureAudio && m_encoders.audio.empty());
    m_heldRetry.stop();
    m_view.clearError();
    m_refusal.reset();
    if (m_settings.captureToFile && compressorMissing) {
        m_refusal = PipelineFailure::at(PipelineFailure::Part::Encoder, "no compressor is installed");
        m_view.showError(QString::fromStdString(startFailureMessage(*m_refusal)));
        return Value::i16(StartStatus::CannotRecord);
    }

    m_monitor.clearSoundLevel();
    m_keptCheck.stop();
    m_source.controls().apply();
    int status = StartStatus::Started;
    try {
        status = m_engine->start(captureRequest());
    } catch (const CaptureError&) {
        if (!waitForHolder())
            throw;
    }
    if (status == StartStatus::CannotRecord && m_engine->lastFailure())
        m_view.showError(QString::fromStdString(startFailureMessage(*m_engine->lastFailure())));
    if (status == StartStatus::Started && m_source.controls().applies()) {
        m_keptChecks = 0;
        m_keptCheck.start();
    }
    m_monitor.refreshRecordingStatus();
    return Value::i16(static_cast<std::int16_t>(status));
}

bool OrvexCore::waitForHolder()
{
    // A recording cannot wait: its start fails, naming the program.
    const std::optional<PipelineFailure>& failure = m_engine->lastFailure();
    if (m_settings.captureToFile || !failure || (failure->deviceError != EBUSY && !failure->unfed))
        return false;
    m_view.showError(QString::fromStdString(failure->unfed ? unfedMessage(*failure) : heldMessage(*failure)));
    m_heldRetry.start();
    return true;
}

void OrvexCore::retryHeldDevice()
{
    // Not inside a call under way (a page's event loop): its device may be changing.
    if (m_handling > 0)
        return;
    m_heldRetry.stop();
    try {
        refuseLostDevice();
        // What was started is a preview: a recording asked for meanwhile waits for its Start.
        CaptureRequest preview = captureRequest();
        preview.toFile = false;
        m_engine->start(preview);
    } catch (const CaptureError& error) {
        if (!waitForHolder())
            m_view.showError(QString::fromStdString(messageOf(error)));
        return;
    }
    m_view.clearError();
    m_monitor.refreshRecordingStatus();
}

void OrvexCore::stop()
{
    if (m_heldRetry.isActive()) {
        m_heldRetry.stop();
        m_view.clearError();
    }
    m_engine->stop();
    m_monitor.clearSoundLevel();
    m_monitor.refreshRecordingStatus();
}

}  // namespace capture
