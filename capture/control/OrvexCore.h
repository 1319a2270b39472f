#pragma once

#include "OrvexCollection.h"
#include "OrvexSettings.h"
#include "RecordingMonitor.h"
#include "SourceChoice.h"
#include "TunerWrites.h"
#include "capture/contract/CaptureControl.h"
#include "capture/devices/DeviceCatalogue.h"
#include "capture/devices/DeviceWatch.h"
#include "capture/devices/EncoderCatalogue.h"
#include "capture/engine/CaptureEngine.h"
#include "capture/pages/ControlPageModel.h"
#include "capture/pages/EncoderSettings.h"

#include <QTimer>

#include <map>
#include <memory>

class QString;
class QWidget;

namespace capture {

class VideoView;

// The members of the control: keeps what the puts give, answers the gets with snapshots of
// the catalogues, and drives the engine, the view and the pages.
class OrvexCore : public CaptureControl, public ControlPageModel {
public:
    // The view shows the frames and is the parent of the pages; it must outlive the core. With
    // a watch, video devices that come and go are listed and taken out as they do.
    OrvexCore(DeviceCatalogue devices, EncoderCatalogue encoders, VideoView& view,
              std::unique_ptr<DeviceWatch> watch = nullptr);
    ~OrvexCore() override;

    void put(Member member, const Value& value) override;
    Value get(Member member) override;
    Value call(Member member, const Value& argument) override;
    std::unique_ptr<CaptureCollection> collection(Member member) override;
    std::unique_ptr<CameraPropertyRange> cameraProperty(Member member) override;

    const OrvexSettings& settings() const { return m_settings; }
    const SourceChoice& source() const { return m_source; }
    // What the next Start hands the engine.
    CaptureRequest captureRequest() const;
    // What the encoder's page left for it; used by every recording with that encoder.
    const EncoderSettings& encoderSettings(const std::string& factory) const;

    // ControlPageModel
    std::string videoDeviceName() const override;
    std::string videoInputName() const override;
    std::string videoFormatName() const override;
    std::string audioDeviceName() const override;
    std::vector<double> soundLevels() const override;
    DeviceControls& deviceControls() override { return m_source.controls(); }
    KeptCamera* keptCamera() override { return &m_source.controls(); }
    std::optional<TunerState> tuner() const override;
    Tuner* stationScanner() override;
    std::string recordingFile() const override;
    LiveStatistics statistics() const override;
    std::string lastFailure() const override;

private:
    class Handling;

    VideoDevice& videoDevice() const { return m_source.device(); }

    void chooseVideoDevice(int index);
    void putCameraSetting(Member property, const Value& value);
    void giveTunerSettings();
    void tuneTo(double channel);
    void mute(bool muted);

    // Raises CaptureError when the chosen device was pulled out.
    void refuseLostDevice() const;
    Value start();
    void stop();
    // A preview whose device another program streams from waits for it: the view names that
    // program and the start is tried again about once a second until the picture comes. So
    // does a preview of a virtual camera that no program feeds yet.
    bool waitForHolder();
    void retryHeldDevice();
    // False when there is no picture yet; raises, naming the file and the cause, when the
    // picture cannot be saved.
    Value snapShot(const Value& path);
    void showPropertyPage();
    bool showEncoderPage(int index);

    void devicesChanged();
    // Many cameras put some controls back to their defaults as they start streaming: once the
    // first pictures are in, what the camera keeps is written again where it changed.
    void checkKeptAfterFirstPictures();
    void streamingFailed(const std::string& message);

    DeviceCatalogue m_devices;
    KeptCameras m_keptCameras;
    SourceChoice m_source;
    // Calls into the control under way (a page's event loop nests them); device changes wait
    // until none is.
    int m_handling = 0;
    bool m_devicesChanged = false;
    EncoderCatalogue m_encoders;
    VideoView& m_view;
    OrvexSettings m_settings;
    std::map<std::string, EncoderSettings> m_encoderSettings;
    std::shared_ptr<ItemPageOpener> m_encoderPages;
    QObject m_context;  // where a device change waits for the calls under way to end
    std::optional<PipelineFailure> m_refusal;  // why the control itself answered Start with -1
    std::unique_ptr<DeviceWatch> m_watch;
    TunerWrites m_tuner;
    // The destructor ends it first, finalizing a recording.
    std::unique_ptr<CaptureEngine> m_engine;
    RecordingMonitor m_monitor;  // after the engine, whose runs it shows
    QTimer m_heldRetry;          // runs while a preview waits for its device; after the engine
    QTimer m_keptCheck;          // runs from a start until the first pictures are in
    int m_keptChecks = 0;
};

}  // namespace capture
