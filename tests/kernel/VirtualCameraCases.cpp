// A virtual camera (v4l2loopback with exclusive_caps=1) and the program that feeds it.

#include "KernelDevicesTest.h"

namespace {

// Feeding the virtual camera a moving picture (little, for the emulated processor).
class Feeder : public GstLaunch {
public:
    explicit Feeder(const std::string& node, int width = 320, int height = 240)
        : GstLaunch({QStringLiteral("-q"), QStringLiteral("videotestsrc"), QStringLiteral("is-live=true"),
                     QStringLiteral("pattern=ball"), QStringLiteral("!"),
                     QStringLiteral("video/x-raw,format=YUY2,width=%1,height=%2,framerate=30/1").arg(width).arg(height),
                     QStringLiteral("!"), QStringLiteral("v4l2sink"), QStringLiteral("device=%1").arg(QString::fromStdString(node))})
    {
    }
};

}  // namespace

// Listed before any program feeds it; a preview waits, saying so, and shows the picture once a
// program does; the program stopping and starting again with another size in the middle of a
// recording neither hangs nor ends it, and the file keeps its size and is readable to its end
// with picture and sound ending together.
void KernelDevicesTest::aVirtualCameraWaitsForItsProgramAndOutlivesItsStops()
{
    const std::string node = qEnvironmentVariable("ORVEX_LOOPBACK_VIDEO").toStdString();
    if (node.empty())
        QSKIP("needs v4l2loopback in the VM (ORVEX_KERNEL_VM_LOOPBACK=1)");
    const std::string name = "Virtual Camera";
    QWidget window;
    Orvex* orvex = new Orvex(&window);
    orvex->resize(320, 240);
    window.show();
    QTemporaryDir folder;
    const auto names = controltest::names(*orvex, Member::VideoDevices);
    QVERIFY(std::count(names.begin(), names.end(), name) == 1);
    orvex->put(Member::VideoDevice, Value::i16(static_cast<std::int16_t>(controltest::indexOf(*orvex, Member::VideoDevices, name))));
    orvex->put(Member::AudioDevice, Value::i16(static_cast<std::int16_t>(controltest::indexOf(*orvex, Member::AudioDevices, "Test Tone"))));

    QCOMPARE(orvex->call(Member::Start), Value::i16(0));
    QVERIFY2(orvex->view().errorText().contains("waiting for the program that feeds this virtual camera"),
             qPrintable(orvex->view().errorText()));
    std::optional<Feeder> feeder;
    feeder.emplace(node);
    QTRY_VERIFY_WITH_TIMEOUT(!orvex->view().lastFrame().isNull(), 20000);
    QVERIFY(orvex->view().errorText().isEmpty());
    orvex->call(Member::Stop);

    const std::string file = folder.filePath("virtual.avi").toStdString();
    orvex->put(Member::CaptureToFile, Value::boolean(true));
    orvex->put(Member::CaptureFileName, Value::text(file));
    QCOMPARE(orvex->call(Member::Start), Value::i16(0));
    QTRY_VERIFY_WITH_TIMEOUT(orvex->core().statistics().framesCaptured > 30, 40000);
    feeder.reset();

    QTRY_VERIFY_WITH_TIMEOUT(orvex->view().pictureWarning().startsWith(QString::fromStdString("no picture from " + name)), 5000);
    QVERIFY(orvex->core().statistics().recording);
    const auto before = orvex->core().statistics().framesCaptured;
    feeder.emplace(node, 480, 360);
    QTRY_VERIFY2_WITH_TIMEOUT(orvex->core().statistics().framesCaptured > before + 30, qPrintable(feeder->said()), 40000);
    QTRY_VERIFY_WITH_TIMEOUT(orvex->view().pictureWarning().isEmpty(), 5000);
    orvex->call(Member::Stop);

    const auto written = testing::readBack(file);
    QVERIFY(written.readable && written.hasIndex);
    QCOMPARE(written.width, 320);
    QCOMPARE(written.height, 240);
    qInfo("picture %.3f s, sound %.3f s, %d frames", written.videoEnd, written.audioEnd, written.videoFrames);
    QVERIFY2(std::abs(written.videoEnd - written.audioEnd) <= 1.0 / 30 + 1e-3,
             qPrintable(QStringLiteral("picture %1 s, sound %2 s").arg(written.videoEnd).arg(written.audioEnd)));
}
