#include "capture/control/SourceChoice.h"
#include "capture/v4l2/V4l2VideoDevice.h"
#include "tests/support/kernel/FakeV4l2Hardware.h"
#include "tests/support/kernel/FakeV4l2Io.h"

#include <QtTest>

#include <gst/gst.h>

using namespace capture;

namespace {

// A capture stick whose inputs offer different sizes, as its decoder and HDMI receiver do.
FakeV4l2Hardware fakeCaptureStick()
{
    FakeV4l2Hardware hw = fakeUvcCamera("Capture Stick");
    hw.formats.clear();
    using Format = FakeV4l2Hardware::PixelFormat;
    hw.inputs = {{"Camera", V4L2_INPUT_TYPE_CAMERA, 0, 0, {Format{V4L2_PIX_FMT_YUYV, "YUYV", {{640, 480, {{1, 30}}}, {320, 240, {{1, 30}}}}, {}}}},
                 {"HDMI", V4L2_INPUT_TYPE_CAMERA, 0, 0,
                  {Format{V4L2_PIX_FMT_YUYV, "YUYV", {{1280, 720, {{1, 60}}}, {800, 600, {{1, 30}}}, {320, 240, {{1, 30}}}}, {}}}}};
    return hw;
}

// The choice on one fake card, listed before the built-in devices.
struct Rig {
    explicit Rig(FakeV4l2Hardware hardware)
    {
        auto io = std::make_shared<FakeV4l2Io>();
        card = io->add("/dev/video0", std::move(hardware));
        std::vector<std::unique_ptr<VideoDevice>> video;
        video.push_back(V4l2VideoDevice::open(io, "/dev/video0", {}));
        devices = std::make_unique<DeviceCatalogue>(DeviceCatalogue::withBuiltInDevices(std::move(video), {}));
        choice = std::make_unique<SourceChoice>(*devices, kept);
    }

    void chooseFormat(const std::string& name)
    {
        const auto formats = choice->formats();
        for (std::size_t i = 0; i < formats.size(); ++i)
            if (formats[i].name() == name)
                return choice->chooseFormat(static_cast<int>(i));
        throw std::logic_error("no format " + name);
    }
    std::string format() const { return choice->format() ? choice->format()->name() : std::string(); }

    QTemporaryDir folder;
    KeptCameras kept{folder.path().toStdString()};
    std::shared_ptr<FakeV4l2Device> card;
    std::unique_ptr<DeviceCatalogue> devices;
    std::unique_ptr<SourceChoice> choice;
};

}  // namespace

class SourceChoiceTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { gst_init(nullptr, nullptr); }

    // What the camera sends when nobody chose is the default and heads the list.
    void defaultIsTheDriversCurrentFormatListedFirst()
    {
        Rig rig(fakeUvcCamera());
        v4l2_format current{};
        current.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
        current.fmt.pix.pixelformat = V4L2_PIX_FMT_MJPEG;
        current.fmt.pix.width = 1920;
        current.fmt.pix.height = 1080;
        QCOMPARE(rig.card->handle(0, VIDIOC_S_FMT, &current), 0);

        QCOMPARE(rig.format(), std::string("MJPG 1920x1080 30 fps"));
        QCOMPARE(rig.choice->formats().front().name(), rig.format());
    }

    void inputChangeKeepsAFormatStillOffered_data()
    {
        QTest::addColumn<QString>("chosen");
        QTest::addColumn<QString>("afterwards");
        // Listed at another position on the other input: kept by value.
        QTest::newRow("offered") << "YUY2 320x240 30 fps" << "YUY2 320x240 30 fps";
        // Not offered there: the input's current format.
        QTest::newRow("dropped") << "YUY2 640x480 30 fps" << "YUY2 1280x720 60 fps";
    }

    void inputChangeKeepsAFormatStillOffered()
    {
        QFETCH(QString, chosen);
        QFETCH(QString, afterwards);
        Rig rig(fakeCaptureStick());
        rig.chooseFormat(chosen.toStdString());
        rig.choice->chooseInput(1);
        QCOMPARE(QString::fromStdString(rig.format()), afterwards);
        QCOMPARE(rig.choice->formats().front().name(), std::string("YUY2 1280x720 60 fps"));

        // Another program streams: the node cannot switch, the input's known list stands.
        rig.card->setStreamingElsewhere(true);
        rig.choice->chooseInput(0);
        QCOMPARE(rig.card->input(), 1u);
        QCOMPARE(rig.choice->formats().size(), 2u);
        QCOMPARE(rig.choice->formats().back().name(), std::string("YUY2 320x240 30 fps"));
    }

    void tunerFormatsFollowTheCountrysStandard_data()
    {
        QTest::addColumn<double>("country");
        QTest::addColumn<QString>("afterwards");
        QTest::newRow("Germany, PAL") << 49.0 << "UYVY 768x576 25 fps";
        QTest::newRow("France, SECAM") << 33.0 << "UYVY 768x576 25 fps";
        QTest::newRow("USA, NTSC") << 1.0 << "YUY2 640x480 29.97 fps";
        QTest::newRow("Japan, NTSC") << 81.0 << "YUY2 640x480 29.97 fps";
    }

    // A format chosen under one standard stays while the new one offers it.
    void tunerFormatsFollowTheCountrysStandard()
    {
        QFETCH(double, country);
        QFETCH(QString, afterwards);
        Rig rig(fakeTvCard());
        QCOMPARE(rig.choice->inputName(), std::string("Television"));
        rig.choice->setCountryCode(44);
        rig.chooseFormat("UYVY 768x576 25 fps");

        rig.choice->setCountryCode(country);
        QCOMPARE(QString::fromStdString(rig.format()), afterwards);
        const auto formats = rig.choice->formats();
        QCOMPARE(formats.front().height, int(rig.card->format().height));
        for (const auto& format : formats)
            QCOMPARE(format.height, formats.front().height);
    }
};

QTEST_APPLESS_MAIN(SourceChoiceTest)
#include "SourceChoiceTest.moc"
