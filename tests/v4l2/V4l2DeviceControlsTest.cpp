// A device's controls on the page: the V4L2 model of them (enumeration, values, writes,
// events, reset) and the panel that renders it, against the kernel model behind the seam.

#include "capture/pages/DeviceControlsPanel.h"
#include "capture/v4l2/V4l2DeviceControls.h"
#include "tests/support/emulator/EmulatedProfiles.h"
#include "tests/support/kernel/FakeV4l2Hardware.h"
#include "tests/support/kernel/FakeV4l2Io.h"
#include "tests/support/qt/WidgetWaits.h"

#include <QCheckBox>
#include <QComboBox>
#include <QElapsedTimer>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSlider>
#include <QSpinBox>
#include <QTabWidget>
#include <QtTest>

#include <limits>

using namespace capture;
using testsupport::millisecondsUntil;

using Controls = std::vector<FakeV4l2Hardware::Control>;
Q_DECLARE_METATYPE(Controls)

namespace {

const std::string Node = "/dev/video7";

FakeV4l2Hardware::Control typed(std::uint32_t type, std::uint32_t id, const char* name, std::int64_t minimum,
                                std::int64_t maximum, std::int32_t step, std::int64_t value)
{
    FakeV4l2Hardware::Control control = fakeControl(id, name, 0, 0, step, 0);
    control.type = type;
    control.minimum = minimum;
    control.maximum = maximum;
    control.defaultValue = control.value = value;
    return control;
}

// The page as it stands on one device, with a second opener beside it.
struct Bench {
    FakeV4l2Io io;
    std::shared_ptr<FakeV4l2Device> device;
    V4l2File file;
    V4l2DeviceControls controls{file};
    std::unique_ptr<DeviceControlsPanel> panel;

    explicit Bench(FakeV4l2Hardware hardware)
        : device(io.add(Node, std::move(hardware))), file(std::shared_ptr<V4l2Io>(&io, [](V4l2Io*) {}), Node)
    {
        panel = std::make_unique<DeviceControlsPanel>(controls);
    }

    template <typename Widget>
    Widget* find(const QString& key) const { return panel->findChild<Widget*>(key); }

    // What another program sets on the node.
    int setElsewhere(std::uint32_t id, std::int32_t value)
    {
        const int other = io.open(Node);
        v4l2_control control{id, value};
        const int result = io.ioctl(other, VIDIOC_S_CTRL, &control);
        io.close(other);
        return result;
    }
};

// The title of the tab the widget is in.
QString sectionOf(QWidget* widget)
{
    for (QWidget* up = widget; up; up = up->parentWidget())
        if (auto* tabs = qobject_cast<QTabWidget*>(up))
            for (int tab = 0; tab < tabs->count(); ++tab)
                if (tabs->widget(tab)->isAncestorOf(widget))
                    return tabs->tabText(tab);
    return {};
}

}  // namespace

class V4l2DeviceControlsTest : public QObject {
    Q_OBJECT

private slots:
    // Each kind of control: the widget it gets, in its class's section; what the user enters
    // there is what a second opener reads back, as the driver stored it; a refusal is said
    // beside the control and the widget shows the device's value again.
    void eachKindOfControlIsEditedAsItsTypeCallsFor_data()
    {
        QTest::addColumn<Controls>("controls");  // the one tested is the last
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("section");
        QTest::addColumn<QString>("widget");
        QTest::addColumn<bool>("editable");
        QTest::addColumn<int>("entries");
        QTest::addColumn<bool>("grabbedMeanwhile");  // another program takes it after the page opened
        QTest::addColumn<QString>("input");
        QTest::addColumn<QVariant>("stored");
        QTest::addColumn<QString>("refusal");

        const auto user = V4L2_CID_USER_BASE + 0x1000;
        QTest::newRow("integer, rounded to its step")
            << Controls{fakeControl(V4L2_CID_SHARPNESS, "Sharpness", 0, 100, 5, 50)} << "sharpness" << "User Controls"
            << "QSlider" << true << -1 << false << "37" << QVariant(qlonglong(35)) << "";
        QTest::newRow("boolean") << Controls{fakeBoolean(V4L2_CID_HFLIP, "Horizontal Flip", false)} << "horizontal_flip"
                                 << "User Controls" << "QCheckBox" << true << -1 << false << "" << QVariant(qlonglong(1)) << "";
        auto mains = typed(V4L2_CTRL_TYPE_MENU, V4L2_CID_POWER_LINE_FREQUENCY, "Power Line Frequency", 0, 3, 1, 0);
        mains.menu = {"Disabled", "", "60 Hz", "Auto"};
        QTest::newRow("menu, its hole left out") << Controls{mains} << "power_line_frequency" << "User Controls" << "QComboBox"
                                                 << true << 3 << false << "60 Hz" << QVariant(qlonglong(2)) << "";
        auto bias = typed(V4L2_CTRL_TYPE_INTEGER_MENU, V4L2_CID_AUTO_EXPOSURE_BIAS, "Auto Exposure, Bias", 0, 4, 1, 2);
        bias.menu = {"-2000", "-1000", "0", "1000", "2000"};
        QTest::newRow("integer menu") << Controls{bias} << "auto_exposure_bias" << "Camera Controls" << "QComboBox" << true
                                      << 5 << false << "1000" << QVariant(qlonglong(3)) << "";
        QTest::newRow("button") << Controls{typed(V4L2_CTRL_TYPE_BUTTON, V4L2_CID_PAN_RESET, "Pan, Reset", 0, 0, 0, 0)}
                                << "pan_reset" << "Camera Controls" << "QPushButton" << true << -1 << false << ""
                                << QVariant() << "";
        QTest::newRow("64-bit integer, its whole range")
            << Controls{typed(V4L2_CTRL_TYPE_INTEGER64, user, "Integer 64 Bits", std::numeric_limits<std::int64_t>::min(),
                              std::numeric_limits<std::int64_t>::max(), 1, 0)}
            << "integer_64_bits" << "User Controls" << "QLineEdit" << true << -1 << false << "-9223372036854775807"
            << QVariant(qlonglong(-9223372036854775807LL)) << "";
        QTest::newRow("bitmask, in hexadecimal, masked by the driver")
            << Controls{typed(V4L2_CTRL_TYPE_BITMASK, user + 1, "Bitmask", 0, 0x8000ffff, 0, 0x80002000)} << "bitmask"
            << "User Controls" << "QLineEdit" << true << -1 << false << "0xf0000f0f" << QVariant(qlonglong(0x80000f0f)) << "";
        QTest::newRow("string") << Controls{typed(V4L2_CTRL_TYPE_STRING, user + 2, "String", 2, 10, 1, 0)} << "string"
                                << "User Controls" << "QLineEdit" << true << -1 << false << "vivid" << QVariant("vivid") << "";
        QTest::newRow("string the driver finds too short")
            << Controls{typed(V4L2_CTRL_TYPE_STRING, user + 2, "String", 2, 10, 1, 0)} << "string" << "User Controls"
            << "QLineEdit" << true << -1 << false << "v" << QVariant("  ") << "out of range";
        auto array = typed(V4L2_CTRL_TYPE_U8, user + 3, "U8 Pixel Array", 0, 255, 1, 0);
        array.dimensions = {4, 8};
        array.elementSize = 1;
        QTest::newRow("array, shown not edited") << Controls{array} << "u8_pixel_array" << "User Controls" << "QLabel"
                                                 << false << -1 << false << "" << QVariant() << "";
        auto readOnly = fakeControl(V4L2_CID_GAIN, "Gain", 0, 255, 1, 100);
        readOnly.flags = V4L2_CTRL_FLAG_READ_ONLY;
        QTest::newRow("read-only") << Controls{readOnly} << "gain" << "User Controls" << "QSlider" << false << -1 << false
                                   << "" << QVariant(qlonglong(100)) << "";
        auto exposureMode = typed(V4L2_CTRL_TYPE_MENU, V4L2_CID_EXPOSURE_AUTO, "Auto Exposure", 0, 3, 1, 3);
        exposureMode.menu = {"", "Manual Mode", "", "Aperture Priority Mode"};
        auto exposure = fakeControl(V4L2_CID_EXPOSURE_ABSOLUTE, "Exposure Time, Absolute", 3, 2047, 1, 250);
        exposure.autoId = V4L2_CID_EXPOSURE_AUTO;
        exposure.manualValue = V4L2_EXPOSURE_MANUAL;
        QTest::newRow("inactive under its automatic mode") << Controls{exposureMode, exposure} << "exposure_time_absolute"
                                                           << "Camera Controls" << "QSlider" << false << -1 << false << ""
                                                           << QVariant(qlonglong(250)) << "";
        QTest::newRow("held by another program") << Controls{fakeControl(V4L2_CID_CONTRAST, "Contrast", 0, 255, 1, 128)}
                                                 << "contrast" << "User Controls" << "QSlider" << true << -1 << true << "200"
                                                 << QVariant(qlonglong(128)) << "In use";
        auto disabled = fakeControl(V4L2_CID_HUE, "Hue", -128, 127, 1, 0);
        disabled.flags = V4L2_CTRL_FLAG_DISABLED;
        QTest::newRow("disabled, left out") << Controls{disabled} << "hue" << "" << "" << false << -1 << false << ""
                                            << QVariant() << "";
    }

    void eachKindOfControlIsEditedAsItsTypeCallsFor()
    {
        QFETCH(Controls, controls);
        QFETCH(QString, key);
        QFETCH(QString, section);
        QFETCH(QString, widget);
        QFETCH(bool, editable);
        QFETCH(int, entries);
        QFETCH(bool, grabbedMeanwhile);
        QFETCH(QString, input);
        QFETCH(QVariant, stored);
        QFETCH(QString, refusal);

        FakeV4l2Hardware hardware = fakeUvcCamera();
        hardware.controls = controls;
        const FakeV4l2Hardware::Control tested = controls.back();
        Bench bench(hardware);
        QWidget* editor = bench.find<QWidget>(key);
        if (widget.isEmpty()) {
            QVERIFY(!editor);
            QVERIFY(bench.controls.list().empty());
            return;
        }
        QVERIFY2(editor, qPrintable(key));
        QCOMPARE(editor->metaObject()->className(), widget.toLatin1());
        QCOMPARE(sectionOf(editor), section);
        QCOMPARE(editor->accessibleName(), QString::fromStdString(tested.name));
        QCOMPARE(editor->isEnabled(), editable);

        if (auto* menu = qobject_cast<QComboBox*>(editor))
            QCOMPARE(menu->count(), entries);
        if (auto* line = qobject_cast<QLineEdit*>(editor); line && tested.type == V4L2_CTRL_TYPE_STRING)
            QCOMPARE(line->maxLength(), int(tested.maximum));
        if (auto* fixed = qobject_cast<QLabel*>(editor))
            QVERIFY2(fixed->text().contains("u8") && fixed->text().contains("4 × 8"), qPrintable(fixed->text()));
        if (auto* slider = qobject_cast<QSlider*>(editor)) {
            QCOMPARE(slider->minimum(), int(tested.minimum));
            QCOMPARE(slider->maximum(), int(tested.maximum));
            QCOMPARE(slider->singleStep(), tested.step);
            QCOMPARE(slider->value(), int(tested.value));  // shown even where it cannot be set
        }

        if (grabbedMeanwhile)
            bench.device->setGrabbed(tested.id, true);
        bench.device->clearLog();
        if (editable) {
            if (qobject_cast<QSlider*>(editor)) {
                bench.find<QSpinBox>(key + "Value")->setValue(input.toInt());
            } else if (auto* check = qobject_cast<QCheckBox*>(editor)) {
                check->click();
            } else if (auto* menu = qobject_cast<QComboBox*>(editor)) {
                menu->setCurrentIndex(menu->findText(input));
                emit menu->activated(menu->currentIndex());
            } else if (auto* line = qobject_cast<QLineEdit*>(editor)) {
                line->setText(input);
                line->setModified(true);
                emit line->editingFinished();
            } else if (auto* button = qobject_cast<QPushButton*>(editor)) {
                button->click();
            }
        }

        const auto* now = bench.device->control(tested.id);
        if (stored.typeId() == QMetaType::QString)
            QCOMPARE(QString::fromStdString(now->text), stored.toString());
        else if (stored.isValid())
            QCOMPARE(qlonglong(now->value), stored.toLongLong());
        if (tested.type == V4L2_CTRL_TYPE_BUTTON) {
            QCOMPARE(bench.device->controlWrites().size(), std::size_t(1));
            QCOMPARE(bench.device->controlWrites().front().result, 0);
        }
        auto* status = bench.find<QLabel>(key + "Status");
        QVERIFY(status);
        QVERIFY2(refusal.isEmpty() ? status->text().isEmpty() : status->text().contains(refusal, Qt::CaseInsensitive),
                 qPrintable(status->text()));
        // Nothing is left on screen that the device did not take.
        if (auto* slider = qobject_cast<QSlider*>(editor))
            QCOMPARE(qlonglong(slider->value()), qlonglong(now->value));
        if (auto* line = qobject_cast<QLineEdit*>(editor); line && tested.type == V4L2_CTRL_TYPE_STRING)
            QCOMPARE(line->text(), QString::fromStdString(now->text));
    }

    // The emulated webcam: another program's change shows within 100 ms but waits while the
    // user drags; an automatic mode switched on the page greys and ungreys its partner; reset
    // puts every control back, the manual values before the automatic modes.
    void followsTheDeviceAndResetsIt()
    {
        Bench bench(*emulated::emulatedHardware("webcam", 0));
        auto* brightness = bench.find<QSlider>("brightness");
        QVERIFY(brightness);
        QCOMPARE(bench.setElsewhere(V4L2_CID_BRIGHTNESS, 40), 0);
        const int followed = millisecondsUntil([&] { return brightness->value() == 40; });
        QVERIFY2(followed >= 0 && followed <= 100, qPrintable(QString::number(followed)));

        brightness->setSliderDown(true);
        brightness->setValue(-20);
        QCOMPARE(bench.setElsewhere(V4L2_CID_BRIGHTNESS, 10), 0);
        QTest::qWait(150);
        QCOMPARE(brightness->value(), -20);
        brightness->setSliderDown(false);
        QCOMPARE(brightness->value(), 10);

        auto* automatic = bench.find<QCheckBox>("white_balance_automatic");
        auto* temperature = bench.find<QSlider>("white_balance_temperature");
        QVERIFY(automatic && temperature);
        QVERIFY(automatic->isChecked() && !temperature->isEnabled());
        automatic->click();
        QTRY_VERIFY_WITH_TIMEOUT(temperature->isEnabled(), 1000);
        automatic->click();
        QTRY_VERIFY_WITH_TIMEOUT(!temperature->isEnabled(), 1000);

        // The exposure time is set under the manual mode, then the mode is put back to automatic:
        // only the manual value first reaches the device.
        QCOMPARE(bench.setElsewhere(V4L2_CID_EXPOSURE_AUTO, V4L2_EXPOSURE_MANUAL), 0);
        QCOMPARE(bench.setElsewhere(V4L2_CID_EXPOSURE_ABSOLUTE, 1000), 0);
        QCOMPARE(bench.setElsewhere(V4L2_CID_POWER_LINE_FREQUENCY, 2), 0);
        QCOMPARE(bench.setElsewhere(V4L2_CID_AUTO_WHITE_BALANCE, 0), 0);
        QCOMPARE(bench.setElsewhere(V4L2_CID_WHITE_BALANCE_TEMPERATURE, 6500), 0);
        bench.find<QPushButton>("resetToDefaults")->click();
        for (const auto& control : bench.device->hardware().controls)
            QVERIFY2(bench.device->control(control.id)->value == control.defaultValue, control.name.c_str());
        QCOMPARE(bench.find<QComboBox>("power_line_frequency")->currentText(), QString("50 Hz"));
        QVERIFY(!bench.find<QSlider>("exposure_time_absolute")->isEnabled());
    }
};

QTEST_MAIN(V4l2DeviceControlsTest)
#include "V4l2DeviceControlsTest.moc"
