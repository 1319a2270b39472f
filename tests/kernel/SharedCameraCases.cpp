// A camera that a desktop's PipeWire session manages, shared with another program.

#include "KernelDevicesTest.h"

#include "capture/v4l2/PipeWireCameras.h"

namespace {

// Taking the camera's pictures through PipeWire in one format, as a browser or a video call
// would; it says each picture it gets.
class PipeWireViewer : public GstLaunch {
public:
    PipeWireViewer(const std::string& target, const QString& caps)
        : GstLaunch({QStringLiteral("-v"), QStringLiteral("pipewiresrc"),
                     QStringLiteral("target-object=%1").arg(QString::fromStdString(target)), QStringLiteral("!"), caps,
                     QStringLiteral("!"), QStringLiteral("fakesink"), QStringLiteral("silent=false")})
    {
    }

    // The pictures it has had so far.
    int pictures()
    {
        m_pictures += int(m_process.readAllStandardOutput().count("chain"));
        return m_pictures;
    }

private:
    int m_pictures = 0;
};

// A listed format ("YUY2 640x360 30 fps") as caps on a pad.
QString capsOfListed(const RecordingCase& format)
{
    const QString pixels = QString::fromLatin1(format.format).section(QLatin1Char(' '), 0, 0);
    const QString shape = QStringLiteral("width=%1,height=%2,framerate=%3/1").arg(format.width).arg(format.height).arg(int(format.rate));
    return pixels == QLatin1String("MJPG") ? QStringLiteral("image/jpeg,") + shape
                                           : QStringLiteral("video/x-raw,format=%1,").arg(pixels) + shape;
}

}  // namespace

// Another program takes the camera through PipeWire first. The control lists the camera once; a
// start in another format is refused at once, PipeWire giving one camera one format; in the
// other program's format, the control records at that size and rate with sound to its end while
// the other keeps getting pictures, and a third that starts meanwhile gets them too. On the USB
// webcam in Motion JPEG, stored as sent.
void KernelDevicesTest::aCameraIsSharedThroughPipeWire()
{
    if (!qEnvironmentVariableIsSet("ORVEX_PIPEWIRE_SESSION"))
        QSKIP("needs PipeWire and WirePlumber in the VM (ORVEX_KERNEL_VM_PIPEWIRE=1)");
    const auto shared = pipeWireCameraOf(Node);
    QVERIFY2(shared, ("PipeWire lists no node for " + Node).c_str());
    const auto& recordings = camera().recordings;
    const RecordingCase& chosen =
        *std::find_if(recordings.begin(), recordings.end(), [](const RecordingCase& c) {
            return camera().motionJpeg.empty() || QByteArray(c.format).startsWith("MJPG");
        });
    PipeWireViewer other(shared->target, capsOfListed(chosen));
    QTRY_VERIFY2_WITH_TIMEOUT(other.pictures() > 10, qPrintable(other.said()), 30000);

    Rig rig(chosen.input, true);
    const auto names = controltest::names(*rig.orvex, Member::VideoDevices);
    QCOMPARE(std::count(names.begin(), names.end(), camera().card), 1);
    const RecordingCase& another = *std::find_if(recordings.begin(), recordings.end(), [&](const RecordingCase& c) { return &c != &chosen; });
    rig.put(Member::VideoFormat, Member::VideoFormats, another.format);
    QElapsedTimer refused;
    refused.start();
    try {
        rig.orvex->call(Member::Start);
        QFAIL("a start in a format other than the one PipeWire streams the camera in went through");
    } catch (const CaptureError& error) {
        qInfo("in another format, refused in %lld ms: %s", static_cast<long long>(refused.elapsed()), error.what());
        QVERIFY2(QByteArray(error.what()).contains("could not agree on a picture format"), error.what());
    }
    rig.orvex->call(Member::Stop);
    rig.put(Member::AudioDevice, Member::AudioDevices, camera().microphone.empty() ? "Test Tone" : camera().microphone);
    rig.put(Member::VideoFormat, Member::VideoFormats, chosen.format);
    const int before = other.pictures();
    QElapsedTimer recorded;
    recorded.start();
    const std::string file = rig.startRecording();
    if (QTest::currentTestFailed())
        return;
    // A program that starts later shares the camera too, and the recording goes on.
    PipeWireViewer later(shared->target, capsOfListed(chosen));
    QTRY_VERIFY2_WITH_TIMEOUT(later.pictures() > 10, qPrintable(later.said()), 30000);
    const auto captured = rig.orvex->core().statistics().framesCaptured;
    QTest::qWait(std::max<int>(2000, int(5000 - recorded.elapsed())));
    QVERIFY(rig.orvex->core().statistics().framesCaptured > captured + std::int64_t(chosen.rate));
    rig.orvex->call(Member::Stop);
    const int during = other.pictures() - before;
    QVERIFY2(during > 4 * chosen.rate, qPrintable(QStringLiteral("the other program had %1 pictures meanwhile").arg(during)));

    const auto written = testing::readBack(file);
    qInfo("the other program had %d pictures meanwhile; picture %.3f s (%d frames), sound %.3f s", during,
          written.videoEnd, written.videoFrames, written.audioEnd);
    QVERIFY(written.readable && written.hasIndex && written.videoEnd > 4.5);
    QCOMPARE(written.width, chosen.width);
    QCOMPARE(written.height, chosen.height);
    QVERIFY2(std::abs(written.videoFrames / written.videoEnd - chosen.rate) < 0.5, qPrintable(QString::number(written.videoFrames / written.videoEnd)));
    if (!camera().motionJpeg.empty())
        QCOMPARE(written.codecs.front(), std::string("image/jpeg"));
    QVERIFY2(std::abs(written.videoEnd - written.audioEnd) <= 1.0 / chosen.rate + 1e-3,
             qPrintable(QStringLiteral("picture %1 s, sound %2 s").arg(written.videoEnd).arg(written.audioEnd)));
}
