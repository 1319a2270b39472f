#include "ControlRig.h"

#include "capture/devices/PixelShape.h"
#include "capture/view/VideoView.h"

#include <QAccessible>
#include <QtTest>

#include <thread>

using namespace capture;

namespace {

QImage solid(QSize size, QColor colour)
{
    QImage frame(size, QImage::Format_RGB32);
    frame.fill(colour);
    return frame;
}

QColor at(const QImage& image, int x, int y) { return image.pixelColor(x, y); }

// What a screen reader reads of the area.
QString described(QWidget& view) { return QAccessible::queryAccessibleInterface(&view)->text(QAccessible::Description); }

}  // namespace

class VideoViewTest : public QObject {
    Q_OBJECT

private slots:
    void letterboxesOrStretches();
    void keepsTheDisplayAspectOfNonSquarePixels_data();
    void keepsTheDisplayAspectOfNonSquarePixels();
    void framesFromAStreamingThreadAreShown();
    void overlaysSayWhatIsGoingOn();
    void colourAndAspectPutsReachTheView();
};

void VideoViewTest::letterboxesOrStretches()
{
    VideoView view;
    view.resize(400, 200);
    view.setBackgroundColor(QColor(255, 0, 0));
    view.present(solid({160, 120}, Qt::green));

    // 4:3 in a 2:1 area: bars left and right.
    QCOMPARE(view.pictureRect({160, 120}), QRect(67, 0, 266, 200));
    QImage shot = view.grab().toImage();
    QCOMPARE(at(shot, 10, 100), QColor(255, 0, 0));
    QCOMPARE(at(shot, 390, 100), QColor(255, 0, 0));
    QCOMPARE(at(shot, 200, 100), QColor(Qt::green));
    QCOMPARE(at(shot, 200, 2), QColor(Qt::green));

    view.setKeepAspectRatio(false);
    shot = view.grab().toImage();
    QCOMPARE(at(shot, 2, 100), QColor(Qt::green));
    QCOMPARE(at(shot, 398, 198), QColor(Qt::green));

    // Before any frame, and for a tall frame, the background shows where the picture is not.
    view.setKeepAspectRatio(true);
    view.present(solid({100, 400}, Qt::blue));
    shot = view.grab().toImage();
    QCOMPARE(at(shot, 100, 100), QColor(255, 0, 0));
    QCOMPARE(at(shot, 200, 100), QColor(Qt::blue));
    QCOMPARE(view.lastFrame().size(), QSize(100, 400));
}

// A PAL picture's 720x576 samples with 59:54 pixels is about 4:3 (1.37), an NTSC one's 720x480
// with 10:11 pixels 1.36; square pixels are shown as they are.
void VideoViewTest::keepsTheDisplayAspectOfNonSquarePixels_data()
{
    QTest::addColumn<QSize>("frame");
    QTest::addColumn<int>("aspectNumerator");
    QTest::addColumn<int>("aspectDenominator");
    QTest::addColumn<double>("shown");
    QTest::newRow("625 lines") << QSize(720, 576) << 59 << 54 << 720.0 * 59 / 54 / 576;
    QTest::newRow("525 lines") << QSize(720, 480) << 10 << 11 << 720.0 * 10 / 11 / 480;
    QTest::newRow("square") << QSize(640, 480) << 1 << 1 << 640.0 / 480;
}

void VideoViewTest::keepsTheDisplayAspectOfNonSquarePixels()
{
    QFETCH(QSize, frame);
    QFETCH(int, aspectNumerator);
    QFETCH(int, aspectDenominator);
    VideoView view;
    view.resize(800, 300);
    view.setBackgroundColor(QColor(255, 0, 0));
    QImage picture = solid(frame, Qt::green);
    setPixelAspect(picture, aspectNumerator, aspectDenominator);
    view.present(picture);

    const QImage shot = view.grab().toImage();
    int width = 0;
    for (int x = 0; x < shot.width(); ++x)
        width += at(shot, x, 150) == QColor(Qt::green);
    QFETCH(double, shown);
    QVERIFY2(std::abs(width / 300.0 - shown) < 0.01, qPrintable(QString::number(width / 300.0)));
}

void VideoViewTest::framesFromAStreamingThreadAreShown()
{
    VideoView view;
    view.resize(64, 48);
    view.show();
    QVERIFY(QTest::qWaitForWindowExposed(&view));
    std::thread streaming([&] {
        for (int i = 0; i < 200; ++i)
            view.present(solid({64, 48}, i == 199 ? Qt::magenta : Qt::gray));
    });
    streaming.join();
    QTRY_COMPARE(view.lastFrame().pixelColor(0, 0), QColor(Qt::magenta));
    QTRY_COMPARE(at(view.grab().toImage(), 32, 24), QColor(Qt::magenta));
}

// Each overlay is drawn, and what it says is the area's accessible description.
void VideoViewTest::overlaysSayWhatIsGoingOn()
{
    VideoView view;
    view.resize(320, 240);
    view.present(solid({320, 240}, Qt::black));
    const QImage plain = view.grab().toImage();

    view.showError(QStringLiteral("The disk is full. 12 s were saved to clip.avi."));
    QCOMPARE(described(view), QStringLiteral("The disk is full. 12 s were saved to clip.avi."));
    QImage shot = view.grab().toImage();
    QVERIFY(shot.copy(0, 160, 320, 80) != plain.copy(0, 160, 320, 80));
    view.clearError();
    QCOMPARE(view.grab().toImage(), plain);
    QCOMPARE(described(view), QString());

    view.setRecordingStatus(RecordingStatus{83.4, 2});
    shot = view.grab().toImage();
    QVERIFY(shot.copy(0, 0, 160, 40) != plain.copy(0, 0, 160, 40));
    view.setRecordingStatus(std::nullopt);

    // The level meter: a louder sound fills more of its bar; silence gets a word.
    view.setSoundLevel(-50.0);
    const QImage quiet = view.grab().toImage();
    view.setSoundLevel(-6.0);
    QVERIFY(quiet != plain && view.grab().toImage() != quiet);
    view.setSoundLevel(std::nullopt);
    view.setSoundWarning(QStringLiteral("no sound from Line In"));
    QVERIFY(view.grab().toImage() != plain);
    QCOMPARE(described(view), QStringLiteral("no sound from Line In"));
    view.setSoundWarning({});
    QCOMPARE(view.grab().toImage(), plain);

    view.showNotice(QStringLiteral("Brightness is held by another program."), std::chrono::milliseconds(50));
    QVERIFY(view.grab().toImage() != plain);
    QCOMPARE(described(view), QStringLiteral("Brightness is held by another program."));
    QTRY_COMPARE(view.grab().toImage(), plain);
    QCOMPARE(described(view), QString());
}

void VideoViewTest::colourAndAspectPutsReachTheView()
{
    auto orvex = controltest::virtualOrvex();
    QCOMPARE(orvex->view().backgroundColor(), QColor(Qt::black));
    QVERIFY(orvex->view().keepAspectRatio());

    orvex->put(Member::BackgroundColor, Value::colour(255));  // red in the low byte
    QCOMPARE(orvex->view().backgroundColor(), QColor(255, 0, 0));
    orvex->put(Member::BackgroundColor, Value::colour(0xFF0000));
    QCOMPARE(orvex->view().backgroundColor(), QColor(0, 0, 255));
    orvex->put(Member::BackgroundColor, Value::i32(0x00FF00));
    QCOMPARE(orvex->view().backgroundColor(), QColor(0, 255, 0));
    QVERIFY_THROWS_EXCEPTION(CaptureError, orvex->put(Member::BackgroundColor, Value::i32(-1)));

    orvex->put(Member::KeepAspectRatio, Value::boolean(false));
    QVERIFY(!orvex->view().keepAspectRatio());
    orvex->put(Member::KeepAspectRatio, Value::i16(1));
    QVERIFY(orvex->view().keepAspectRatio());
}

QTEST_MAIN(VideoViewTest)
#include "VideoViewTest.moc"
