#include "SliderRows.h"
#include "TestPatternCamera.h"

#include "mirrane/Form1.h"

#include "tests/support/desktop/ScriptedToolkit.h"
#include "tests/virtual/PictureProbe.h"

#include <QPushButton>
#include <QSlider>
#include <QtTest>

#include <algorithm>

using capture::Member;

namespace {

// The largest difference between two colour channels of one pixel in the upper half, where
// the bars are; 0 for a grey picture.
int colourSpread(const QImage& frame)
{
    int spread = 0;
    for (int y = 0; y < frame.height() / 2; ++y)
        for (int x = 0; x < frame.width(); ++x) {
            const QRgb pixel = frame.pixel(x, y);
            const int channels[] = {qRed(pixel), qGreen(pixel), qBlue(pixel)};
            spread = std::max(spread, *std::max_element(channels, channels + 3)
                                          - *std::min_element(channels, channels + 3));
        }
    return spread;
}

// mirrane's window around the real control on the test camera, previewing.
struct PreviewingWindow {
    desktop::ScriptedToolkit toolkit;
    int endedWith = -1;
    desktop::FailureReporter reporter{toolkit, "mirrane", [this](int status) { endedWith = status; }};
    QPointer<mirrane::Form1> form;  // the failure path deletes it
    capture::CaptureWidget* orvex = nullptr;

    PreviewingWindow()
    {
        form = new mirrane::Form1(mirrane::testing::orvexOnTestPatternCamera, toolkit, reporter);
        orvex = dynamic_cast<capture::CaptureWidget*>(form->findChild<QWidget*>("Orvex1"));
        form->load();
        form->show();
        form->findChild<QPushButton*>("Command1")->click();
    }
    ~PreviewingWindow() { delete form.data(); }

    QSlider* slider(Member property) const
    {
        for (const auto& [member, name] : mirrane::testing::sliderRows)
            if (member == property)
                return form->findChild<QSlider*>(name);
        return nullptr;
    }

    QImage frame() const { return mirrane::testing::lastFrame(*orvex); }
    std::int32_t cameraValue(Member property) const
    {
        return capture::toInt32(orvex->cameraProperty(property)->get(capture::rangeNumbering(property).value));
    }
    QString failures() const { return toolkit.messageTexts().join('\n'); }
};

}  // namespace

class CameraIntegrationTest : public QObject {
    Q_OBJECT

private slots:
    void slidersTakeTheCameraRangesAndValues()
    {
        PreviewingWindow window;
        QVERIFY2(window.endedWith == -1, qPrintable(window.failures()));
        QTRY_VERIFY_WITH_TIMEOUT(!window.frame().isNull(), 10000);

        for (const auto& [property, name] : mirrane::testing::sliderRows) {
            auto range = window.orvex->cameraProperty(property);
            const capture::RangeNumbering numbering = capture::rangeNumbering(property);
            QVERIFY2(capture::toBoolean(range->get(capture::RangeMember::Supported)), name);
            QSlider* slider = window.slider(property);
            QVERIFY2(slider->isEnabled(), name);
            QCOMPARE(slider->minimum(), capture::toInt32(range->get(numbering.min)));
            QCOMPARE(slider->maximum(), capture::toInt32(range->get(numbering.max)));
            QCOMPARE(slider->value(), capture::toInt32(range->get(numbering.value)));
        }
    }

    void brightnessAtItsMaximumBrightensThePicture()
    {
        PreviewingWindow window;
        QTRY_VERIFY_WITH_TIMEOUT(!window.frame().isNull(), 10000);
        const double before = picture::meanLuma(window.frame());

        QSlider* brightness = window.slider(Member::Brightness);
        QTest::keyClick(brightness, Qt::Key_End);

        QVERIFY2(window.endedWith == -1, qPrintable(window.failures()));
        QCOMPARE(window.cameraValue(Member::Brightness), brightness->maximum());
        QTRY_VERIFY2_WITH_TIMEOUT(picture::meanLuma(window.frame()) > before + 20,
                                  qPrintable(QString("mean luma %1, before %2").arg(picture::meanLuma(window.frame())).arg(before)),
                                  5000);
    }

    void saturationAtItsMinimumMakesThePictureGrey()
    {
        PreviewingWindow window;
        QTRY_VERIFY_WITH_TIMEOUT(!window.frame().isNull(), 10000);
        QVERIFY(colourSpread(window.frame()) > 100);  // the colour bars

        QSlider* saturation = window.slider(Member::Saturation);
        QTest::keyClick(saturation, Qt::Key_Home);

        QVERIFY2(window.endedWith == -1, qPrintable(window.failures()));
        QCOMPARE(window.cameraValue(Member::Saturation), saturation->minimum());
        QTRY_VERIFY2_WITH_TIMEOUT(colourSpread(window.frame()) <= 8,
                                  qPrintable(QString("colour spread %1").arg(colourSpread(window.frame()))), 5000);
    }
};

QTEST_MAIN(CameraIntegrationTest)
#include "CameraIntegrationTest.moc"
