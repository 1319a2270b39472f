#include "capture/devices/virtual/SimulatedTuner.h"
#include "capture/devices/CameraSettings.h"
#include "capture/devices/virtual/VirtualDevices.h"
#include "capture/tv/ChannelTables.h"

#include <QtTest>

#include <climits>
#include <set>

using namespace capture;

class VirtualDevicesTest : public QObject {
    Q_OBJECT

private slots:
    void theDevicesAreListedWithTheirInputsAndFormats()
    {
        VirtualDevices devices = createVirtualDevices();
        QCOMPARE(devices.camera->name(), std::string("Test Pattern Camera"));
        QCOMPARE(devices.tuner->name(), std::string("Test Pattern TV Tuner"));
        QCOMPARE(devices.tone->name(), std::string("Test Tone"));
        QCOMPARE(devices.camera->inputs(), std::vector<std::string>{"Camera"});
        QCOMPARE(devices.tuner->inputs(), (std::vector<std::string>{"Television", "Composite"}));
        QVERIFY(!devices.camera->tuner());
        QVERIFY(devices.tuner->tuner());

        const std::vector<VideoFormat> formats = devices.camera->formats(0);
        QVERIFY(formats.size() >= 3);
        QCOMPARE(formats[0].name(), std::string("BGRx 640x480 30 fps"));
        std::set<std::string> names;
        for (const VideoFormat& format : formats)
            names.insert(format.name());
        QCOMPARE(names.size(), formats.size());
        QVERIFY(names.count("BGRx 1280x720 30 fps"));
        QVERIFY(names.count("BGRx 320x240 30 fps"));
        QCOMPARE(devices.tuner->formats(1).front().name(), std::string("BGRx 640x480 30 fps"));
        QVERIFY(devices.camera->formats(1).empty());
        QVERIFY(devices.tuner->formats(2).empty());
        QVERIFY(devices.tuner->formats(-1).empty());
    }

    void cameraRangesAreWebcamLikeWithNeutralDefaults()
    {
        VirtualDevices devices = createVirtualDevices();
        CameraSettings settings(devices.camera->controls());
        for (Member property : cameraProperties) {
            const SettingRange range = settings.range(property);
            QVERIFY2(range.supported, memberName(property).data());
            QVERIFY(range.min < range.max);
            QVERIFY(range.step > 0);
            QVERIFY(range.value >= range.min && range.value <= range.max);
            QCOMPARE((range.value - range.min) % range.step, 0);
        }
        QCOMPARE(settings.range(Member::ColorEnable).value, 1);
        QCOMPARE(settings.range(Member::Brightness).value, 0);
    }

    void writesAreClampedAndAligned_data()
    {
        QTest::addColumn<int>("property");
        QTest::addColumn<int>("written");
        QTest::addColumn<int>("kept");
        const int wb = number(Member::WhiteBalance);  // 2800..6500 in steps of 10
        QTest::newRow("on a step") << wb << 4600 << 4600;
        QTest::newRow("rounds down") << wb << 4604 << 4600;
        QTest::newRow("half rounds up") << wb << 4605 << 4610;
        QTest::newRow("above") << wb << 9999 << 6500;
        QTest::newRow("below") << wb << -5 << 2800;
        QTest::newRow("int32 max") << wb << INT_MAX << 6500;
        QTest::newRow("int32 min") << wb << INT_MIN << 2800;
        const int brightness = number(Member::Brightness);  // -64..64
        QTest::newRow("brightness low end") << brightness << -64 << -64;
        QTest::newRow("brightness over") << brightness << 65 << 64;
        QTest::newRow("brightness int32 min") << brightness << INT_MIN << -64;
        const int colour = number(Member::ColorEnable);
        QTest::newRow("colour enable 2") << colour << 2 << 1;
    }

    void writesAreClampedAndAligned()
    {
        QFETCH(int, property);
        QFETCH(int, written);
        QFETCH(int, kept);
        VirtualDevices devices = createVirtualDevices();
        CameraSettings settings(devices.camera->controls());
        QCOMPARE(settings.set(Member(property), written), SettingWrite::Applied);
        QCOMPARE(settings.range(Member(property)).value, kept);
    }

    void eachDeviceKeepsItsOwnSettings()
    {
        VirtualDevices devices = createVirtualDevices();
        CameraSettings(devices.camera->controls()).set(Member::Contrast, 10);
        QCOMPARE(CameraSettings(devices.tuner->controls()).range(Member::Contrast).value, 64);
        CameraSettings(devices.tuner->controls()).set(Member::Brightness, 300);
        QCOMPARE(CameraSettings(devices.tuner->controls()).range(Member::Brightness).value, 255);
        QCOMPARE(CameraSettings(devices.camera->controls()).range(Member::Contrast).value, 10);
        QCOMPARE(CameraSettings(devices.tuner->controls()).set(Member::Gain, 5), SettingWrite::Unsupported);
        QVERIFY(!CameraSettings(devices.tuner->controls()).range(Member::Gamma).supported);
    }

    void eachCountryListsItsTableWithStationsMarked_data()
    {
        QTest::addColumn<double>("code");
        for (double code : {1, 52, 57, 58, 63, 82, 81, 55, 54, 49, 34, 31, 90, 91, 62, 92, 880, 66, 60, 20, 213, 234,
                            251, 254, 39, 61, 64, 44, 353, 27, 33, 7, 380, 48, 86})
            QTest::addRow("%g", code) << code;
    }

    void eachCountryListsItsTableWithStationsMarked()
    {
        QFETCH(double, code);
        VirtualDevices devices = createVirtualDevices();
        Tuner* tuner = devices.tuner->tuner();
        tuner->setCountryCode(code);
        const std::vector<TunerChannel> channels = tuner->channels();
        const tv::ChannelTable& table = *tv::countryFor(code)->table;
        QCOMPARE(channels.size(), table.channels.size());
        int stations = 0;
        for (std::size_t i = 0; i < channels.size(); ++i) {
            QCOMPARE(channels[i].name, table.channels[i].name);
            QCOMPARE(channels[i].number, double(table.channels[i].number));
            stations += channels[i].available;
        }
        // Some channels carry a station and most do not, as on a real aerial.
        const double share = double(stations) / double(channels.size());
        QVERIFY2(share > 0.15 && share < 0.55, qPrintable(QString::number(share)));
    }

    void codesWithoutATableListNothing()
    {
        VirtualDevices devices = createVirtualDevices();
        Tuner* tuner = devices.tuner->tuner();
        QVERIFY(!tuner->channels().empty());  // code 1 until told otherwise
        for (double code : {999.0, 49.5, 0.0, -1.0}) {
            tuner->setCountryCode(code);
            QVERIFY(tuner->channels().empty());
            tuner->tune(21);  // nothing to tune: ignored, not an error
        }
        tuner->setCountryCode(49);
        QCOMPARE(tuner->channels().size(), std::size_t(104));
    }

    void tuningFollowsTheTable()
    {
        auto studio = std::make_shared<Studio>();
        SimulatedTuner tuner(studio);
        tuner.setCountryCode(49);
        QVERIFY(!tuner.tunedChannel());
        QVERIFY(!tuner.station());

        const auto channels = tuner.channels();
        const auto station = std::find_if(channels.begin(), channels.end(), [](auto& c) { return c.available; });
        const auto empty = std::find_if(channels.begin(), channels.end(), [](auto& c) { return !c.available; });
        tuner.tune(station->number);
        QCOMPARE(tuner.station(), std::optional<int>(int(station->number)));
        tuner.tune(empty->number);
        QCOMPARE(tuner.tunedChannel(), std::optional<int>(int(empty->number)));
        QVERIFY(!tuner.station());

        // Numbers the table lacks leave the tuner where it was.
        for (double absent : {70.0, 1.0, 21.5, 9999.0, -5.0})
            tuner.tune(absent);
        QCOMPARE(tuner.tunedChannel(), std::optional<int>(int(empty->number)));

        // The same country again keeps the channel; another table drops it.
        tuner.setCountryCode(49);
        QCOMPARE(tuner.tunedChannel(), std::optional<int>(int(empty->number)));
        tuner.setCountryCode(34);  // Spain: the same table
        QCOMPARE(tuner.tunedChannel(), std::optional<int>(int(empty->number)));
        tuner.setCountryCode(1);
        QVERIFY(!tuner.tunedChannel());
        QCOMPARE(tuner.standard(), std::optional<tv::Standard>(tv::Standard::NtscM));
    }

    void aCarrierSharedByTwoTablesIsAlikeInBoth()
    {
        // E5 and R6 are both 175.25 MHz: the same air, the same station or none.
        SimulatedTuner tuner(std::make_shared<Studio>());
        tuner.setCountryCode(7);
        const auto channels = tuner.channels();
        const auto at = [&](int number) {
            return std::find_if(channels.begin(), channels.end(), [&](auto& c) { return c.number == number; })->available;
        };
        QCOMPARE(at(5), at(306));
    }

    void muteIsKeptByTheCard()
    {
        auto studio = std::make_shared<Studio>();
        SimulatedTuner tuner(studio);
        QVERIFY(!studio->muted());
        tuner.setMute(true);
        QVERIFY(studio->muted());
        tuner.setMute(false);
        QVERIFY(!studio->muted());
    }
};

QTEST_APPLESS_MAIN(VirtualDevicesTest)
#include "VirtualDevicesTest.moc"
