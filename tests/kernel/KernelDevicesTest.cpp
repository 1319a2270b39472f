// The real control on the kernel's own virtual devices: vivid's webcam and TV tuner, and the
// ALSA loopback card. Runs inside the VM of scripts/with-kernel-devices.sh, which loads both
// drivers; the control finds them by its ordinary /dev scan.

#include "capture/engine/OrvexCore.h"
#include "capture/view/VideoView.h"
#include "tests/control/ControlRig.h"
#include "tests/engine/AviReadBack.h"

#include <QDir>
#include <QImage>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include <fcntl.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <linux/videodev2.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <set>

using namespace capture;

namespace {

const char* const Node = "/dev/video0";
const std::string Vivid = "vivid";

// One ioctl from a second opener, as v4l2-ctl would ask: false when the driver refuses.
template <typename Argument>
bool askDriver(unsigned long request, Argument& argument)
{
    const int fd = ::open(Node, O_RDWR | O_NONBLOCK);
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

// vivid's test controls (fault injection, dropped buffers) by the names v4l2-ctl gives them.
void setVividControl(const QString& name, int value)
{
    QProcess ctl;
    ctl.start(QStringLiteral("v4l2-ctl"), {QStringLiteral("-d"), QString::fromLatin1(Node), QStringLiteral("-c"),
                                            QStringLiteral("%1=%2").arg(name).arg(value)});
    QVERIFY2(ctl.waitForFinished(10000) && ctl.exitCode() == 0, qPrintable(ctl.readAllStandardError()));
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

    explicit Rig(const std::string& input, bool sound = false)
    {
        orvex->resize(320, 240);
        window.show();
        orvex->put(Member::CaptureAudio, Value::boolean(sound));
        put(Member::VideoDevice, Member::VideoDevices, Vivid);
        put(Member::VideoInput, Member::VideoInputs, input);
    }

    void put(Member choice, Member list, const std::string& name)
    {
        const int index = controltest::indexOf(*orvex, list, name);
        QVERIFY2(index >= 0, name.c_str());
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
        const std::string file = folder.filePath("vivid.avi").toStdString();
        orvex->put(Member::CaptureToFile, Value::boolean(true));
        orvex->put(Member::CaptureFileName, Value::text(file));
        start();
        [&] { QTRY_VERIFY_WITH_TIMEOUT(orvex->core().statistics().framesCaptured > 0, 20000); }();
        return file;
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

void tuneTv(Rig& rig, double countryCode)
{
    rig.orvex->put(Member::TVCountryCode, Value::f64(countryCode));
    rig.start();
}

}  // namespace

class KernelDevicesTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase()
    {
        if (!qEnvironmentVariableIsSet("ORVEX_IN_KERNEL_VM"))
            QSKIP("Runs inside scripts/with-kernel-devices.sh, which loads vivid and snd-aloop.");
        v4l2_capability caps{};
        QVERIFY2(askDriver(VIDIOC_QUERYCAP, caps), "vivid's /dev/video0 does not answer");
        QCOMPARE(reinterpret_cast<const char*>(caps.card), Vivid.c_str());
    }

    // On a multi-planar vivid, YUY2 pictures start after a data offset; NV12's two planes
    // share one buffer.
    void webcamRecordingUsesTheChosenFormat_data()
    {
        QTest::addColumn<QString>("format");
        QTest::newRow("YUY2") << QStringLiteral("YUY2 640x360 30 fps");
        QTest::newRow("NV12") << QStringLiteral("NV12 640x360 30 fps");
    }

    void webcamRecordingUsesTheChosenFormat()
    {
        QFETCH(QString, format);
        Rig rig("Webcam 0");
        rig.put(Member::VideoFormat, Member::VideoFormats, format.toStdString());
        const std::string file = rig.startRecording();
        if (QTest::currentTestFailed())
            return;
        QTRY_VERIFY_WITH_TIMEOUT(!rig.orvex->view().lastFrame().isNull(), 10000);
        QTest::qWait(3000);
        rig.orvex->call(Member::Stop);
        const auto written = testing::readBack(file);
        QVERIFY(written.readable && written.hasIndex);
        QCOMPARE(written.width, 640);
        QCOMPARE(written.height, 360);
        const double rate = written.videoFrames / written.videoEnd;
        QVERIFY2(rate > 27 && rate < 31, qPrintable(QString::number(rate)));
    }

    // Each run opens the node, maps its buffers and streams; none of it may stay behind.
    void startAndStopKeepDescriptorsFlat()
    {
        Rig rig("Webcam 0");
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

    void cameraSettingsAreTheDriversAndReachIt_data()
    {
        QTest::addColumn<Member>("property");
        QTest::addColumn<std::uint32_t>("control");
        QTest::newRow("brightness") << Member::Brightness << std::uint32_t(V4L2_CID_BRIGHTNESS);
        QTest::newRow("contrast") << Member::Contrast << std::uint32_t(V4L2_CID_CONTRAST);
        QTest::newRow("saturation") << Member::Saturation << std::uint32_t(V4L2_CID_SATURATION);
        QTest::newRow("hue") << Member::Hue << std::uint32_t(V4L2_CID_HUE);
    }

    void cameraSettingsAreTheDriversAndReachIt()
    {
        QFETCH(Member, property);
        QFETCH(std::uint32_t, control);
        Rig rig("Webcam 0");
        rig.startPreview();
        if (QTest::currentTestFailed())
            return;
        v4l2_queryctrl query{};
        query.id = control;
        QVERIFY(askDriver(VIDIOC_QUERYCTRL, query));
        const RangeNumbering numbering = rangeNumbering(property);
        auto range = rig.orvex->cameraProperty(property);
        QCOMPARE(toInt32(range->get(numbering.min)), query.minimum);
        QCOMPARE(toInt32(range->get(numbering.max)), query.maximum);
        QCOMPARE(toInt32(range->get(numbering.value)), driverControl(control));

        const std::int32_t wanted = query.maximum - query.step;
        rig.orvex->put(property, Value::i32(wanted));
        QCOMPARE(driverControl(control), wanted);
        rig.orvex->call(Member::Stop);
    }

    void loopbackSoundIsRecorded()
    {
        Rig rig("Webcam 0", true);
        const auto audio = controltest::names(*rig.orvex, Member::AudioDevices);
        QCOMPARE(std::set<std::string>(audio.begin(), audio.end()).size(), audio.size());
        QVERIFY(std::count(audio.begin(), audio.end(), "Loopback #2") == 1);
        rig.put(Member::AudioDevice, Member::AudioDevices, "Loopback");
        rig.put(Member::VideoFormat, Member::VideoFormats, "YUY2 640x360 30 fps");
        LoopbackTone tone;
        const std::string file = rig.startRecording();
        if (QTest::currentTestFailed())
            return;
        QTest::qWait(3000);
        rig.orvex->call(Member::Stop);
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

    // The driver drops a quarter of its frames: the page counts them, and the file still holds
    // as much picture as sound (an AVI keeps no timestamps, so a gap not filled would shorten it).
    void droppedBuffersAreCountedAndPictureKeepsUpWithSound()
    {
        Rig rig("Webcam 0", true);
        rig.put(Member::AudioDevice, Member::AudioDevices, "Loopback");
        rig.put(Member::VideoFormat, Member::VideoFormats, "YUY2 640x360 30 fps");
        setVividControl("percentage_of_dropped_buffers", 25);
        LoopbackTone tone;
        const std::string file = rig.startRecording();
        if (QTest::currentTestFailed())
            return;
        QTest::qWait(4000);
        const LiveStatistics seen = rig.orvex->core().statistics();
        rig.orvex->call(Member::Stop);
        setVividControl("percentage_of_dropped_buffers", 0);
        const auto written = testing::readBack(file);
        constexpr double frame = 1.0 / 30, soundBuffer = 0.025;
        QVERIFY2(written.readable && written.audioEnd > 3.0
                     && std::abs(written.videoEnd - written.audioEnd) <= frame + soundBuffer,
                 qPrintable(QStringLiteral("picture %1 s, sound %2 s").arg(written.videoEnd).arg(written.audioEnd)));
        const double share = double(seen.framesDropped) / double(seen.framesDropped + seen.framesCaptured);
        QVERIFY2(share > 0.1 && share < 0.4, qPrintable(QStringLiteral("%1 dropped, %2 captured")
                                                            .arg(seen.framesDropped).arg(seen.framesCaptured)));
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

    void countryCodeSetsTheStandard()
    {
        QFETCH(double, countryCode);
        QFETCH(quint64, family);
        Rig rig("TV 0");
        QCOMPARE(rig.orvex->get(Member::HasTVTuner), Value::boolean(true));
        tuneTv(rig, countryCode);
        if (QTest::currentTestFailed())
            return;
        v4l2_std_id standard = 0;
        QVERIFY(askDriver(VIDIOC_G_STD, standard));
        QVERIFY2((standard & family) != 0 && (standard & ~family) == 0, qPrintable(QString::number(standard, 16)));
        QVERIFY(rig.orvex->collection(Member::TVChannels)->count() > 0);
        rig.orvex->call(Member::Stop);
    }

    // Channel 7 of the American table is 175.25 MHz; Mute is the driver's audio mute.
    void tunerPutsReachTheDriver()
    {
        Rig rig("TV 0");
        tuneTv(rig, 1);
        if (QTest::currentTestFailed())
            return;
        rig.orvex->put(Member::TVChannel, Value::f64(7));
        v4l2_frequency frequency{};
        QVERIFY(askDriver(VIDIOC_G_FREQUENCY, frequency));
        QCOMPARE(frequency.frequency * 62.5 / 1000.0, 175.25);  // in units of 62.5 kHz
        rig.orvex->put(Member::TVMute, Value::boolean(true));
        QCOMPARE(driverControl(V4L2_CID_AUDIO_MUTE), 1);
        rig.orvex->put(Member::TVMute, Value::boolean(false));
        QCOMPARE(driverControl(V4L2_CID_AUDIO_MUTE), 0);
        rig.orvex->call(Member::Stop);
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
