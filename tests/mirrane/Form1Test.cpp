#include "tests/support/qt/WidgetWaits.h"
#include "SliderRows.h"
#include "mirrane/Form1.h"

#include "tests/support/control/FakeCaptureControl.h"
#include "desktop/Twips.h"
#include "tests/support/desktop/ScriptedToolkit.h"

#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <QSlider>
#include <QStyleOptionSlider>
#include <QtTest>

using capture::FakeCaptureControl;
using capture::Member;
using capture::Value;
using Lines = std::vector<std::string>;

namespace {

using mirrane::testing::sliderRows;

FakeCaptureControl::Range supported(int min, int max, int value)
{
    return {Value::boolean(true), Value::i32(min), Value::i32(max), Value::i32(value)};
}

// The window around the fake, with a reporter that records how the program would end.
struct Window {
    desktop::ScriptedToolkit toolkit;
    int endedWith = -1;
    desktop::FailureReporter reporter{toolkit, "mirrane", [this](int status) { endedWith = status; }};
    FakeCaptureControl* fake = nullptr;
    QPointer<mirrane::Form1> form;

    Window()
    {
        form = new mirrane::Form1(
            [this](QWidget* parent) { return fake = new FakeCaptureControl(parent); }, toolkit, reporter);
    }
    ~Window() { delete form.data(); }

    template <typename T = QWidget>
    T* child(const char* name) const { return testsupport::namedChild<T>(form.data(), name); }
    QSlider* slider(Member property) const
    {
        for (const auto& row : sliderRows)
            if (row.property == property)
                return child<QSlider>(row.name);
        return nullptr;
    }
    QComboBox* inputs() const { return child<QComboBox>("cboVideoInput"); }
    void preview() { child<QPushButton>("Command1")->click(); }
    Lines puts(Member property) const { return fake->requests({std::to_string(capture::number(property))}); }
};

// Minimum, maximum and value, as one comparable.
std::tuple<int, int, int> sliderRange(const QSlider* slider)
{
    return {slider->minimum(), slider->maximum(), slider->value()};
}
using Range = std::tuple<int, int, int>;

QPoint handleCentre(QSlider* slider)
{
    QStyleOptionSlider option;
    option.initFrom(slider);
    option.orientation = slider->orientation();
    option.minimum = slider->minimum();
    option.maximum = slider->maximum();
    option.sliderPosition = slider->sliderPosition();
    option.sliderValue = slider->value();
    option.singleStep = slider->singleStep();
    option.pageStep = slider->pageStep();
    option.tickPosition = slider->tickPosition();
    option.tickInterval = slider->tickInterval();
    option.subControls = QStyle::SC_All;
    return slider->style()->subControlRect(QStyle::CC_Slider, &option, QStyle::SC_SliderHandle, slider).center();
}

}  // namespace

class Form1Test : public QObject {
    Q_OBJECT

private slots:
    void windowOpensReadyForPreview()
    {
        Window window;
        QCOMPARE(window.form->windowTitle(), QString("Camera Control "));
        QCOMPARE(window.form->size(), QSize(desktop::twipsToPixels(7515), desktop::twipsToPixels(9675)));
        QCOMPARE(window.child<QLabel>("Label10")->text(), QString("Gain\r\n"));
        QCOMPARE(window.child<QLabel>("Label9")->width(), desktop::twipsToPixels(1935));
        QVERIFY(window.child("Command1")->isEnabled());
        QVERIFY(!window.child("cmdProPage")->isEnabled());
        QCOMPARE(window.child("Orvex1")->geometry(), desktop::twipsRect(240, 480, 3135, 2655));
        QVERIFY(window.inputs()->isEditable());
        QCOMPARE(window.inputs()->count(), 0);
        for (const auto& row : sliderRows) {
            QSlider* slider = window.slider(row.property);
            QCOMPARE(sliderRange(slider), Range(0, 10, 0));
            QCOMPARE(std::pair(slider->singleStep(), slider->pageStep()), std::pair(1, 5));
            QVERIFY(slider->isEnabled() && slider->orientation() == Qt::Horizontal);
        }

        // The keyboard walks the focusable controls in the layout's order; labels take no focus.
        QStringList expected = {"Command1"};
        for (const auto& row : sliderRows)
            expected << row.name;
        expected << "cmdProPage" << "cboVideoInput" << "Orvex1";
        QStringList chain;
        QWidget* widget = window.child("Command1");
        do {
            if (expected.contains(widget->objectName()) && !chain.contains(widget->objectName()))
                chain << widget->objectName();
            widget = widget->nextInFocusChain();
        } while (widget != window.child("Command1"));
        QCOMPARE(chain, expected);
        QVERIFY(window.fake->requests().empty());  // building the window asks the control nothing
    }

    void loadListsTheInputsInOrder_data()
    {
        QTest::addColumn<QStringList>("names");
        QTest::newRow("none") << QStringList{};
        QTest::newRow("one") << QStringList{"Camera"};
        QTest::newRow("same name twice") << QStringList{"Composite", "Television", "Composite"};
    }

    void loadListsTheInputsInOrder()
    {
        QFETCH(QStringList, names);
        Window window;
        std::vector<std::string> inputs;
        for (const QString& name : names)
            inputs.push_back(name.toStdString());
        window.fake->setItemNames(Member::VideoInputs, inputs);

        window.form->load();

        QStringList listed;
        for (int i = 0; i < window.inputs()->count(); ++i)
            listed << window.inputs()->itemText(i);
        QCOMPARE(listed, names);
        QCOMPARE(window.inputs()->currentIndex(), names.isEmpty() ? -1 : 0);
        // Load only reads: no put, no Start.
        for (const std::string& line : window.fake->requests())
            QVERIFY2(line.rfind("41 ", 0) == 0 || line.rfind("41.1 ", 0) == 0, line.c_str());
        QCOMPARE(window.fake->requests().size(), inputs.size() + 1);
    }

    void previewAppliesTheInputStartsAndSetsUpEverySlider()
    {
        Window window;
        window.fake->setItemNames(Member::VideoInputs, {"Television", "Composite"});
        window.fake->setRange(Member::Brightness, supported(-64, 64, 12));
        window.fake->setRange(Member::Contrast, supported(0, 95, 32));
        window.fake->setRange(Member::Gain, supported(0, 255, 100));
        window.form->load();
        window.inputs()->setCurrentIndex(1);
        window.inputs()->setEditText("Television");  // typed text is not an entry
        window.fake->clearLog();

        window.preview();

        // Each property's own numbers, and a fresh get before every read; nothing put back.
        const QString expected = "41 41.2 42 48 "
                                 "8 8.7 8 8.1 8 8.2 8 8.4 9 9.7 9 9.3 9 9.2 9 9.5 10 10.7 11 11.7 12 12.7 "
                                 "13 13.7 14 14.7 15 15.7 16 16.7 17 17.7 17 17.4 17 17.3 17 17.6";
        QStringList numbers;
        for (const auto& record : window.fake->log())
            numbers << QString::fromStdString(record.number);
        QCOMPARE(numbers.join(' '), expected);
        QCOMPARE(window.fake->requests({"41.2", "42"}),
                 (Lines{"41.2 VideoInputs.IndexOf call text Composite", "42 VideoInput put i16 1"}));

        QVERIFY(window.child("cmdProPage")->isEnabled());
        QCOMPARE(sliderRange(window.slider(Member::Brightness)), Range(-64, 64, 12));
        QCOMPARE(sliderRange(window.slider(Member::Contrast)), Range(0, 95, 32));
        QCOMPARE(sliderRange(window.slider(Member::Gain)), Range(0, 255, 100));
        QVERIFY(window.slider(Member::Gain)->isEnabled());
        QVERIFY(!window.slider(Member::Hue)->isEnabled());
        QCOMPARE(sliderRange(window.slider(Member::Hue)), Range(0, 10, 0));

        window.fake->clearLog();
        window.child<QPushButton>("cmdProPage")->click();
        window.child<QPushButton>("cmdProPage")->click();
        QCOMPARE(window.fake->requests(), (Lines{"51 ShowPropertyPage call void", "51 ShowPropertyPage call void"}));
        QVERIFY(window.toolkit.messages().empty());
    }

    void previewWithoutAKnownNameStillStarts_data()
    {
        QTest::addColumn<QStringList>("names");
        QTest::addColumn<QString>("unknown");
        QTest::newRow("empty list") << QStringList{} << QString();
        QTest::newRow("name the control does not know") << QStringList{"Camera"} << QString("Camera");
    }

    void previewWithoutAKnownNameStillStarts()
    {
        QFETCH(QStringList, names);
        QFETCH(QString, unknown);
        Window window;
        if (!names.isEmpty())
            window.fake->setItemNames(Member::VideoInputs, {names[0].toStdString()});
        window.fake->setIndexOf(Member::VideoInputs, unknown.toStdString(), Value::i16(-1));
        window.form->load();
        window.fake->clearLog();

        window.preview();

        const Lines expected = {"41.2 VideoInputs.IndexOf call text " + unknown.toStdString(), "48 Start call void"};
        QCOMPARE(window.fake->requests({"41.2", "42", "48"}), expected);
        QVERIFY(window.child("cmdProPage")->isEnabled());
        for (const auto& row : sliderRows)
            QVERIFY(!window.slider(row.property)->isEnabled());  // the fake supports nothing by default
        QVERIFY(window.toolkit.messages().empty());
    }

    void cameraRangeOutsideTheDesignRangeIsTakenWhole()
    {
        Window window;
        window.fake->setRange(Member::Brightness, supported(100, 200, 150));
        window.fake->setRange(Member::Contrast, supported(-300, -200, -250));
        window.fake->setRange(Member::Hue, supported(-2147483647 - 1, 2147483647, -5));
        window.preview();
        QCOMPARE(sliderRange(window.slider(Member::Brightness)), Range(100, 200, 150));
        QCOMPARE(sliderRange(window.slider(Member::Contrast)), Range(-300, -200, -250));
        QCOMPARE(sliderRange(window.slider(Member::Hue)), Range(INT32_MIN, INT32_MAX, -5));
    }

    void aRangeValueBeyond32BitsEndsTheProgramAfterTheEarlierSliders()
    {
        Window window;
        window.fake->setRange(Member::Brightness, supported(-10, 10, 3));
        window.fake->setRange(Member::Contrast, supported(0, 20, 7));
        window.fake->setRange(Member::Hue, {Value::boolean(true), Value::i32(-180), Value::f64(3e9), Value::i32(0)});
        window.fake->setRange(Member::Saturation, supported(0, 100, 50));

        window.preview();

        QCOMPARE(window.endedWith, desktop::FailureReporter::ExitStatus);
        QCOMPARE(window.toolkit.messages().size(), size_t(1));
        QCOMPARE(window.toolkit.messages()[0].title, QString("mirrane"));
        QVERIFY(window.toolkit.messages()[0].text.contains("Overflow"));
        QCOMPARE(window.fake->requests().back(), std::string("10.3 Hue.Max get void"));
        QCOMPARE(sliderRange(window.slider(Member::Brightness)), Range(-10, 10, 3));
        QCOMPARE(sliderRange(window.slider(Member::Contrast)), Range(0, 20, 7));
        QCOMPARE(window.slider(Member::Hue)->minimum(), -180);
        QCOMPARE(sliderRange(window.slider(Member::Saturation)), Range(0, 10, 0));
    }

    void aDragPutsEveryPositionItPasses()
    {
        Window window;
        window.form->show();
        QVERIFY(QTest::qWaitForWindowExposed(window.form));
        QSlider* brightness = window.slider(Member::Brightness);

        // Before "Preview": the design range, thumb dragged to the right end and back.
        // After every move the control holds exactly the value the slider shows.
        Lines expected;
        int notShown = 0;
        auto noteMove = [&](int before) {
            if (brightness->value() != before)
                expected.push_back("8 Brightness put i32 " + std::to_string(brightness->value()));
            if (!expected.empty() && window.fake->lastPut(Member::Brightness) != Value::i32(brightness->value()))
                ++notShown;
        };
        const QPoint start = handleCentre(brightness);
        QTest::mousePress(brightness, Qt::LeftButton, {}, start);
        for (int x = start.x(); x <= brightness->width(); x += 3) {
            const int before = brightness->value();
            QTest::mouseMove(brightness, QPoint(x, start.y()));
            noteMove(before);
        }
        for (int x = brightness->width(); x >= 0; x -= 7) {
            const int before = brightness->value();
            QTest::mouseMove(brightness, QPoint(x, start.y()));
            noteMove(before);
        }
        QTest::mouseRelease(brightness, Qt::LeftButton, {}, QPoint(0, start.y()));

        QCOMPARE(notShown, 0);
        QCOMPARE(window.puts(Member::Brightness), expected);
        QCOMPARE(expected.size(), size_t(20));  // 1 to 10 on the way there, 9 to 0 back
        QCOMPARE(expected[9], std::string("8 Brightness put i32 10"));
        QCOMPARE(expected.back(), std::string("8 Brightness put i32 0"));
        QVERIFY(window.toolkit.messages().empty());
    }

    void eachSliderWritesItsOwnSettingExactlyAsShown()
    {
        Window window;
        for (const auto& row : sliderRows)
            window.fake->setRange(row.property, supported(-50 - capture::number(row.property), 50, 0));
        window.preview();
        window.fake->clearLog();

        for (const auto& row : sliderRows) {
            QSlider* slider = window.slider(row.property);
            const std::string put = std::to_string(capture::number(row.property)) + " "
                                    + std::string(capture::memberName(row.property)) + " put i32 ";
            const int min = -50 - capture::number(row.property);
            QTest::keyClick(slider, Qt::Key_Right);
            QTest::keyClick(slider, Qt::Key_PageUp);
            QTest::keyClick(slider, Qt::Key_End);
            QTest::keyClick(slider, Qt::Key_End);  // every notification is passed on, unchanged or not
            QTest::keyClick(slider, Qt::Key_Home);
            QCOMPARE(window.puts(row.property),
                     (Lines{put + "1", put + "6", put + "50", put + "50", put + std::to_string(min)}));
        }
        QCOMPARE(window.fake->requests().size(), size_t(50));  // nothing but the puts above
    }

    void previewEnablesExactlyTheSupportedSliders()
    {
        Window window;
        window.fake->setRange(Member::Hue, {});
        window.fake->setRange(Member::Gain, supported(0, 40, 20));
        window.preview();
        QVERIFY(!window.slider(Member::Hue)->isEnabled());
        QVERIFY(window.slider(Member::Gain)->isEnabled());

        // Another input: Hue is supported now, Gain no longer.
        window.fake->setRange(Member::Hue, supported(-180, 180, 30));
        window.fake->setRange(Member::Gain, {});
        window.preview();
        QVERIFY(window.slider(Member::Hue)->isEnabled());
        QCOMPARE(sliderRange(window.slider(Member::Hue)), Range(-180, 180, 30));
        QVERIFY(!window.slider(Member::Gain)->isEnabled());
        QCOMPARE(sliderRange(window.slider(Member::Gain)), Range(0, 40, 20));

        window.fake->clearLog();
        QTest::keyClick(window.slider(Member::Gain), Qt::Key_Right);  // a disabled slider takes no input
        QTest::keyClick(window.slider(Member::Hue), Qt::Key_Right);
        QCOMPARE(window.fake->requests(), Lines{"10 Hue put i32 31"});
    }

    void aFailingPutEndsTheProgramWithTheError()
    {
        Window window;
        window.fake->failOn("12", 1, "Camera unplugged");
        QTest::keyClick(window.slider(Member::Sharpness), Qt::Key_Right);
        QCOMPARE(window.endedWith, desktop::FailureReporter::ExitStatus);
        QCOMPARE(window.toolkit.messages().size(), size_t(1));
        QVERIFY(window.toolkit.messages()[0].text.contains("Camera unplugged"));
        QCOMPARE(window.fake->requests(), Lines{"12 Sharpness put i32 1"});
    }
};

QTEST_MAIN(Form1Test)
#include "Form1Test.moc"
