#include "capture/control/SourceChoice.h"
#include "capture/v4l2/V4l2VideoDevice.h"
#include "tests/support/kernel/FakeV4l2Hardware.h"
#include "tests/support/kernel/FakeV4l2Io.h"

#include <QtTest>

#include <gst/gst.h>

#include <fstream>
#include <sstream>

using namespace capture;

namespace {

// A freshly plugged camera (every control at its default) on the control, whose kept cameras
// live in `folder`.
struct Plugged {
    explicit Plugged(const QString& folder) : kept(folder.toStdString())
    {
        auto io = std::make_shared<FakeV4l2Io>();
        card = io->add("/dev/video0", fakeUvcCamera());
        std::vector<std::unique_ptr<VideoDevice>> video;
        video.push_back(V4l2VideoDevice::open(io, "/dev/video0", {}));
        devices = std::make_unique<DeviceCatalogue>(DeviceCatalogue::withBuiltInDevices(std::move(video), {}));
        choice = std::make_unique<SourceChoice>(*devices, kept);
    }
    KeptCamera& camera() { return choice->controls(); }
    std::string file() const { return kept.fileOf(choice->device().identity()).string(); }

    KeptCameras kept;
    std::shared_ptr<FakeV4l2Device> card;
    std::unique_ptr<DeviceCatalogue> devices;
    std::unique_ptr<SourceChoice> choice;
};

std::string contentOf(const std::string& path)
{
    std::ifstream in(path);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

void write(const std::string& path, const std::string& text)
{
    std::ofstream(path) << text;
}

void makeAttribute(const QDir& device, const char* name, const QString& value)
{
    QFile file(device.filePath(QString::fromLatin1(name)));
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(value.toUtf8() + '\n');
}

constexpr std::uint32_t brightness = V4L2_CID_BRIGHTNESS;

}  // namespace

class KeptCameraTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { gst_init(nullptr, nullptr); }

    void identity_data()
    {
        QTest::addColumn<QString>("port");
        QTest::addColumn<QString>("serial");  // "-": not a USB device
        QTest::addColumn<QString>("bus");
        QTest::addColumn<int>("node");
        QTest::addColumn<QString>("identity");
        // Two identical cameras without a serial are told apart by where they are plugged.
        QTest::newRow("usb, port 1") << "2-1.3" << "" << "usb" << 0 << "usb 046d:0825 port 2-1.3";
        QTest::newRow("usb, port 2") << "2-1.4" << "" << "usb" << 0 << "usb 046d:0825 port 2-1.4";
        // A serial follows the camera to any port.
        QTest::newRow("usb, serial") << "2-1.4" << "8A1C" << "usb" << 0 << "usb 046d:0825 serial 8A1C";
        QTest::newRow("usb, second node") << "2-1.3" << "" << "usb" << 1 << "usb 046d:0825 port 2-1.3 node 1";
        QTest::newRow("pci card") << "0000:03:00.0" << "-" << "pci" << 0 << "pci 0000:03:00.0";
        QTest::newRow("platform") << "vivid.0" << "-" << "platform" << 0 << "v4l2 vivid / vivid / platform:vivid-000";
    }

    void identity()
    {
        QFETCH(QString, port);
        QFETCH(QString, serial);
        QFETCH(QString, bus);
        QFETCH(int, node);
        QFETCH(QString, identity);
        QTemporaryDir sysfs;
        QDir root(sysfs.path());
        QVERIFY(root.mkpath(QStringLiteral("bus/") + bus) && root.mkpath(QStringLiteral("devices/") + port));
        QDir device(root.filePath(QStringLiteral("devices/") + port));
        QVERIFY(QFile::link(root.filePath(QStringLiteral("bus/") + bus), device.filePath(QStringLiteral("subsystem"))));
        if (serial != QLatin1String("-")) {
            makeAttribute(device, "idVendor", QStringLiteral("046d"));
            makeAttribute(device, "idProduct", QStringLiteral("0825"));
            if (!serial.isEmpty())
                makeAttribute(device, "serial", serial);
        }
        const NodeDescription description{device.path().toStdString(), node, "vivid", "vivid", "platform:vivid-000"};
        QCOMPARE(QString::fromStdString(cameraIdentity(description)), identity);
    }

    void fileReadsBackWhatWasWritten()
    {
        KeptSettings settings{"usb 046d:0825 port 2-1.3", "USB Camera", true, 1, 49.0,
                              VideoFormat{"YUY2", 640, 480, 30, 1, false}, {}};
        settings.keep({brightness, ControlKind::Integer, -12, {}, "brightness"});
        settings.keep({V4L2_CID_POWER_LINE_FREQUENCY, ControlKind::Menu, 2, {}, "power_line_frequency"});
        settings.keep({0x00a40901, ControlKind::String, 0, "Studio 3 % left\nside", "label"});
        settings.keep({brightness, ControlKind::Integer, 20, {}, "brightness"});  // replaces the first
        const KeptSettingsRead read = readKeptSettings(keptSettingsText(settings));
        QCOMPARE(read.problems, std::vector<std::string>{});
        QCOMPARE(read.settings, settings);
        QCOMPARE(read.settings.controls.size(), 3u);
    }

    // Kept on one node, applied on the next: the sliders' writes and the page's alike.
    void keptSettingsComeBackWhenTheCameraDoes()
    {
        QTemporaryDir folder;
        {
            Plugged first(folder.path());
            first.camera().setKeeping(true);
            QCOMPARE(first.choice->settings().set(Member::Brightness, 40), SettingWrite::Applied);
            QCOMPARE(first.choice->settings().set(Member::WhiteBalance, 3000), SettingWrite::Applied);
            QCOMPARE(first.camera().write(V4L2_CID_POWER_LINE_FREQUENCY, 2), ControlWrite::Applied);
            first.choice->chooseFormat(1);
        }
        Plugged again(folder.path());
        QCOMPARE(again.card->controlValue(brightness), 40);
        QCOMPARE(again.card->controlValue(V4L2_CID_AUTO_WHITE_BALANCE), 0);
        QCOMPARE(again.card->controlValue(V4L2_CID_WHITE_BALANCE_TEMPERATURE), 3000);
        QCOMPARE(again.card->controlValue(V4L2_CID_POWER_LINE_FREQUENCY), 2);
        QCOMPARE(again.choice->format(), again.choice->formats().at(1));
        QCOMPARE(again.choice->settings().range(Member::Brightness).value, 40);
        QVERIFY(again.camera().keeping());

        // A camera that goes back to its defaults as it streams gets the kept values again.
        v4l2_control reset{brightness, 0};
        QCOMPARE(again.card->handle(0, VIDIOC_S_CTRL, &reset), 0);
        const auto written = again.camera().applyChanged();
        QVERIFY(std::find(written.begin(), written.end(), brightness) != written.end());
        QCOMPARE(again.card->controlValue(brightness), 40);

        again.camera().forget();
        QVERIFY(!QFile::exists(QString::fromStdString(again.file())));
        Plugged forgotten(folder.path());
        QCOMPARE(forgotten.card->controlValue(brightness), 0);
        QVERIFY(!forgotten.camera().keeping());
    }

    void damagedFiles_data()
    {
        QTest::addColumn<QString>("from");
        QTest::addColumn<QString>("to");
        QTest::addColumn<int>("brightnessAfter");
        QTest::addColumn<QString>("problem");
        QTest::addColumn<bool>("leftAlone");  // until the person keeps again
        const QString gamma = QStringLiteral("control 0x00980910 integer 400 gamma\n");
        QTest::newRow("corrupt line") << gamma << QStringLiteral("contr\x01l 0x0098 ##\n") << 40 << "is not a setting"
                                      << true;
        QTest::newRow("cut in a line") << gamma + "end\n" << QStringLiteral("control 0x00980910 inte") << 40
                                       << "cut short" << true;
        QTest::newRow("cut at a line") << QStringLiteral("end\n") << QString() << 40 << "cut short" << true;
        // Not damaged: what the camera lacks now is skipped and stays kept for a later driver.
        QTest::newRow("fewer controls") << gamma << QStringLiteral("control 0x009a0922 integer 5 zoom_absolute\n")
                                        << 40 << "no longer has this control" << false;
        QTest::newRow("out of range") << QStringLiteral("integer 40 brightness") << QStringLiteral("integer 900 brightness")
                                      << 64 << "set to 64" << false;
    }

    void damagedFiles()
    {
        QFETCH(QString, from);
        QFETCH(QString, to);
        QFETCH(int, brightnessAfter);
        QFETCH(QString, problem);
        QFETCH(bool, leftAlone);
        QTemporaryDir folder;
        std::string path;
        {
            Plugged first(folder.path());
            first.camera().setKeeping(true);
            first.choice->settings().set(Member::Brightness, 40);
            first.choice->settings().set(Member::Gamma, 400);
            path = first.file();
        }
        std::string text = contentOf(path);
        const auto at = text.find(from.toStdString());
        QVERIFY(at != std::string::npos);
        text.replace(at, from.toStdString().size(), to.toStdString());
        write(path, text);

        Plugged again(folder.path());
        QCOMPARE(again.card->controlValue(brightness), brightnessAfter);
        const auto& problems = again.camera().problems();
        QVERIFY(std::any_of(problems.begin(), problems.end(),
                            [&](const std::string& p) { return p.find(problem.toStdString()) != std::string::npos; }));
        QCOMPARE(again.camera().keeping(), !leftAlone);
        again.choice->settings().set(Member::Contrast, 50);
        if (leftAlone)
            QCOMPARE(contentOf(path), text);
        else
            QVERIFY(contentOf(path).find(to.toStdString()) != std::string::npos);
        again.choice->settings().set(Member::Brightness, 30);
        again.camera().apply();  // the next start
        QCOMPARE(again.card->controlValue(brightness), 30);  // kept, or the person's with keeping off

        again.camera().setKeeping(true);  // the person keeps again: the file is whole once more
        QVERIFY(readKeptSettings(contentOf(path)).problems.empty());
    }
};

QTEST_APPLESS_MAIN(KeptCameraTest)
#include "KeptCameraTest.moc"
