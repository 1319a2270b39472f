// The real control, and mirrane's and tulvik's windows around it, on the kernel's own drivers:
// vivid's four inputs and its TV tuner, the ALSA loopback card, and (ORVEX_KERNEL_CAMERA=usb) a
// USB webcam with a microphone served by uvcvideo and snd-usb-audio. Runs inside the VM of
// scripts/with-kernel-devices.sh, which loads the drivers; the control finds the devices by its
// ordinary /dev scan.

#include "capture/control/OrvexCore.h"
#include "capture/control/OrvexFactory.h"
#include "capture/engine/SyncMarkReader.h"
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
#include <set>

#include "PageControls.h"

using namespace capture;
using capture::testing::recordedFrame;

namespace {

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

const std::pair<Member, std::uint32_t> pictureControls[] = {
    {Member::Contrast, V4L2_CID_CONTRAST},         {Member::Saturation, V4L2_CID_SATURATION},
    {Member::Hue, V4L2_CID_HUE},                   {Member::Gain, V4L2_CID_GAIN},
    {Member::Sharpness, V4L2_CID_SHARPNESS},       {Member::Gamma, V4L2_CID_GAMMA},
    {Member::WhiteBalance, V4L2_CID_WHITE_BALANCE_TEMPERATURE},
    {Member::BacklightCompensation, V4L2_CID_BACKLIGHT_COMPENSATION}};

KernelCamera vividCamera()
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
KernelCamera usbCamera()
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

const KernelCamera& camera()
{
    static const KernelCamera chosen = qEnvironmentVariable("ORVEX_KERNEL_CAMERA") == QLatin1String("usb") ? usbCamera() : vividCamera();
    return chosen;
}

// The camera's capture node, found by its card name as the control finds it.
std::string findNode(const std::string& card)
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

std::string Node;
// The loopback card's two capture devices; device 1 hears what is played on hw:Loopback,0,N.
const std::string LoopbackHearingDevice0 = "Loopback: Loopback PCM (device 1)";
const std::string LoopbackHearingDevice1 = "Loopback: Loopback PCM (device 0)";

// One ioctl from a second opener, as v4l2-ctl would ask: false when the driver refuses.
template <typename Argument>
bool askDriver(unsigned long request, Argument& argument)
{
    const int fd = ::open(Node.c_str(), O_RDWR | O_NONBLOCK);
    if (fd < 0)
        return false;
    const bool done = ::ioctl(fd, request, &argument) == 0;
    ::close(fd);
    return done;
}

std::int32_t driverControl(std::uint32_t id)
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

void v4l2Ctl(const QStringList& arguments)
{
    QProcess ctl;
    ctl.start(QStringLiteral("v4l2-ctl"), QStringList{QStringLiteral("-d"), QString::fromStdString(Node)} + arguments);
    QVERIFY2(ctl.waitForFinished(10000) && ctl.exitCode() == 0, qPrintable(ctl.readAllStandardError()));
}

// vivid's test controls (fault injection, dropped buffers) by the names v4l2-ctl gives them.
void setVividControl(const QString& name, int value)
{
    v4l2Ctl({QStringLiteral("-c"), QStringLiteral("%1=%2").arg(name).arg(value)});
}

// An analog input as vivid starts it, PAL with the picture's controls at their defaults:
// earlier cases leave the tuner on NTSC and the picture flat (contrast and brightness at 0).
void palWithDefaultPicture(int input)
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

// A tone played into both of the loopback card's devices: what one plays, the other captures.
class LoopbackTone {
public:
    LoopbackTone()
    {
        QStringList graph{QStringLiteral("-q")};
        for (const char* device : {"hw:Loopback,0,0", "hw:Loopback,1,0"})
            graph << QStringLiteral("audiotestsrc") << QStringLiteral("is-live=true") << QStringLiteral("volume=0.5")
                  << QStringLiteral("!") << QStringLiteral("alsasink") << QStringLiteral("device=%1").arg(device);
        m_player.start(QStringLiteral("gst-launch-1.0"), graph);
        // The loopback card takes the format of the side opened first: the tone must be playing
        // before the capture side opens, or the player is refused.
        QTRY_VERIFY_WITH_TIMEOUT(playing("/proc/asound/Loopback/pcm0p/sub0/status")
                                     && playing("/proc/asound/Loopback/pcm1p/sub0/status"), 20000);
    }
    ~LoopbackTone()
    {
        m_player.terminate();
        m_player.waitForFinished(5000);
    }
    QString said() { return QString::fromLocal8Bit(m_player.readAllStandardError() + m_player.readAllStandardOutput()); }
    LoopbackTone(const LoopbackTone&) = delete;
    LoopbackTone& operator=(const LoopbackTone&) = delete;

private:
    static bool playing(const char* status)
    {
        QFile file(QString::fromLatin1(status));
        return file.open(QIODevice::ReadOnly) && file.readAll().contains("RUNNING");
    }

    QProcess m_player;
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

int openDescriptors()
{
    return int(QDir(QStringLiteral("/proc/self/fd")).entryList(QDir::Files | QDir::System).size());
}

std::int16_t soundPeak(const std::vector<std::int16_t>& samples)
{
    std::int16_t peak = 0;
    for (const std::int16_t s : samples)
        peak = std::max<std::int16_t>(peak, static_cast<std::int16_t>(std::abs(s)));
    return peak;
}

// The field layout the driver streams now, as a second opener asks for it.
std::uint32_t driverField()
{
    v4l2_format format{};
    format.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
    if (askDriver(VIDIOC_G_FMT, format))
        return format.fmt.pix.field;
    format.type = V4L2_BUF_TYPE_VIDEO_CAPTURE_MPLANE;
    return askDriver(VIDIOC_G_FMT, format) ? format.fmt.pix_mp.field : std::uint32_t(V4L2_FIELD_ANY);
}

// vivid's HDMI input (chosen already) on the first interlaced timings it lists (1080i).
bool setInterlacedDvTimings()
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

void tuneTv(Rig& rig, double countryCode)
{
    rig.orvex->put(Member::TVCountryCode, Value::f64(countryCode));
    rig.start();
}

}  // namespace

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
    void initTestCase()
    {
        if (!qEnvironmentVariableIsSet("ORVEX_IN_KERNEL_VM"))
            QSKIP("Runs inside scripts/with-kernel-devices.sh, which loads vivid and snd-aloop.");
        Node = findNode(camera().card);
        QVERIFY2(!Node.empty(), ("no capture node of \"" + camera().card + "\" in /dev").c_str());
    }

    // A format other than the input's current one, by its listed name: the file holds its size
    // and rate (an AVI's rate is its header's, so frames over duration give it back), and the
    // camera's own microphone where it has one.
    void recordingUsesTheChosenFormat_data()
    {
        QTest::addColumn<QString>("input");
        QTest::addColumn<QString>("format");
        QTest::addColumn<int>("width");
        QTest::addColumn<int>("height");
        QTest::addColumn<double>("rate");
        for (const auto& c : camera().recordings)
            QTest::newRow(c.row) << c.input << c.format << c.width << c.height << c.rate;
    }

    void recordingUsesTheChosenFormat()
    {
        QFETCH(QString, input);
        QFETCH(QString, format);
        QFETCH(int, width);
        QFETCH(int, height);
        QFETCH(double, rate);
        const std::string& microphone = camera().microphone;
        Rig rig(input.toStdString(), !microphone.empty());
        if (!microphone.empty())
            rig.put(Member::AudioDevice, Member::AudioDevices, microphone);
        rig.put(Member::VideoFormat, Member::VideoFormats, format.toStdString());
        const std::string file = rig.recordFor(2000);
        if (file.empty())
            return;
        const auto written = testing::readBack(file);
        // At least the 2 s on the wall: a sound device whose clock timed the recording, and
        // that started late or stalled, left less (6 frames once).
        QVERIFY2(written.readable && written.hasIndex && written.videoEnd > 1.9,
                 qPrintable(QStringLiteral("%1 frames, %2 s").arg(written.videoFrames).arg(written.videoEnd)));
        QCOMPARE(written.width, width);
        QCOMPARE(written.height, height);
        const double inFile = written.videoFrames / written.videoEnd;
        QVERIFY2(std::abs(inFile - rate) < 0.5, qPrintable(QString::number(inFile)));
        if (!microphone.empty())
            QVERIFY2(written.audioEnd > 1.0 && soundPeak(written.sound) > 3000,
                     qPrintable(QStringLiteral("sound %1 s, peak %2").arg(written.audioEnd).arg(soundPeak(written.sound))));
    }

    // Each run opens the node, maps its buffers and streams; none of it may stay behind.
    void startAndStopKeepDescriptorsFlat()
    {
        Rig rig(camera().recordings.front().input);
        const auto cycle = [&] {
            rig.startPreview();
            rig.orvex->call(Member::Stop);
        };
        cycle();
        const int before = openDescriptors();
        for (int round = 0; round < 5 && !QTest::currentTestFailed(); ++round)
            cycle();
        QCOMPARE(openDescriptors(), before);
    }

    // ostrel's window lists the camera before the built-in devices, its own microphone among
    // the sound devices, and first the format the driver has set now; "Preview" shows it.
    void ostrelListsAndPreviewsTheCamera()
    {
        Window<ostrel::Form1> window("ostrel");
        auto& form = window.form;
        auto& toolkit = window.toolkit;
        const int& endedWith = window.endedWith;
        QCOMPARE(form->findChild<QComboBox*>("cboDevice")->itemText(0), QString::fromStdString(camera().card));
        // As the driver has it on the input the window lists first, which the control switched to.
        v4l2_format current{};
        current.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
        QVERIFY(askDriver(VIDIOC_G_FMT, current));
        if (!camera().microphone.empty())
            QVERIFY(form->findChild<QComboBox*>("cboAudioDevice")->findText(QString::fromStdString(camera().microphone)) >= 0);
        const QString size = QStringLiteral(" %1x%2 ").arg(current.fmt.pix.width).arg(current.fmt.pix.height);
        const QString first = form->findChild<QComboBox*>("cboVideoFormat")->itemText(0);
        QVERIFY2(first.contains(size), qPrintable(first));

        form->findChild<QPushButton*>("Command1")->click();
        QVERIFY2(endedWith == -1, qPrintable(toolkit.messageTexts().join('\n')));
        QTRY_VERIFY_WITH_TIMEOUT(window.showsPicture(), 20000);
        QCOMPARE(form->findChild<Orvex*>("Orvex1")->view().errorText(), QString());
    }

    // 10 s of the camera's Motion JPEG, stored as it comes, with its microphone: both streams
    // end together, and the sync marks (the box on the picture, the beep in the sound, both
    // timed from the camera's clock) say how far apart the drivers deliver them.
    void pictureAndSoundOfTheCameraStayInStep()
    {
        if (camera().microphone.empty())
            QSKIP("vivid has no microphone of its own: its sound is checked with the loopback card");
        Rig rig("", true);
        rig.put(Member::AudioDevice, Member::AudioDevices, camera().microphone);
        rig.put(Member::VideoFormat, Member::VideoFormats, "MJPG 1280x720 30 fps");
        const std::string file = rig.recordFor(10000);
        if (file.empty())
            return;
        const auto written = testing::readBack(file);
        QVERIFY(written.readable && written.hasIndex);
        QCOMPARE(written.codecs.front(), std::string("image/jpeg"));
        QCOMPARE(written.width, 1280);
        QCOMPARE(written.height, 720);
        const double rate = written.videoFrames / written.videoEnd;
        QVERIFY2(std::abs(rate - 30.0) < 0.5, qPrintable(QString::number(rate)));
        const SyncReading marks = readSyncMarks(file);
        QString offsets;
        for (const double offset : marks.offsetsMs)
            offsets += QString::number(offset, 'f', 1) + QLatin1Char(' ');
        qInfo("picture %.3f s, sound %.3f s, %d frames; %d flashes, %d beeps; sync offsets (ms, sound after picture): %s",
              written.videoEnd, written.audioEnd, written.videoFrames, int(marks.flashes.size()), int(marks.beeps.size()),
              qPrintable(offsets));
        constexpr double frame = 1.0 / 30;
        // The recording runs on the monotonic clock: the 10 s on the wall, even when a host too
        // busy to give the emulated machine its two cores has the microphone's USB/IP round trips
        // bring only 65 to 95 % of real time.
        QVERIFY2(written.videoEnd > 9.0 && std::abs(written.videoEnd - written.audioEnd) <= frame,
                 qPrintable(QStringLiteral("picture %1 s, sound %2 s").arg(written.videoEnd).arg(written.audioEnd)));
        QVERIFY2(marks.error.empty() && marks.offsetsMs.size() >= 4, marks.error.c_str());
    }

    // Pulled out mid-recording: the file is finalized and the control says the camera is gone;
    // plugged in again, it is listed again without a restart.
    void anUnpluggedCameraFinalizesTheRecordingAndComesBackWhenPluggedIn()
    {
        const int player = qEnvironmentVariableIntValue("ORVEX_USB_WEBCAM_PID");
        if (player <= 0)
            QSKIP("needs the USB webcam's player (ORVEX_USB_WEBCAM_PID) to pull the camera out");
        Rig rig("", true);
        rig.put(Member::AudioDevice, Member::AudioDevices, camera().microphone);
        const std::string file = rig.startRecording();
        if (QTest::currentTestFailed())
            return;
        QTest::qWait(2000);
        QCOMPARE(::kill(player, SIGUSR1), 0);
        QTRY_VERIFY_WITH_TIMEOUT(!rig.orvex->core().statistics().recording, 15000);
        const auto written = testing::readBack(file);
        QVERIFY(written.readable && written.hasIndex && written.videoFrames > 0);
        QTRY_VERIFY_WITH_TIMEOUT(rig.orvex->view().errorText().contains("no longer connected"), 10000);
        const auto listed = [&] {
            const auto video = controltest::names(*rig.orvex, Member::VideoDevices);
            return std::count(video.begin(), video.end(), camera().card) == 1;
        };
        QTRY_VERIFY_WITH_TIMEOUT(!listed(), 10000);
        QCOMPARE(::kill(player, SIGUSR2), 0);
        QTRY_VERIFY_WITH_TIMEOUT(listed(), 30000);
    }

    // Every setting with a control of its own, as the driver describes it on the input.
    void cameraSettingsAreTheDriversAndReachIt_data()
    {
        QTest::addColumn<QString>("input");
        QTest::addColumn<Member>("property");
        QTest::addColumn<std::uint32_t>("control");
        for (const auto& c : camera().settings)
            QTest::addRow("%s %s", *c.input ? c.input : camera().card.c_str(), std::string(memberName(c.property)).c_str())
                << c.input << c.property << c.control;
    }

    // Through mirrane's own window: the input chosen in its list, "Preview", then each slider
    // holds the driver's range and value (disabled where the driver lacks the control), and a
    // slider moved to its ends reaches the driver.
    void cameraSettingsAreTheDriversAndReachIt()
    {
        QFETCH(QString, input);
        QFETCH(Member, property);
        QFETCH(std::uint32_t, control);
        Window<mirrane::Form1> window("mirrane");
        auto& form = window.form;
        auto& toolkit = window.toolkit;
        const int& endedWith = window.endedWith;
        auto* inputs = form->findChild<QComboBox*>("cboVideoInput");
        if (!input.isEmpty())
            inputs->setCurrentIndex(inputs->findText(input));
        QVERIFY(inputs->currentIndex() >= 0);
        form->findChild<QPushButton*>("Command1")->click();
        QVERIFY2(endedWith == -1, qPrintable(toolkit.messageTexts().join('\n')));
        QTRY_VERIFY_WITH_TIMEOUT(window.showsPicture(), 20000);
        QSlider* slider = nullptr;
        for (const auto& [member, name] : mirrane::testing::sliderRows)
            if (member == property)
                slider = form->findChild<QSlider*>(name);
        QVERIFY(slider);

        v4l2_queryctrl query{};
        query.id = control;
        const bool driverHasIt = askDriver(VIDIOC_QUERYCTRL, query) && !(query.flags & V4L2_CTRL_FLAG_DISABLED);
        QCOMPARE(slider->isEnabled(), driverHasIt);
        if (!driverHasIt)
            return;
        QCOMPARE(slider->minimum(), query.minimum);
        QCOMPARE(slider->maximum(), query.maximum);
        // vivid's gain follows its automatic mode, changing every second.
        if (!(query.flags & V4L2_CTRL_FLAG_VOLATILE))
            QCOMPARE(slider->value(), driverControl(control));
        QTest::keyClick(slider, Qt::Key_End);
        QCOMPARE(driverControl(control), query.maximum);
        QTest::keyClick(slider, Qt::Key_Home);
        QCOMPARE(driverControl(control), query.minimum);
        // A white balance put is a manual one: the camera's automatic white balance goes off.
        v4l2_queryctrl automatic{};
        automatic.id = V4L2_CID_AUTO_WHITE_BALANCE;
        if (property == Member::WhiteBalance && askDriver(VIDIOC_QUERYCTRL, automatic))
            QCOMPARE(driverControl(V4L2_CID_AUTO_WHITE_BALANCE), 0);
        QVERIFY2(endedWith == -1, qPrintable(toolkit.messageTexts().join('\n')));
    }

    void loopbackSoundIsRecorded()
    {
        Rig rig("Webcam 0", true);
        const auto audio = controltest::names(*rig.orvex, Member::AudioDevices);
        QCOMPARE(std::set<std::string>(audio.begin(), audio.end()).size(), audio.size());
        QVERIFY(std::count(audio.begin(), audio.end(), LoopbackHearingDevice0) == 1);
        QVERIFY(std::count(audio.begin(), audio.end(), LoopbackHearingDevice1) == 1);
        rig.put(Member::AudioDevice, Member::AudioDevices, LoopbackHearingDevice0);
        rig.put(Member::VideoFormat, Member::VideoFormats, "YUY2 640x360 30 fps");
        LoopbackTone tone;
        const std::string file = rig.recordFor(3000);
        if (file.empty())
            return;
        const auto written = testing::readBack(file);
        QVERIFY(written.readable && written.audioEnd > 2.0);
        QVERIFY2(soundPeak(written.sound) > 3000, qPrintable(QString::number(soundPeak(written.sound)) + tone.said()));
    }

    void aRefusedStreamOnNamesTheVideoSourceAndTheControlGoesOn()
    {
        Rig rig("Webcam 0");
        setVividControl("inject_vidioc_streamon_error", 1);
        try {
            rig.orvex->call(Member::Start);
            QFAIL("Start succeeded although the driver refused to stream");
        } catch (const CaptureError& error) {
            const QString message = QString::fromUtf8(error.what());
            QVERIFY2(message.contains("video source") && message.contains("vivid"), error.what());
        }
        rig.goesOn();
    }

    void aFatalStreamingErrorFinalizesTheRecording()
    {
        Rig rig("Webcam 0");
        rig.faultWhileRecording("inject_fatal_streaming_error");
        if (!QTest::currentTestFailed())
            rig.goesOn();
    }

    // The driver drops a quarter of its frames: the page counts them, and 10 s in the file
    // hold as much picture as sound (an AVI keeps no timestamps, so a gap not filled, in the
    // picture or in the sound, would shorten that stream).
    void droppedBuffersAreCountedAndPictureKeepsUpWithSound()
    {
        Rig rig("Webcam 0", true);
        rig.put(Member::AudioDevice, Member::AudioDevices, LoopbackHearingDevice0);
        rig.put(Member::VideoFormat, Member::VideoFormats, "YUY2 640x360 30 fps");
        setVividControl("percentage_of_dropped_buffers", 25);
        LoopbackTone tone;
        const std::string file = rig.startRecording();
        if (QTest::currentTestFailed())
            return;
        QElapsedTimer recording;
        recording.start();
        QTRY_VERIFY_WITH_TIMEOUT(rig.orvex->core().statistics().fileBytes > 0, 10000);
        const qint64 muxing = recording.elapsed();
        QTest::qWait(10000 - int(muxing));
        const LiveStatistics seen = rig.orvex->core().statistics();
        rig.orvex->call(Member::Stop);
        setVividControl("percentage_of_dropped_buffers", 0);
        const auto written = testing::readBack(file);
        qInfo("picture %.3f s, sound %.3f s; %lld dropped, %lld captured; file written from %lld ms", written.videoEnd,
              written.audioEnd, qlonglong(seen.framesDropped), qlonglong(seen.framesCaptured), muxing);
        constexpr double frame = 1.0 / 30;
        // The start and the end may each lose a few hundred ms on a busy machine (emulated CPU).
        QVERIFY2(written.readable && written.audioEnd > 9.0
                     && std::abs(written.videoEnd - written.audioEnd) <= frame,
                 qPrintable(QStringLiteral("picture %1 s, sound %2 s").arg(written.videoEnd).arg(written.audioEnd)));
        const double share = double(seen.framesDropped) / double(seen.framesDropped + seen.framesCaptured);
        // A busy machine's own drops (the record queue's, vivid falling behind) add to the driver's.
        QVERIFY2(share > 0.15 && share < 0.6, qPrintable(QStringLiteral("%1 dropped, %2 captured")
                                                            .arg(seen.framesDropped).arg(seen.framesCaptured)));
    }

    // Five seconds in which the driver drops every buffer, in the middle of a recording: the
    // view names the camera while it lasts, the file holds the last picture meanwhile and keeps
    // the sound, and picture and sound end together. A small picture: on a loaded host the VM's
    // disk falls behind a larger one, and the sound it then drops is no stall's.
    void aStalledCameraIsNamedAndTheRecordingHoldsItsPicture()
    {
        Rig rig("Webcam 0", true);
        rig.put(Member::AudioDevice, Member::AudioDevices, LoopbackHearingDevice0);
        rig.put(Member::VideoFormat, Member::VideoFormats, "YUY2 320x180 30 fps");
        LoopbackTone tone;
        const std::string file = rig.startRecording();
        if (QTest::currentTestFailed())
            return;
        QElapsedTimer recording;
        recording.start();
        QTest::qWait(2000);
        setVividControl("percentage_of_dropped_buffers", 100);
        const QString said = QString::fromStdString("no picture from " + camera().card + " since ");
        QTRY_VERIFY_WITH_TIMEOUT(rig.orvex->view().pictureWarning().startsWith(said), 5000);
        qInfo("the view said: %s", qPrintable(rig.orvex->view().pictureWarning()));
        QTest::qWait(2500);
        setVividControl("percentage_of_dropped_buffers", 0);
        QTRY_VERIFY_WITH_TIMEOUT(rig.orvex->view().pictureWarning().isEmpty(), 5000);
        QTest::qWait(2000);
        rig.orvex->call(Member::Stop);
        const double recorded = double(recording.elapsed()) / 1000;
        QVERIFY2(rig.orvex->view().errorText().isEmpty(), qPrintable(rig.orvex->view().errorText()));
        const auto written = testing::readBack(file);
        qInfo("picture %.3f s, sound %.3f s, recorded for %.3f s", written.videoEnd, written.audioEnd, recorded);
        constexpr double frame = 1.0 / 30;
        // How long the stall is seen to last follows the monitor's beat, so the recording's length
        // is measured, not assumed; the start and the end may each lose a few hundred ms, as above.
        QVERIFY2(written.readable && written.audioEnd > recorded - 1.0
                     && std::abs(written.videoEnd - written.audioEnd) <= frame,
                 qPrintable(QStringLiteral("picture %1 s, sound %2 s, recorded for %3 s")
                                .arg(written.videoEnd).arg(written.audioEnd).arg(recorded)));
        // The tone of the stall's middle is in the file, not silence in its place.
        const auto rate = std::size_t(written.soundRate);
        QVERIFY(rate > 0 && written.sound.size() > 5 * rate);
        QVERIFY2(soundPeak({written.sound.begin() + std::ptrdiff_t(4 * rate), written.sound.begin() + std::ptrdiff_t(5 * rate)}) > 3000,
                 "silence where the stall was");
    }

    // Buffers the driver flags as erroneous are skipped and counted; the picture goes on.
    void flaggedBuffersAreSkippedAndCounted()
    {
        Rig rig("Webcam 0");
        rig.startPreview();
        if (QTest::currentTestFailed())
            return;
        for (int press = 0; press < 3; ++press) {
            setVividControl("inject_v4l2_buf_flag_error", 1);
            QTest::qWait(300);
        }
        QTRY_VERIFY_WITH_TIMEOUT(rig.orvex->core().statistics().framesBroken >= 1, 5000);
        const qint64 shown = rig.orvex->view().lastFrame().cacheKey();
        QTRY_VERIFY_WITH_TIMEOUT(rig.orvex->view().lastFrame().cacheKey() != shown, 5000);
        QVERIFY2(rig.orvex->view().pictureWarning().startsWith("broken frames skipped: "),
                 qPrintable(rig.orvex->view().pictureWarning()));
        QVERIFY2(rig.orvex->view().errorText().isEmpty(), qPrintable(rig.orvex->view().errorText()));
        rig.orvex->call(Member::Stop);
    }

    // The USB webcam sending one Motion JPEG frame in ORVEX_USB_WEBCAM_BROKEN_EVERY cut short or
    // as garbage, through uvcvideo: the picture goes on, the overlay counts the skipped frames,
    // and a recording stored as the camera sends it holds only pictures FFmpeg decodes whole.
    void brokenMotionJpegFramesAreSkippedAndNotRecorded()
    {
        const int brokenEvery = qEnvironmentVariableIntValue("ORVEX_USB_WEBCAM_BROKEN_EVERY");
        if (camera().motionJpeg.empty() || brokenEvery <= 0)
            QSKIP("needs the USB webcam told to break its Motion JPEG frames (ORVEX_USB_WEBCAM_BROKEN_EVERY)");
        Rig rig("");
        rig.put(Member::VideoFormat, Member::VideoFormats, camera().motionJpeg);
        const std::string file = rig.startRecording();
        if (QTest::currentTestFailed())
            return;
        // A new picture in the view every second.
        QTRY_VERIFY_WITH_TIMEOUT(!rig.orvex->view().lastFrame().isNull(), 10000);
        for (int second = 0; second < 10; ++second) {
            const qint64 shown = rig.orvex->view().lastFrame().cacheKey();
            QTest::qWait(1000);
            QVERIFY2(rig.orvex->view().lastFrame().cacheKey() != shown, qPrintable(QStringLiteral("no new picture in second %1").arg(second + 1)));
        }
        const LiveStatistics seen = rig.orvex->core().statistics();
        const QString warning = rig.orvex->view().pictureWarning();
        rig.orvex->call(Member::Stop);
        QVERIFY2(rig.orvex->view().errorText().isEmpty(), qPrintable(rig.orvex->view().errorText()));
        const auto written = testing::readBack(file);
        qInfo("%lld broken of %lld captured; the overlay said \"%s\"; %d frames, %.3f s in the file", qlonglong(seen.framesBroken),
              qlonglong(seen.framesCaptured), qPrintable(warning), written.videoFrames, written.videoEnd);
        // One frame in N, less the few with the sync mark, which stay whole.
        const double share = double(seen.framesBroken) / double(seen.framesCaptured);
        QVERIFY2(share > 0.6 / brokenEvery && share < 1.4 / brokenEvery,
                 qPrintable(QStringLiteral("%1 broken of %2").arg(seen.framesBroken).arg(seen.framesCaptured)));
        QVERIFY2(warning.startsWith("broken frames skipped: "), qPrintable(warning));
        QVERIFY(written.readable && written.hasIndex);
        QCOMPARE(written.codecs.front(), std::string("image/jpeg"));
        // The broken frames' places hold the picture before them.
        const double rate = written.videoFrames / written.videoEnd;
        QVERIFY2(written.videoEnd > 8.0 && std::abs(rate - 30.0) < 0.5,
                 qPrintable(QStringLiteral("%1 frames, %2 s").arg(written.videoFrames).arg(written.videoEnd)));

        const QString ffmpeg = QStandardPaths::findExecutable(QStringLiteral("ffmpeg"));
        if (ffmpeg.isEmpty())
            QSKIP("ffmpeg is not installed (scripts/install-deps.sh installs it): the recording was not decoded by it");
        QProcess decode;
        decode.start(ffmpeg, {QStringLiteral("-nostdin"), QStringLiteral("-v"), QStringLiteral("error"), QStringLiteral("-i"),
                              QString::fromStdString(file), QStringLiteral("-f"), QStringLiteral("null"), QStringLiteral("-")});
        QVERIFY2(decode.waitForFinished(120000), "ffmpeg did not end within 2 minutes");
        const QByteArray said = decode.readAllStandardError();
        QVERIFY2(decode.exitStatus() == QProcess::NormalExit && decode.exitCode() == 0 && said.isEmpty(),
                 qPrintable(QStringLiteral("ffmpeg ended with %1 and said: %2").arg(decode.exitCode()).arg(QString::fromLocal8Bit(said))));
    }

    void countryCodeSetsTheStandard_data()
    {
        QTest::addColumn<double>("countryCode");
        QTest::addColumn<quint64>("family");
        QTest::newRow("1 United States") << 1.0 << quint64(V4L2_STD_NTSC);
        QTest::newRow("44 United Kingdom") << 44.0 << quint64(V4L2_STD_PAL);
        QTest::newRow("49 Germany") << 49.0 << quint64(V4L2_STD_PAL);
        QTest::newRow("33 France") << 33.0 << quint64(V4L2_STD_SECAM);
        QTest::newRow("81 Japan") << 81.0 << quint64(V4L2_STD_NTSC);
    }

    // tulvik's own Start on vivid, the first device it lists: the typed code sets the standard
    // and the window lists the table's channels that the control offers.
    void countryCodeSetsTheStandard()
    {
        QFETCH(double, countryCode);
        QFETCH(quint64, family);
        WindowRig rig(capture::createOrvex);
        rig.form->show();
        rig.form->load();
        QCOMPARE(rig.devices()->currentText(), QString::fromStdString(camera().card));
        rig.start(QString::number(countryCode));
        QVERIFY2(rig.toolkit.messages().empty(), qPrintable(rig.toolkit.messageTexts().join('\n')));
        QCOMPARE(rig.switches(), Running);
        v4l2_std_id standard = 0;
        QVERIFY(askDriver(VIDIOC_G_STD, standard));
        QVERIFY2((standard & family) != 0 && (standard & ~family) == 0, qPrintable(QString::number(standard, 16)));
        auto* orvex = dynamic_cast<CaptureWidget*>(rig.child<QWidget>("Orvex1"));
        int offered = 0;
        forEachItem(*orvex->collection(Member::TVChannels),
                    [&offered](CaptureItem& channel) { offered += toInt32(channel.available()) != 0; });
        QVERIFY(offered > 0);
        QCOMPARE(rig.channels()->count(), offered);
    }

    // vivid has a station every 6 MHz from 49.25 MHz: American channel 7 (175.25 MHz) is on
    // one, channel 5 (77.25 MHz) between two.
    void theTunedChannelIsAvailableExactlyWithASignal_data()
    {
        QTest::addColumn<double>("channel");
        QTest::addColumn<bool>("station");
        QTest::newRow("7") << 7.0 << true;
        QTest::newRow("5") << 5.0 << false;
    }

    void theTunedChannelIsAvailableExactlyWithASignal()
    {
        QFETCH(double, channel);
        QFETCH(bool, station);
        Rig rig("TV 0");
        tuneTv(rig, 1);
        if (QTest::currentTestFailed())
            return;
        rig.orvex->put(Member::TVChannel, Value::f64(channel));
        v4l2_tuner tuner{};
        QVERIFY(askDriver(VIDIOC_G_TUNER, tuner));
        QCOMPARE(tuner.signal != 0, station);
        const std::string prefix = QString::number(channel).toStdString() + " ";
        auto channels = rig.orvex->collection(Member::TVChannels);
        int seen = 0;
        for (int position = 0; position < channels->count(); ++position) {
            auto item = channels->item(position);
            const bool tuned = toText(item->name()).rfind(prefix, 0) == 0;
            seen += tuned;
            // The others are offered until a station scan: only the tuned one is measured.
            QCOMPARE(toInt32(item->available()) != 0, tuned ? station : true);
        }
        QCOMPARE(seen, 1);
        rig.orvex->call(Member::Stop);
    }

    // In tulvik, a click on channel 7 of the American table leaves vivid at 175.25 MHz, and
    // "Mute" is the driver's audio mute.
    void tunerPutsReachTheDriver()
    {
        WindowRig rig(capture::createOrvex);
        rig.form->show();
        rig.form->load();
        rig.start(QStringLiteral("1"));
        QListWidget* list = rig.channels();
        QListWidgetItem* seven = nullptr;
        for (int row = 0; row < list->count() && !seven; ++row)
            if (list->item(row)->text().startsWith(QLatin1String("7 ")))
                seven = list->item(row);
        QVERIFY(seven);
        list->scrollToItem(seven);
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, list->visualItemRect(seven).center());
        v4l2_frequency frequency{};
        QVERIFY(askDriver(VIDIOC_G_FREQUENCY, frequency));
        QCOMPARE(frequency.frequency * 62.5 / 1000.0, 175.25);  // in units of 62.5 kHz
        auto* mute = rig.child<QCheckBox>("Check1");
        mute->click();
        QCOMPARE(driverControl(V4L2_CID_AUDIO_MUTE), 1);
        mute->click();
        QCOMPARE(driverControl(V4L2_CID_AUDIO_MUTE), 0);
        QVERIFY2(rig.toolkit.messages().empty(), qPrintable(rig.toolkit.messageTexts().join('\n')));
    }

    void tvSnapshotAndRecording()
    {
        Rig rig("TV 0");
        rig.orvex->put(Member::TVCountryCode, Value::f64(1));
        rig.orvex->put(Member::TVChannel, Value::f64(7));
        const std::string file = rig.startRecording();
        if (QTest::currentTestFailed())
            return;
        QTRY_VERIFY_WITH_TIMEOUT(!rig.orvex->view().lastFrame().isNull(), 10000);
        const QString picture = rig.folder.filePath("tv.bmp");
        QCOMPARE(rig.orvex->call(Member::SnapShot, Value::text(picture.toStdString())), Value::boolean(true));
        QVERIFY(!QImage(picture).isNull());
        QTest::qWait(2000);
        rig.orvex->call(Member::Stop);
        const auto written = testing::readBack(file);
        QVERIFY(written.readable && written.hasIndex && written.videoFrames > 0);
        QCOMPARE(written.height, 480);  // NTSC
    }

    // vivid's analog inputs send two fields a frame (PAL: the top one first, pixels 59:54; NTSC:
    // the bottom one first, pixels 10:11), and its pattern moving right fast combs every frame.
    // The driver is asked for its interlaced layout; the view shows whole pictures at about 4:3
    // and the recording keeps the combed frames as they came. Its HDMI input with interlaced
    // timings (1080i, square pixels) sends each field in a buffer of its own whatever is asked:
    // they are woven into whole frames. Each input starts on PAL; a country code has the
    // control put its standard on the tuner.
    void analogInputsShowWholeShapedPicturesAndRecordTheirFields_data()
    {
        QTest::addColumn<QString>("input");
        QTest::addColumn<double>("countryCode");  // 0: none
        QTest::addColumn<QString>("format");
        QTest::addColumn<QSize>("size");
        // The driver's field; INTERLACED stands for its variant in the row's order too.
        QTest::addColumn<std::uint32_t>("sent");
        QTest::addColumn<int>("firstLine");  // the frame line the field taken first starts on
        QTest::addColumn<double>("displayAspect");
        QTest::newRow("TV 0") << "TV 0" << 0.0 << "YUY2 720x576 25 fps" << QSize(720, 576)
                              << std::uint32_t(V4L2_FIELD_INTERLACED) << 0 << 720.0 * 59 / 54 / 576;
        QTest::newRow("TV 0, 525 lines") << "TV 0" << 1.0 << "YUY2 720x480 29.97 fps" << QSize(720, 480)
                                         << std::uint32_t(V4L2_FIELD_INTERLACED) << 1 << 720.0 * 10 / 11 / 480;
        // UYVY: the layout whose last line the deinterlacer reads past.
        QTest::newRow("S-Video 0") << "S-Video 0" << 0.0 << "UYVY 768x576 25 fps" << QSize(768, 576)
                                   << std::uint32_t(V4L2_FIELD_INTERLACED) << 0 << 720.0 * 59 / 54 / 576;
        QTest::newRow("HDMI 0, fields apart") << "HDMI 0" << 0.0 << "YUY2 1280x720 25 fps" << QSize(1280, 720)
                                              << std::uint32_t(V4L2_FIELD_ALTERNATE) << 0 << 1280.0 / 720;
    }

    void analogInputsShowWholeShapedPicturesAndRecordTheirFields()
    {
        QFETCH(QString, input);
        QFETCH(double, countryCode);
        QFETCH(QString, format);
        QFETCH(QSize, size);
        QFETCH(std::uint32_t, sent);
        QFETCH(int, firstLine);
        QFETCH(double, displayAspect);
        const int index = int(std::find(camera().inputs.begin(), camera().inputs.end(), input) - camera().inputs.begin());
        v4l2_dv_timings progressive{};
        if (sent == V4L2_FIELD_ALTERNATE) {
            v4l2Ctl({QStringLiteral("-i"), QString::number(index)});
            QVERIFY(askDriver(VIDIOC_G_DV_TIMINGS, progressive));
            QVERIFY(setInterlacedDvTimings());
        } else {
            palWithDefaultPicture(index);
        }
        const auto restore = qScopeGuard([&] {
            if (sent == V4L2_FIELD_ALTERNATE)
                askDriver(VIDIOC_S_DV_TIMINGS, progressive);
        });
        setVividControl(QStringLiteral("horizontal_movement"), 6);  // "Move Right Fast"
        const auto still = qScopeGuard([] { setVividControl(QStringLiteral("horizontal_movement"), 3); });
        Rig rig(input.toStdString());
        if (countryCode != 0)
            rig.orvex->put(Member::TVCountryCode, Value::f64(countryCode));
        rig.put(Member::VideoFormat, Member::VideoFormats, format.toStdString());
        const std::string file = rig.startRecording();
        if (QTest::currentTestFailed())
            return;
        QTRY_VERIFY_WITH_TIMEOUT(!rig.orvex->view().lastFrame().isNull(), 10000);
        const std::uint32_t field = driverField();
        const std::uint32_t ordered = firstLine == 0 ? V4L2_FIELD_INTERLACED_TB : V4L2_FIELD_INTERLACED_BT;
        QVERIFY2(field == sent || (sent == V4L2_FIELD_INTERLACED && field == ordered), qPrintable(QString::number(field)));
        QTest::qWait(2000);
        const QImage shown = rig.orvex->view().lastFrame();
        rig.orvex->call(Member::Stop);

        const picture::Combing inView = picture::combing(shown, shown.rect());
        const QSize display = displaySize(shown);
        const QImage recorded = recordedFrame(file, 10);
        QVERIFY(!recorded.isNull());
        const picture::Combing inFile = picture::combing(recorded, recorded.rect());
        qInfo("combing: view %.2f against %.2f, file %.2f against %.2f; shown %dx%d", inView.betweenFields,
              inView.withinField, inFile.betweenFields, inFile.withinField, display.width(), display.height());
        QVERIFY(inView.betweenFields < inView.withinField);
        QVERIFY(inFile.betweenFields > 1.5 * inFile.withinField);
        QCOMPARE(recorded.size(), size);
        // Two fields a frame in the header, in the order they were taken.
        const auto properties = testing::readBack(file).videoProperties;
        QCOMPARE(properties.fields.size(), std::size_t(2));
        QCOMPARE(properties.fields[0].startLine, firstLine);
        QCOMPARE(properties.fields[1].startLine, 1 - firstLine);
        QCOMPARE(properties.fields[0].height, size.height() / 2);
        // 4:3 whatever the sampling of 625 or 525 lines (720 samples of 59:54 or 10:11 pixels);
        // 16:9 for 1080i.
        QVERIFY2(std::abs(double(display.width()) / display.height() - displayAspect) < 0.01,
                 qPrintable(QStringLiteral("%1x%2").arg(display.width()).arg(display.height())));

        // The same shape as another program reads the file: FFmpeg's sample aspect ("N/A" is square).
        const QString ffprobe = QStandardPaths::findExecutable(QStringLiteral("ffprobe"));
        if (ffprobe.isEmpty())
            QSKIP("ffprobe is not installed (scripts/install-deps.sh installs it): the file's sample aspect was not read by it");
        QProcess probe;
        probe.start(ffprobe, {QStringLiteral("-v"), QStringLiteral("error"), QStringLiteral("-select_streams"), QStringLiteral("v:0"),
                              QStringLiteral("-show_entries"), QStringLiteral("stream=sample_aspect_ratio"), QStringLiteral("-of"),
                              QStringLiteral("csv=p=0"), QString::fromStdString(file)});
        QVERIFY(probe.waitForFinished(60000));
        const QString read = QString::fromLocal8Bit(probe.readAllStandardOutput()).trimmed();
        const QStringList ratio = read.split(QLatin1Char(':'));
        const double pixel = read == QStringLiteral("N/A") ? 1.0
                             : ratio.size() == 2 && ratio[1].toDouble() > 0 ? ratio[0].toDouble() / ratio[1].toDouble()
                                                                            : 0.0;
        QVERIFY2(std::abs(pixel * size.width() / size.height() - displayAspect) < 0.01, qPrintable(read));
    }

    // vivid's TV input stores the two fields one after the other when asked (SEQ_TB): the
    // control's own source weaves them back into the frame vivid sends interleaved. Its pattern
    // of alternating lines, still and without text, makes fields swapped or left unwoven differ
    // on every line.
    void fieldsInTurnAreWovenIntoTheInterlacedFrame()
    {
        gst_init(nullptr, nullptr);  // no control made here yet
        const int index = int(std::find(camera().inputs.begin(), camera().inputs.end(), "TV 0") - camera().inputs.begin());
        palWithDefaultPicture(index);
        v4l2Ctl({QStringLiteral("-f"), QStringLiteral("175.25")});  // a station: a picture, not noise
        setVividControl(QStringLiteral("test_pattern"), 15);  // "Alternating Hor Lines"
        setVividControl(QStringLiteral("osd_text_mode"), 2);   // "None"
        const auto restore = qScopeGuard([] {
            setVividControl(QStringLiteral("test_pattern"), 0);
            setVividControl(QStringLiteral("osd_text_mode"), 0);
        });
        v4l2_capability node{};
        QVERIFY(askDriver(VIDIOC_QUERYCAP, node));
        const auto api = node.device_caps & V4L2_CAP_VIDEO_CAPTURE ? capture::V4l2MappedStream::Api::SinglePlanar
                                                                   : capture::V4l2MappedStream::Api::MultiPlanar;
        // The luma of the fifth frame streamed with the fields laid out as asked.
        const auto streamed = [&](std::uint32_t field) {
            const CapsPtr caps(gst_caps_from_string("video/x-raw, format=YUY2, width=720, height=576, framerate=25/1, "
                                                    "interlace-mode=interleaved, field-order=top-field-first"));
            ElementPtr pipeline(gst_pipeline_new(nullptr));
            ElementPtr source = capture::createV4l2MappedSource(Node, api, V4L2_PIX_FMT_YUYV, caps.get(), field);
            GstElement* sink = gst_element_factory_make("appsink", nullptr);
            gst_bin_add_many(GST_BIN(pipeline.get()), source.get(), sink, nullptr);
            gst_element_link(source.get(), sink);
            gst_element_set_state(pipeline.get(), GST_STATE_PLAYING);
            QImage luma;
            for (int frame = 0; frame < 5; ++frame) {
                SamplePtr sample(gst_app_sink_try_pull_sample(GST_APP_SINK(sink), 5 * GST_SECOND));
                if (!sample || frame < 4)
                    continue;
                GstMapInfo map;
                GstBuffer* buffer = gst_sample_get_buffer(sample.get());
                gst_buffer_map(buffer, &map, GST_MAP_READ);
                luma = QImage(720, 576, QImage::Format_Grayscale8);
                for (int y = 0; y < 576; ++y)
                    for (int x = 0; x < 720; ++x)
                        luma.scanLine(y)[x] = map.data[(std::size_t(y) * 720 + std::size_t(x)) * 2];
                gst_buffer_unmap(buffer, &map);
            }
            gst_element_set_state(pipeline.get(), GST_STATE_NULL);
            return luma;
        };
        const auto difference = [](const QImage& a, const QImage& b, int shift) {
            double sum = 0;
            for (int y = 0; y < a.height(); ++y)
                for (int x = 0; x < a.width(); ++x)
                    sum += std::abs(a.scanLine(y)[x] - b.scanLine(y ^ shift)[x]);
            return sum / (double(a.width()) * a.height());
        };
        const QImage interlaced = streamed(V4L2_FIELD_INTERLACED);
        QCOMPARE(driverField(), std::uint32_t(V4L2_FIELD_INTERLACED));
        const QImage woven = streamed(V4L2_FIELD_SEQ_TB);
        QCOMPARE(driverField(), std::uint32_t(V4L2_FIELD_SEQ_TB));
        QVERIFY(!interlaced.isNull() && !woven.isNull());
        const double same = difference(woven, interlaced, 0);
        const double swapped = difference(woven, interlaced, 1);  // each line against its neighbour in the other field
        qInfo("woven against interlaced: %.2f levels, against its fields swapped: %.2f", same, swapped);
        QVERIFY(same < 1.0);
        QVERIFY(swapped > 50.0);
    }

    // Every control v4l2-ctl lists on the node is on the page, on each input, with the widget
    // its type calls for and, for a menu, the entries the driver answers.
    void everyControlIsOnThePage_data()
    {
        QTest::addColumn<int>("input");
        QTest::addColumn<QString>("name");
        int index = 0;
        for (const char* input : camera().inputs)
            QTest::newRow(input) << index++ << input;
    }

    void everyControlIsOnThePage()
    {
        QFETCH(int, input);
        QFETCH(QString, name);
        QVERIFY(askDriver(VIDIOC_S_INPUT, input));
        Rig rig(name.toStdString());
        const std::vector<pagecontrols::ListedControl> listed = pagecontrols::listedControls(Node.c_str());
        QVERIFY(!listed.empty());
        int rows = -1;
        pagecontrols::onThePage(*rig.orvex, [&](QDialog& page) {
            auto* panel = page.findChild<QWidget*>("deviceControls");
            QVERIFY(panel);
            rows = 0;
            for (const QLabel* label : panel->findChildren<QLabel*>())
                rows += label->objectName().endsWith(QLatin1String("Status"));
            for (const pagecontrols::ListedControl& control : listed) {
                QWidget* editor = panel->findChild<QWidget*>(control.key);
                QVERIFY2(editor, qPrintable(control.key));
                QVERIFY2(editor->metaObject()->className() == pagecontrols::widgetFor(control),
                         qPrintable(control.key + ": " + editor->metaObject()->className()));
                if (auto* menu = qobject_cast<QComboBox*>(editor))
                    QVERIFY2(menu->count() == control.entries, qPrintable(control.key));
            }
        });
        qInfo("%s: %d controls on the page, %d listed by v4l2-ctl", qPrintable(name), rows, int(listed.size()));
        QCOMPARE(rows, int(listed.size()));
    }

    // What the page sets a second opener reads; what a second opener sets shows on the page
    // within 100 ms; automatic gain greys and ungreys Gain; "Reset to Defaults" leaves every
    // control the driver does not change itself at its default.
    void thePageSetsFollowsAndResetsTheDriver()
    {
        int webcam = 0;
        QVERIFY(askDriver(VIDIOC_S_INPUT, webcam));
        Rig rig("Webcam 0");
        const std::vector<pagecontrols::ListedControl> listed = pagecontrols::listedControls(Node.c_str());
        const auto idOf = [&](const QString& key) {
            for (const auto& control : listed)
                if (control.key == key)
                    return control.id;
            return 0u;
        };
        pagecontrols::onThePage(*rig.orvex, [&](QDialog& page) {
            auto* menu = page.findChild<QComboBox*>("menu");
            QVERIFY(menu && menu->count() > 1);
            menu->setCurrentIndex(menu->count() - 1);
            emit menu->activated(menu->currentIndex());
            QCOMPARE(driverControl(idOf("menu")), menu->currentData().toInt());

            auto* wide = page.findChild<QLineEdit*>("integer_64_bits");
            QVERIFY(wide);
            wide->setText(QStringLiteral("-1234567890123"));
            wide->setModified(true);
            emit wide->editingFinished();
            QCOMPARE(pagecontrols::controlValueOn(Node.c_str(), idOf("integer_64_bits")), QStringLiteral("-1234567890123"));

            auto* brightness = page.findChild<QSlider*>("brightness");
            QVERIFY(brightness);
            // The page's first paint, slow on the VM's emulated processor, is not what is measured.
            QTest::qWait(1500);
            // Five changes, so that a moment in which the host starves the VM's processor is
            // not taken for the page's delay: the median must be within 100 ms.
            std::vector<int> delays;
            for (int round = 0; round < 5; ++round) {
                const int wanted = 60 + round;
                v4l2_control elsewhere{V4L2_CID_BRIGHTNESS, wanted};
                QVERIFY(askDriver(VIDIOC_S_CTRL, elsewhere));
                const int followed = pagecontrols::millisecondsUntil([&] { return brightness->value() == wanted; });
                QVERIFY2(followed >= 0, "a second opener's brightness never showed on the page");
                delays.push_back(followed);
                QTest::qWait(200);
            }
            std::sort(delays.begin(), delays.end());
            qInfo("a second opener's brightness showed on the page after %d, %d, %d, %d and %d ms", delays[0], delays[1],
                  delays[2], delays[3], delays[4]);
            QVERIFY2(delays[2] <= 100, qPrintable(QString::number(delays[2])));

            auto* automatic = page.findChild<QCheckBox*>("gain_automatic");
            auto* gain = page.findChild<QSlider*>("gain");
            QVERIFY(automatic && gain);
            for (int round = 0; round < 2; ++round) {
                const bool wasOn = automatic->isChecked();
                QCOMPARE(gain->isEnabled(), !wasOn);
                automatic->click();
                QCOMPARE(driverControl(V4L2_CID_AUTOGAIN), wasOn ? 0 : 1);
                QTRY_COMPARE_WITH_TIMEOUT(gain->isEnabled(), wasOn, 1000);
            }

            page.findChild<QPushButton*>("resetToDefaults")->click();
            for (const pagecontrols::ListedControl& control : listed) {
                v4l2_query_ext_ctrl query{};
                query.id = control.id;
                QVERIFY(askDriver(VIDIOC_QUERY_EXT_CTRL, query));
                const std::uint32_t ownValue = V4L2_CTRL_FLAG_READ_ONLY | V4L2_CTRL_FLAG_WRITE_ONLY | V4L2_CTRL_FLAG_VOLATILE
                    | V4L2_CTRL_FLAG_INACTIVE | V4L2_CTRL_FLAG_HAS_PAYLOAD;
                if ((query.flags & ownValue) && query.type != V4L2_CTRL_TYPE_STRING)
                    continue;
                if (control.array || query.type == V4L2_CTRL_TYPE_BUTTON)
                    continue;
                QVERIFY2(pagecontrols::controlValueOn(Node.c_str(), control.id) == pagecontrols::controlValueOn(Node.c_str(), control.id, V4L2_CTRL_WHICH_DEF_VAL),
                         qPrintable(control.key + ": " + pagecontrols::controlValueOn(Node.c_str(), control.id)));
                auto* status = page.findChild<QLabel*>(control.key + QStringLiteral("Status"));
                QVERIFY2(status && status->text().isEmpty(), qPrintable(control.key + ": " + (status ? status->text() : QString())));
            }
        });
    }

    // A camera's automatic exposure set to manual on the page makes its exposure time settable
    // there, and the value reaches the driver.
    void manualExposureMakesTheExposureTimeSettable()
    {
        v4l2_queryctrl automatic{};
        automatic.id = V4L2_CID_EXPOSURE_AUTO;
        if (!askDriver(VIDIOC_QUERYCTRL, automatic))
            QSKIP("the camera has no automatic exposure");
        Rig rig("");
        pagecontrols::onThePage(*rig.orvex, [&](QDialog& page) {
            auto* mode = page.findChild<QComboBox*>("auto_exposure");
            auto* time = page.findChild<QSpinBox*>("exposure_time_absoluteValue");
            QVERIFY(mode && time);
            mode->setCurrentIndex(mode->findData(QVariant::fromValue<qlonglong>(V4L2_EXPOSURE_APERTURE_PRIORITY)));
            emit mode->activated(mode->currentIndex());
            QTRY_VERIFY_WITH_TIMEOUT(!time->isEnabled(), 2000);
            mode->setCurrentIndex(mode->findData(QVariant::fromValue<qlonglong>(V4L2_EXPOSURE_MANUAL)));
            emit mode->activated(mode->currentIndex());
            QCOMPARE(driverControl(V4L2_CID_EXPOSURE_AUTO), int(V4L2_EXPOSURE_MANUAL));
            QTRY_VERIFY_WITH_TIMEOUT(time->isEnabled(), 2000);
            const int wanted = time->minimum() + (time->maximum() - time->minimum()) / 3;
            time->setValue(wanted);
            QCOMPARE(driverControl(V4L2_CID_EXPOSURE_ABSOLUTE), wanted);
        });
    }

    // While another program streams vivid, a preview waits for it and the control's own open
    // still sets the controls: through the page, and through the puts mirrane's sliders make.
    void controlsAreSetWhileAnotherProgramStreams()
    {
        OtherStreamer streamer;
        QVERIFY(streamer.streams());
        Rig rig("Webcam 0");
        // The preview waits, naming the program that streams.
        rig.start();
        QVERIFY2(rig.orvex->view().errorText().contains(streamer.named()), qPrintable(rig.orvex->view().errorText()));
        rig.orvex->put(Member::Brightness, Value::i32(200));
        QCOMPARE(driverControl(V4L2_CID_BRIGHTNESS), 200);
        pagecontrols::onThePage(*rig.orvex, [&](QDialog& page) {
            auto* value = page.findChild<QSpinBox*>("brightnessValue");
            QVERIFY(value);
            value->setValue(60);
            QCOMPARE(driverControl(V4L2_CID_BRIGHTNESS), 60);
            QVERIFY(page.findChild<QLabel*>("brightnessStatus")->text().isEmpty());
        });
        QVERIFY(streamer.streams());

        // Once it ends, the picture comes by itself.
        streamer.end();
        QTRY_VERIFY_WITH_TIMEOUT(!rig.orvex->view().lastFrame().isNull(), 15000);
        QVERIFY2(rig.orvex->view().errorText().isEmpty(), qPrintable(rig.orvex->view().errorText()));
        rig.orvex->call(Member::Stop);
    }

    // A window's "Preview" on a camera another program streams: no window closes, the picture
    // area names the program, mirrane's Brightness slider reaches the driver, and the picture
    // comes once the program ends.
    void previewWaitsForAProgramThatStreams_data()
    {
        QTest::addColumn<QString>("program");
        QTest::newRow("mirrane") << QStringLiteral("mirrane");
        QTest::newRow("ostrel") << QStringLiteral("ostrel");
    }

    void previewWaitsForAProgramThatStreams()
    {
        QFETCH(QString, program);
        if (program == QLatin1String("mirrane"))
            previewWaitsFor<mirrane::Form1>("mirrane");
        else
            previewWaitsFor<ostrel::Form1>("ostrel");
    }

    // Last: a disconnected vivid stays gone until its module is loaded again.
    void aDisconnectFinalizesTheRecordingAndSaysTheDeviceIsGone()
    {
        // The tuner cases leave vivid on its TV input; put it back as another program would.
        int webcam = 0;
        QVERIFY(askDriver(VIDIOC_S_INPUT, webcam));
        Rig rig("Webcam 0");
        rig.faultWhileRecording("disconnect");
        if (QTest::currentTestFailed())
            return;
        const QString said = rig.orvex->view().errorText();
        QVERIFY2(said.contains("vivid") && said.contains("no longer connected"), qPrintable(said));
        QVERIFY(rig.window.isVisible());
    }
};

QTEST_MAIN(KernelDevicesTest)
#include "KernelDevicesTest.moc"
