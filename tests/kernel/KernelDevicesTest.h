#pragma once

// The real control, and mirrane's and tulvik's windows around it, on the kernel's own drivers:
// vivid's four inputs and its TV tuner, the ALSA loopback card, and (ORVEX_KERNEL_CAMERA=usb) a
// USB webcam with a microphone served by uvcvideo and snd-usb-audio. Runs inside the VM of
// scripts/with-kernel-devices.sh, which loads the drivers; the control finds the devices by its
// ordinary /dev scan.


#include "capture/control/OrvexCore.h"
#include "capture/control/OrvexFactory.h"
#include "tests/support/sync/SyncMarkReader.h"
#include "tests/support/qt/ScreenReaderSession.h"
#include "capture/view/VideoView.h"
#include "tests/control/ControlRig.h"
#include "mirrane/Form1.h"
#include "ostrel/Form1.h"
#include "capture/devices/PixelShape.h"
#include "capture/v4l2/V4l2MappedSource.h"
#include "tests/engine/AviReadBack.h"
#include "tests/mirrane/SliderRows.h"
#include "tests/tulvik/WindowRig.h"
#include "tests/virtual/PictureProbe.h"

#include <QCheckBox>
#include <QDir>
#include <QElapsedTimer>
#include <QImage>
#include <QProcess>
#include <QPushButton>
#include <QScopeGuard>
#include <QSlider>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

#include <fcntl.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <linux/videodev2.h>

#include <gst/app/gstappsink.h>
#include <gst/video/video.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <map>
#include <optional>
#include <set>

#include "PageControls.h"

namespace kerneltest {

using namespace capture;
using capture::testing::recordedFrame;


// A recording in a format other than the input's current one, by its listed name.
struct RecordingCase {
    const char* row;
    const char* input;
    const char* format;
    int width;
    int height;
    double rate;
};

// A setting with a control of its own, on an input.
struct SettingCase {
    const char* input;
    Member property;
    std::uint32_t control;
};

// The camera a run is about, and what it is checked with.
struct KernelCamera {
    std::string card;        // the driver's card name, which the control lists
    std::string microphone;  // the camera's own sound device, as listed; none on vivid
    std::vector<const char*> inputs;  // by name, in the driver's order
    std::vector<RecordingCase> recordings;
    std::vector<SettingCase> settings;
    std::string motionJpeg;  // a Motion JPEG format, by its listed name; none on vivid
};

inline const std::pair<Member, std::uint32_t> pictureControls[] = {
    {Member::Contrast, V4L2_CID_CONTRAST},         {Member::Saturation, V4L2_CID_SATURATION},
    {Member::Hue, V4L2_CID_HUE},                   {Member::Gain, V4L2_CID_GAIN},
    {Member::Sharpness, V4L2_CID_SHARPNESS},       {Member::Gamma, V4L2_CID_GAMMA},
    {Member::WhiteBalance, V4L2_CID_WHITE_BALANCE_TEMPERATURE},
    {Member::BacklightCompensation, V4L2_CID_BACKLIGHT_COMPENSATION}};

inline KernelCamera vividCamera()
{
    KernelCamera camera{"vivid", {}, {"Webcam 0", "TV 0", "S-Video 0", "HDMI 0"}, {}, {}, {}};
    camera.recordings = {
        {"Webcam 0 YUY2", "Webcam 0", "YUY2 640x360 30 fps", 640, 360, 30.0},
        // On a multi-planar vivid, YUY2 pictures start after a data offset; NV12's two planes
        // share one buffer.
        {"Webcam 0 NV12", "Webcam 0", "NV12 640x360 30 fps", 640, 360, 30.0},
        {"TV 0", "TV 0", "YUY2 640x480 25 fps", 640, 480, 25.0},
        {"S-Video 0", "S-Video 0", "UYVY 768x576 25 fps", 768, 576, 25.0},
        {"HDMI 0", "HDMI 0", "YUY2 320x240 60 fps", 320, 240, 60.0}};
    // vivid moves brightness's range with the input, and lacks four of the settings.
    for (const char* input : camera.inputs)
        camera.settings.push_back({input, Member::Brightness, V4L2_CID_BRIGHTNESS});
    for (const auto& [property, control] : pictureControls)
        camera.settings.push_back({"Webcam 0", property, control});
    return camera;
}

// tests/usbwebcam's camera, as uvcvideo and snd-usb-audio present it.
inline KernelCamera usbCamera()
{
    // uvcvideo adds the interface association's function name, cut to V4L2's 32 bytes, as it does
    // on most real webcams.
    KernelCamera camera{"Orvex USB Webcam: Orvex USB Web", "Orvex USB Webcam", {"Input 1"}, {}, {}, "MJPG 640x480 30 fps"};
    // 640x480 YUYV at 30 fps (18 MB/s) is more than the emulated machine carries over USB/IP.
    camera.recordings = {{"USB YUY2", "", "YUY2 320x240 30 fps", 320, 240, 30.0},
                         {"USB MJPG", "", "MJPG 1280x720 30 fps", 1280, 720, 30.0}};
    camera.settings.push_back({"", Member::Brightness, V4L2_CID_BRIGHTNESS});
    for (const auto& [property, control] : pictureControls)
        camera.settings.push_back({"", property, control});
    camera.settings.push_back({"", Member::ColorEnable, V4L2_CID_COLORFX});  // UVC has none
    return camera;
}

inline const KernelCamera& camera()
{
    static const KernelCamera chosen = qEnvironmentVariable("ORVEX_KERNEL_CAMERA") == QLatin1String("usb") ? usbCamera() : vividCamera();
    return chosen;
}

// The camera's capture node, found by its card name as the control finds it.
inline std::string findNode(const std::string& card)
{
    for (const QString& name : QDir(QStringLiteral("/dev")).entryList({QStringLiteral("video*")}, QDir::System, QDir::Name)) {
        const std::string path = "/dev/" + name.toStdString();
        const int fd = ::open(path.c_str(), O_RDWR | O_NONBLOCK);
        if (fd < 0)
            continue;
        v4l2_capability caps{};
        const bool found = ::ioctl(fd, VIDIOC_QUERYCAP, &caps) == 0 && card == reinterpret_cast<const char*>(caps.card)
                           && (caps.device_caps & (V4L2_CAP_VIDEO_CAPTURE | V4L2_CAP_VIDEO_CAPTURE_MPLANE));
        ::close(fd);
        if (found)
            return path;
    }
    return {};
}

inline std::string Node;
// The loopback card's two capture devices; device 1 hears what is played on hw:Loopback,0,N.
inline const std::string LoopbackHearingDevice0 = "Loopback: Loopback PCM (device 1)";
inline const std::string LoopbackHearingDevice1 = "Loopback: Loopback PCM (device 0)";

// One ioctl from a second opener, as v4l2-ctl would ask: false when the driver refuses.
template <typename Argument>
inline bool askDriver(unsigned long request, Argument& argument)
{
    const int fd = ::open(Node.c_str(), O_RDWR | O_NONBLOCK);
    if (fd < 0)
        return false;
    const bool done = ::ioctl(fd, request, &argument) == 0;
    ::close(fd);
    return done;
}

inline std::int32_t driverControl(std::uint32_t id)
{
    v4l2_control control{id, -99999};
    askDriver(VIDIOC_G_CTRL, control);
    return control.value;
}

// `v4l2-ctl --stream-mmap` streaming vivid's "Webcam 0" for as long as it lives.
class OtherStreamer {
public:
    OtherStreamer()
    {
        int webcam = 0;
        askDriver(VIDIOC_S_INPUT, webcam);
        m_process.start(QStringLiteral("v4l2-ctl"), {QStringLiteral("-d"), QString::fromStdString(Node), QStringLiteral("--stream-mmap")});
    }
    ~OtherStreamer() { end(); }
    OtherStreamer(const OtherStreamer&) = delete;
    OtherStreamer& operator=(const OtherStreamer&) = delete;

    // Whether it streams (vivid refuses a format change while another open does), within 15 s.
    bool streams()
    {
        const auto refused = [] {
            v4l2_format format{};
            format.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
            return askDriver(VIDIOC_G_FMT, format) && !askDriver(VIDIOC_S_FMT, format);
        };
        return m_process.waitForStarted(10000) && QTest::qWaitFor(refused, 15000);
    }
    QString named() const { return QStringLiteral("in use by v4l2-ctl (process %1)").arg(m_process.processId()); }
    void end()
    {
        m_process.kill();
        m_process.waitForFinished(5000);
    }

private:
    QProcess m_process;
};

inline void v4l2Ctl(const QStringList& arguments)
{
    QProcess ctl;
    ctl.start(QStringLiteral("v4l2-ctl"), QStringList{QStringLiteral("-d"), QString::fromStdString(Node)} + arguments);
    QVERIFY2(ctl.waitForFinished(10000) && ctl.exitCode() == 0, qPrintable(ctl.readAllStandardError()));
}

// vivid's test controls (fault injection, dropped buffers) by the names v4l2-ctl gives them.
inline void setVividControl(const QString& name, int value)
{
    v4l2Ctl({QStringLiteral("-c"), QStringLiteral("%1=%2").arg(name).arg(value)});
}

// An analog input as vivid starts it, PAL with the picture's controls at their defaults:
// earlier cases leave the tuner on NTSC and the picture flat (contrast and brightness at 0).
inline void palWithDefaultPicture(int input)
{
    v4l2Ctl({QStringLiteral("-i"), QString::number(input)});
    QStringList defaults;
    for (const auto& [name, id] : {std::pair{"brightness", V4L2_CID_BRIGHTNESS}, std::pair{"contrast", V4L2_CID_CONTRAST}}) {
        v4l2_queryctrl query{};
        query.id = id;
        QVERIFY(askDriver(VIDIOC_QUERYCTRL, query));
        defaults << QStringLiteral("%1=%2").arg(QLatin1String(name)).arg(query.default_value);
    }
    v4l2Ctl({QStringLiteral("-s"), QStringLiteral("pal"), QStringLiteral("-c"), defaults.join(',')});
}

// Another program on the machine: `gst-launch-1.0` running its pipeline for as long as this
// lives, then ended as a user ends it.
class GstLaunch {
public:
    explicit GstLaunch(const QStringList& pipeline) { m_process.start(QStringLiteral("gst-launch-1.0"), pipeline); }
    ~GstLaunch()
    {
        m_process.terminate();
        if (!m_process.waitForFinished(5000))
            m_process.kill();
        m_process.waitForFinished(5000);
    }
    GstLaunch(const GstLaunch&) = delete;
    GstLaunch& operator=(const GstLaunch&) = delete;

    // Everything it said on its error output so far.
    QString said()
    {
        m_said += QString::fromLocal8Bit(m_process.readAllStandardError());
        return m_said;
    }

protected:
    QProcess m_process;

private:
    QString m_said;
};

// A tone played into both of the loopback card's devices: what one plays, the other captures.
class LoopbackTone : public GstLaunch {
public:
    LoopbackTone() : GstLaunch(graph())
    {
        // The loopback card takes the format of the side opened first: the tone must be playing
        // before the capture side opens, or the player is refused.
        QTRY_VERIFY_WITH_TIMEOUT(playing("/proc/asound/Loopback/pcm0p/sub0/status")
                                     && playing("/proc/asound/Loopback/pcm1p/sub0/status"), 20000);
    }

private:
    static QStringList graph()
    {
        QStringList graph{QStringLiteral("-q")};
        for (const char* device : {"hw:Loopback,0,0", "hw:Loopback,1,0"})
            graph << QStringLiteral("audiotestsrc") << QStringLiteral("is-live=true") << QStringLiteral("volume=0.5")
                  << QStringLiteral("!") << QStringLiteral("alsasink") << QStringLiteral("device=%1").arg(device);
        return graph;
    }
    static bool playing(const char* status)
    {
        QFile file(QString::fromLatin1(status));
        return file.open(QIODevice::ReadOnly) && file.readAll().contains("RUNNING");
    }
};

struct Rig {
    QWidget window;
    Orvex* orvex = new Orvex(&window);
    QTemporaryDir folder;

    // The camera's first input where none is named.
    explicit Rig(const std::string& input, bool sound = false)
    {
        orvex->resize(320, 240);
        window.show();
        orvex->put(Member::CaptureAudio, Value::boolean(sound));
        put(Member::VideoDevice, Member::VideoDevices, camera().card);
        if (!input.empty())
            put(Member::VideoInput, Member::VideoInputs, input);
    }

    void put(Member choice, Member list, const std::string& name)
    {
        const int index = controltest::indexOf(*orvex, list, name);
        std::string listed;
        if (index < 0)
            forEachItem(*orvex->collection(list), [&](CaptureItem& item) { listed += "; " + toText(item.name()); });
        QVERIFY2(index >= 0, (name + " not among: " + listed).c_str());
        orvex->put(choice, Value::i16(static_cast<std::int16_t>(index)));
    }

    // A Start that throws fails the case, not the whole run.
    void start()
    {
        try {
            const Value status = orvex->call(Member::Start);
            QVERIFY2(status == Value::i16(0), qPrintable(orvex->view().errorText()));
        } catch (const CaptureError& error) {
            QFAIL(error.what());
        }
    }

    void startPreview()
    {
        start();
        if (QTest::currentTestFailed())
            return;
        QTRY_VERIFY_WITH_TIMEOUT(!orvex->view().lastFrame().isNull(), 20000);
    }

    std::string startRecording()
    {
        const std::string file = folder.filePath("recording.avi").toStdString();
        orvex->put(Member::CaptureToFile, Value::boolean(true));
        orvex->put(Member::CaptureFileName, Value::text(file));
        start();
        [&] { QTRY_VERIFY_WITH_TIMEOUT(orvex->core().statistics().framesCaptured > 0, 20000); }();
        return file;
    }

    // A recording of `ms` from its first picture on, stopped: the file's path, or nothing when
    // it did not start.
    std::string recordFor(int ms)
    {
        const std::string file = startRecording();
        if (QTest::currentTestFailed())
            return {};
        [&] { QTRY_VERIFY_WITH_TIMEOUT(!orvex->view().lastFrame().isNull(), 10000); }();
        QTest::qWait(ms);
        orvex->call(Member::Stop);
        return QTest::currentTestFailed() ? std::string() : file;
    }

    // A recording that vivid's fault control ends: the file must be closed and readable.
    void faultWhileRecording(const QString& control)
    {
        const std::string file = startRecording();
        if (QTest::currentTestFailed())
            return;
        QTest::qWait(1500);
        setVividControl(control, 1);
        QTRY_VERIFY_WITH_TIMEOUT(!orvex->core().statistics().recording, 15000);
        const auto written = testing::readBack(file);
        QVERIFY(written.readable && written.hasIndex && written.videoFrames > 0);
        QTRY_VERIFY_WITH_TIMEOUT(!orvex->view().errorText().isEmpty(), 10000);
    }

    // After a fault the control goes on: a preview starts and stops again.
    void goesOn()
    {
        orvex->call(Member::Stop);
        orvex->put(Member::CaptureToFile, Value::boolean(false));
        startPreview();
        if (!QTest::currentTestFailed())
            orvex->call(Member::Stop);
    }
};

// One of the programs' windows on the real control, loaded and shown; a failure it reports is
// kept in endedWith instead of ending the test.
template <typename Form>
struct Window {
    desktop::ScriptedToolkit toolkit;
    int endedWith = -1;
    desktop::FailureReporter reporter;
    QPointer<Form> form;

    explicit Window(const char* program)
        : reporter{toolkit, program, [this](int status) { endedWith = status; }},
          form(new Form(capture::createOrvex, toolkit, reporter))
    {
        form->load();
        form->show();
    }
    ~Window() { delete form.data(); }
    Window(const Window&) = delete;
    // The control's video area, once it has a picture.
    bool showsPicture() const
    {
        const auto* orvex = form->template findChild<Orvex*>("Orvex1");
        return orvex && !orvex->view().lastFrame().isNull();
    }
    Window& operator=(const Window&) = delete;
};

inline int openDescriptors()
{
    return int(QDir(QStringLiteral("/proc/self/fd")).entryList(QDir::Files | QDir::System).size());
}

inline std::int16_t soundPeak(const std::vector<std::int16_t>& samples)
{
    std::int16_t peak = 0;
    for (const std::int16_t s : samples)
        peak = std::max<std::int16_t>(peak, static_cast<std::int16_t>(std::abs(s)));
    return peak;
}

// The field layout the driver streams now, as a second opener asks for it.
inline std::uint32_t driverField()
{
    v4l2_format format{};
    format.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
    if (askDriver(VIDIOC_G_FMT, format))
        return format.fmt.pix.field;
    format.type = V4L2_BUF_TYPE_VIDEO_CAPTURE_MPLANE;
    return askDriver(VIDIOC_G_FMT, format) ? format.fmt.pix_mp.field : std::uint32_t(V4L2_FIELD_ANY);
}

// vivid's HDMI input (chosen already) on the first interlaced timings it lists (1080i).
inline bool setInterlacedDvTimings()
{
    for (std::uint32_t index = 0; index < 100; ++index) {
        v4l2_enum_dv_timings listed{};
        listed.index = index;
        if (!askDriver(VIDIOC_ENUM_DV_TIMINGS, listed))
            return false;
        if (listed.timings.bt.interlaced)
            return askDriver(VIDIOC_S_DV_TIMINGS, listed.timings);
    }
    return false;
}

inline void tuneTv(Rig& rig, double countryCode)
{
    rig.orvex->put(Member::TVCountryCode, Value::f64(countryCode));
    rig.start();
}

}  // namespace kerneltest

using namespace kerneltest;

class KernelDevicesTest : public QObject {
    Q_OBJECT

private:
    template <typename Form>
    void previewWaitsFor(const char* program)
    {
        OtherStreamer streamer;
        QVERIFY(streamer.streams());
        Window<Form> window(program);
        auto* inputs = window.form->template findChild<QComboBox*>("cboVideoInput");
        inputs->setCurrentIndex(inputs->findText(QStringLiteral("Webcam 0")));
        window.form->template findChild<QPushButton*>("Command1")->click();
        QVERIFY2(window.endedWith == -1, qPrintable(window.toolkit.messageTexts().join('\n')));
        const auto* orvex = window.form->template findChild<Orvex*>("Orvex1");
        QVERIFY2(orvex->view().errorText().contains(streamer.named()), qPrintable(orvex->view().errorText()));

        if (auto* brightness = window.form->template findChild<QSlider*>("BrightnessSlider1")) {
            QTest::keyClick(brightness, Qt::Key_End);
            QCOMPARE(driverControl(V4L2_CID_BRIGHTNESS), brightness->maximum());
        }

        qInfo("said: %s", qPrintable(orvex->view().errorText()));
        streamer.end();
        QElapsedTimer waited;
        waited.start();
        QTRY_VERIFY_WITH_TIMEOUT(window.showsPicture(), 15000);
        qInfo("the picture came %lld ms after the program ended", static_cast<long long>(waited.elapsed()));
        QVERIFY2(window.endedWith == -1, qPrintable(window.toolkit.messageTexts().join('\n')));
    }

private slots:
    void initTestCase();
    void recordingUsesTheChosenFormat_data();
    void recordingUsesTheChosenFormat();
    void startAndStopKeepDescriptorsFlat();
    void ostrelListsAndPreviewsTheCamera();
    void pictureAndSoundOfTheCameraStayInStep();
    void anUnpluggedCameraFinalizesTheRecordingAndComesBackWhenPluggedIn();
    void cameraSettingsAreTheDriversAndReachIt_data();
    void cameraSettingsAreTheDriversAndReachIt();
    void loopbackSoundIsRecorded();
    void aRefusedStreamOnNamesTheVideoSourceAndTheControlGoesOn();
    void aFatalStreamingErrorFinalizesTheRecording();
    void droppedBuffersAreCountedAndPictureKeepsUpWithSound();
    void aStalledCameraIsNamedAndTheRecordingHoldsItsPicture();
    void flaggedBuffersAreSkippedAndCounted();
    void brokenMotionJpegFramesAreSkippedAndNotRecorded();
    void countryCodeSetsTheStandard_data();
    void countryCodeSetsTheStandard();
    void theTunedChannelIsAvailableExactlyWithASignal_data();
    void theTunedChannelIsAvailableExactlyWithASignal();
    void tunerPutsReachTheDriver();
    void tvSnapshotAndRecording();
    void analogInputsShowWholeShapedPicturesAndRecordTheirFields_data();
    void analogInputsShowWholeShapedPicturesAndRecordTheirFields();
    void fieldsInTurnAreWovenIntoTheInterlacedFrame();
    void everyControlIsOnThePage_data();
    void everyControlIsOnThePage();
    void thePageSetsFollowsAndResetsTheDriver();
    void manualExposureMakesTheExposureTimeSettable();
    void controlsAreSetWhileAnotherProgramStreams();
    void previewWaitsForAProgramThatStreams_data();
    void previewWaitsForAProgramThatStreams();
    void aDisconnectFinalizesTheRecordingAndSaysTheDeviceIsGone();
    void aCameraKeepsItsSettingsWhenItComesBack();
    void aVirtualCameraWaitsForItsProgramAndOutlivesItsStops();
    void aCameraIsSharedThroughPipeWire();
    void aScreenReaderHearsWhoHoldsTheCamera();
};
