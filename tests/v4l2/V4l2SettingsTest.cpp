#include "capture/devices/CameraSettings.h"
#include "capture/v4l2/V4l2DeviceControls.h"
#include "tests/support/kernel/FakeV4l2Hardware.h"
#include "tests/support/kernel/FakeV4l2Io.h"

#include <QtTest>

#include <memory>

using namespace capture;

namespace {

// One fake node opened through the seam, with its controls and the ten settings over them.
struct Bench {
    explicit Bench(FakeV4l2Hardware hardware)
        : io(std::make_shared<FakeV4l2Io>()),
          device(io->add("/dev/video0", std::move(hardware))),
          file(io, "/dev/video0"),
          controls(file),
          settings(controls)
    {
    }

    std::shared_ptr<FakeV4l2Io> io;
    std::shared_ptr<FakeV4l2Device> device;
    V4l2File file;
    V4l2DeviceControls controls;
    CameraSettings settings;
};

FakeV4l2Hardware::Control& controlIn(FakeV4l2Hardware& hw, std::uint32_t id)
{
    for (auto& control : hw.controls)
        if (control.id == id)
            return control;
    throw std::logic_error("no such control in the fake");
}

FakeV4l2Hardware::Control colourEffects(std::vector<std::string> menu)
{
    auto control = fakeControl(V4L2_CID_COLORFX, "Color Effects", 0, static_cast<std::int32_t>(menu.size()) - 1, 1, 0);
    control.type = V4L2_CTRL_TYPE_MENU;
    control.menu = std::move(menu);
    return control;
}

}  // namespace

class V4l2SettingsTest : public QObject {
    Q_OBJECT

private slots:
    void cameraReportsItsNineSettings()
    {
        Bench bench(fakeUvcCamera());
        struct Expected {
            Member property;
            std::int32_t min, max, step, value;
        };
        const Expected expected[] = {
            {Member::Brightness, -64, 64, 1, 0},        {Member::Contrast, 0, 95, 1, 32},
            {Member::Hue, -2000, 2000, 100, 0},         {Member::Saturation, 0, 100, 1, 64},
            {Member::Sharpness, 0, 7, 1, 3},            {Member::Gamma, 100, 500, 1, 300},
            {Member::WhiteBalance, 2800, 6500, 10, 4600}, {Member::BacklightCompensation, 0, 2, 1, 1},
            {Member::Gain, 0, 100, 8, 0},
        };
        for (const auto& want : expected) {
            const SettingRange range = bench.settings.range(want.property);
            QVERIFY2(range.supported, memberName(want.property).data());
            QCOMPARE(range.min, want.min);
            QCOMPARE(range.max, want.max);
            QCOMPARE(range.step, want.step);
            QCOMPARE(range.value, want.value);
        }
        QVERIFY(!bench.settings.range(Member::ColorEnable).supported);
        QCOMPARE(bench.settings.set(Member::ColorEnable, 1), SettingWrite::Unsupported);
    }

    void valuesReadBackAfterAPut()
    {
        Bench bench(fakeUvcCamera());
        QCOMPARE(bench.settings.set(Member::Brightness, -20), SettingWrite::Applied);
        QCOMPARE(bench.settings.range(Member::Brightness).value, -20);
        QCOMPARE(bench.device->controlValue(V4L2_CID_BRIGHTNESS), -20);
    }

    void whiteBalancePutSwitchesAutomaticOffFirst()
    {
        Bench bench(fakeUvcCamera());
        bench.settings.range(Member::WhiteBalance);
        bench.device->clearLog();

        QCOMPARE(bench.settings.set(Member::WhiteBalance, 5000), SettingWrite::Applied);

        QCOMPARE(bench.device->controlValue(V4L2_CID_AUTO_WHITE_BALANCE), 0);
        QCOMPARE(bench.device->controlValue(V4L2_CID_WHITE_BALANCE_TEMPERATURE), 5000);
        const auto& writes = bench.device->controlWrites();
        QCOMPARE(writes.size(), std::size_t(2));
        QCOMPARE(writes[0].id, std::uint32_t(V4L2_CID_AUTO_WHITE_BALANCE));
        QCOMPARE(writes[1].id, std::uint32_t(V4L2_CID_WHITE_BALANCE_TEMPERATURE));

        // Once manual, further puts are single writes.
        bench.device->clearLog();
        QCOMPARE(bench.settings.set(Member::WhiteBalance, 3000), SettingWrite::Applied);
        QCOMPARE(bench.device->controlWrites().size(), std::size_t(1));
        QCOMPARE(bench.settings.range(Member::WhiteBalance).value, 3000);
    }

    void gainAndHueLeaveTheirAutomaticModes()
    {
        auto hw = fakeUvcCamera();
        hw.controls.push_back(fakeBoolean(V4L2_CID_AUTOGAIN, "Gain, Automatic", true));
        hw.controls.push_back(fakeBoolean(V4L2_CID_HUE_AUTO, "Hue, Automatic", true));
        controlIn(hw, V4L2_CID_GAIN).autoId = V4L2_CID_AUTOGAIN;
        controlIn(hw, V4L2_CID_HUE).autoId = V4L2_CID_HUE_AUTO;
        Bench bench(std::move(hw));

        QCOMPARE(bench.settings.set(Member::Gain, 32), SettingWrite::Applied);
        QCOMPARE(bench.settings.set(Member::Hue, 500), SettingWrite::Applied);
        QCOMPARE(bench.device->controlValue(V4L2_CID_AUTOGAIN), 0);
        QCOMPARE(bench.device->controlValue(V4L2_CID_GAIN), 32);
        QCOMPARE(bench.device->controlValue(V4L2_CID_HUE_AUTO), 0);
        QCOMPARE(bench.device->controlValue(V4L2_CID_HUE), 500);
        // Brightness has no automatic mode: nothing else is touched.
        QCOMPARE(bench.device->controlValue(V4L2_CID_AUTO_WHITE_BALANCE), 1);
    }

    void putsAreClampedAndStepAligned_data()
    {
        QTest::addColumn<int>("property");
        QTest::addColumn<int>("requested");
        QTest::addColumn<int>("stored");

        const int brightness = number(Member::Brightness);  // -64..64 step 1
        const int hue = number(Member::Hue);                // -2000..2000 step 100
        const int gain = number(Member::Gain);              // 0..100 step 8: 96 is the top of the grid
        QTest::newRow("negative minimum, inside") << brightness << -64 << -64;
        QTest::newRow("below a negative minimum") << brightness << -1000 << -64;
        QTest::newRow("above the maximum") << brightness << 1000 << 64;
        QTest::newRow("extreme low") << brightness << std::numeric_limits<int>::min() << -64;
        QTest::newRow("extreme high") << brightness << std::numeric_limits<int>::max() << 64;
        QTest::newRow("step 100, round down") << hue << -149 << -100;
        QTest::newRow("step 100, half rounds up") << hue << -150 << -100;
        QTest::newRow("step 100, round up") << hue << 251 << 300;
        QTest::newRow("step 100, from a negative grid") << hue << -1950 << -1900;
        QTest::newRow("step 100, clamped") << hue << 2600 << 2000;
        QTest::newRow("step 8, nearest") << gain << 50 << 48;
        QTest::newRow("step 8, half rounds up") << gain << 52 << 56;
        QTest::newRow("maximum off the grid") << gain << 100 << 96;
        QTest::newRow("between the grid's top and the maximum") << gain << 99 << 96;
        QTest::newRow("above a maximum off the grid") << gain << 500 << 96;
        QTest::newRow("below zero") << gain << -7 << 0;
    }

    void putsAreClampedAndStepAligned()
    {
        QFETCH(int, property);
        QFETCH(int, requested);
        QFETCH(int, stored);
        Bench bench(fakeUvcCamera());
        const auto member = static_cast<Member>(property);
        bench.settings.range(member);
        bench.device->clearLog();

        QCOMPARE(bench.settings.set(member, requested), SettingWrite::Applied);

        // One request, the write; its value is already on the grid, so the driver keeps it.
        QCOMPARE(bench.device->requests().size(), std::size_t(1));
        const auto& writes = bench.device->controlWrites();
        QCOMPARE(writes.size(), std::size_t(1));
        QCOMPARE(writes[0].requested, stored);
        QCOMPARE(bench.settings.range(member).value, stored);
    }

    void readOnlyAndDisabledControlsAreUnsupported()
    {
        auto hw = fakeUvcCamera();
        controlIn(hw, V4L2_CID_GAMMA).flags = V4L2_CTRL_FLAG_READ_ONLY;
        controlIn(hw, V4L2_CID_SHARPNESS).flags = V4L2_CTRL_FLAG_DISABLED;
        Bench bench(std::move(hw));

        for (Member property : {Member::Gamma, Member::Sharpness}) {
            QVERIFY(!bench.settings.range(property).supported);
            QCOMPARE(bench.settings.set(property, 200), SettingWrite::Unsupported);
        }
        QVERIFY(bench.device->controlWrites().empty());
        QCOMPARE(bench.device->controlValue(V4L2_CID_GAMMA), 300);
    }

    void grabbedControlAnswersBusyAndChangesNothing()
    {
        Bench bench(fakeUvcCamera());
        QVERIFY(bench.settings.range(Member::Contrast).supported);
        bench.device->setGrabbed(V4L2_CID_CONTRAST, true);

        QCOMPARE(bench.settings.set(Member::Contrast, 80), SettingWrite::Busy);
        QCOMPARE(bench.device->controlValue(V4L2_CID_CONTRAST), 32);
        // Still a setting of the camera, and usable once released.
        QVERIFY(bench.settings.range(Member::Contrast).supported);
        bench.device->setGrabbed(V4L2_CID_CONTRAST, false);
        QCOMPARE(bench.settings.set(Member::Contrast, 80), SettingWrite::Applied);
        QCOMPARE(bench.device->controlValue(V4L2_CID_CONTRAST), 80);
    }

    void busyPutLeavesTheAutomaticModeOn()
    {
        Bench bench(fakeUvcCamera());
        bench.device->setGrabbed(V4L2_CID_WHITE_BALANCE_TEMPERATURE, true);

        QCOMPARE(bench.settings.set(Member::WhiteBalance, 5000), SettingWrite::Busy);
        QCOMPARE(bench.device->controlValue(V4L2_CID_AUTO_WHITE_BALANCE), 1);
        QCOMPARE(bench.device->controlValue(V4L2_CID_WHITE_BALANCE_TEMPERATURE), 4600);

        bench.device->setGrabbed(V4L2_CID_WHITE_BALANCE_TEMPERATURE, false);
        bench.device->setGrabbed(V4L2_CID_AUTO_WHITE_BALANCE, true);
        QCOMPARE(bench.settings.set(Member::WhiteBalance, 5000), SettingWrite::Busy);
        QCOMPARE(bench.device->controlValue(V4L2_CID_WHITE_BALANCE_TEMPERATURE), 4600);
    }

    void colourEnableUsesTheColourEffectMenu()
    {
        auto hw = fakeUvcCamera();
        hw.controls.push_back(colourEffects({"None", "Black & White", "Sepia"}));
        hw.controls.push_back(fakeBoolean(V4L2_CID_COLOR_KILLER, "Color Killer", false));
        Bench bench(std::move(hw));

        SettingRange range = bench.settings.range(Member::ColorEnable);
        QVERIFY(range.supported);
        QCOMPARE(range.min, 0);
        QCOMPARE(range.max, 1);
        QCOMPARE(range.value, 1);

        QCOMPARE(bench.settings.set(Member::ColorEnable, 0), SettingWrite::Applied);
        QCOMPARE(bench.device->controlValue(V4L2_CID_COLORFX), V4L2_COLORFX_BW);
        QCOMPARE(bench.settings.range(Member::ColorEnable).value, 0);
        QCOMPARE(bench.settings.set(Member::ColorEnable, 7), SettingWrite::Applied);
        QCOMPARE(bench.device->controlValue(V4L2_CID_COLORFX), V4L2_COLORFX_NONE);
        QCOMPARE(bench.device->controlValue(V4L2_CID_COLOR_KILLER), 0);
    }

    void colourEnableFallsBackToTheColourKillerInverted()
    {
        auto hw = fakeUvcCamera();
        // A menu that skips black and white is no use for colour on and off.
        hw.controls.push_back(colourEffects({"None", "", "Sepia"}));
        hw.controls.push_back(fakeBoolean(V4L2_CID_COLOR_KILLER, "Color Killer", true));
        Bench bench(std::move(hw));

        SettingRange range = bench.settings.range(Member::ColorEnable);
        QVERIFY(range.supported);
        QCOMPARE(range.value, 0);
        QCOMPARE(bench.settings.set(Member::ColorEnable, 1), SettingWrite::Applied);
        QCOMPARE(bench.device->controlValue(V4L2_CID_COLOR_KILLER), 0);
        QCOMPARE(bench.device->controlValue(V4L2_CID_COLORFX), 0);
        QCOMPARE(bench.settings.set(Member::ColorEnable, 0), SettingWrite::Applied);
        QCOMPARE(bench.device->controlValue(V4L2_CID_COLOR_KILLER), 1);
    }

    void tvCardHasFourPictureSettings()
    {
        Bench bench(fakeTvCard());
        for (Member property : cameraProperties) {
            const bool expected = property == Member::Brightness || property == Member::Contrast
                || property == Member::Hue || property == Member::Saturation;
            QCOMPARE(bench.settings.range(property).supported, expected);
        }
        QCOMPARE(bench.settings.range(Member::Hue).min, -128);
    }

    void olderKernelsWithoutExtendedQueries()
    {
        auto hw = fakeUvcCamera();
        hw.hasExtendedQuery = false;
        Bench bench(std::move(hw));
        const SettingRange range = bench.settings.range(Member::Hue);
        QVERIFY(range.supported);
        QCOMPARE(range.step, 100);
        QCOMPARE(bench.settings.set(Member::Hue, 140), SettingWrite::Applied);
        QCOMPARE(bench.device->controlValue(V4L2_CID_HUE), 100);

        // The whole list, in id order, without the control classes.
        const auto controls = bench.controls.list();
        QCOMPARE(controls.size(), std::size_t(11));
        for (std::size_t i = 1; i < controls.size(); ++i)
            QVERIFY(controls[i - 1].id < controls[i].id);
    }

    void unpluggedCameraRaisesNothing()
    {
        Bench bench(fakeUvcCamera());
        QVERIFY(bench.settings.range(Member::Brightness).supported);
        bench.device->unplug();
        QCOMPARE(bench.settings.set(Member::Brightness, 10), SettingWrite::Unsupported);
        QCOMPARE(bench.settings.set(Member::WhiteBalance, 3000), SettingWrite::Unsupported);
        QVERIFY(!bench.settings.range(Member::Brightness).supported);
    }
};

QTEST_APPLESS_MAIN(V4l2SettingsTest)
#include "V4l2SettingsTest.moc"
